// The width of a Unicode driver's wide characters. This manager's SQLWCHAR is the
// platform's 4-byte wchar_t; a driver built for 2-byte wide characters reads and
// writes every wide text in halves, which garbles connection strings and turns its
// messages into values that are no characters. Such a driver is recognised once,
// when its record is made, by the first text it writes, and is then refused
// before any connection string reaches it. Called by the driver loader.

#include "dm/dm_internal.h"
#include "sqlext.h"
#include "sqlucode.h"

namespace {

using GetInfoWFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
using GetDiagRecWFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*,
                                    SQLSMALLINT, SQLSMALLINT*);
using ErrorWFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*, SQLSMALLINT,
                               SQLSMALLINT*);

bool ascii(uint32_t v) { return v >= 0x20 && v < 0x7F; }

// The first unit of a text the driver wrote: 1 when it holds two 2-byte ASCII
// characters, 0 when it is one 4-byte ASCII character, -1 when it says nothing.
int two_byte_text(const SQLWCHAR* text) {
  const uint32_t v = static_cast<uint32_t>(text[0]);
  if (v == 0) return -1;
  if (ascii(v)) return 0;
  return ascii(v & 0xFFFF) && ascii(v >> 16) ? 1 : -1;
}

}  // namespace

int _zolandm_driver_two_byte_wide(zolandm_driver* drv, SQLHDBC drv_dbc) {
  if (drv == nullptr || !drv->unicode || drv_dbc == nullptr) return 0;
  // The driver's ODBC version is a text every driver knows; before a connection most
  // drivers answer it, and the others leave a diagnostic, whose SQLSTATE is a text too.
  void* get_info = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLGetInfoW);
  if (get_info == nullptr) return 0;
  SQLWCHAR text[32] = {0};
  SQLSMALLINT len = 0;
  SQLRETURN rc = _zolandm_call<GetInfoWFn>(drv, nullptr, get_info, drv_dbc, SQLUSMALLINT(SQL_DRIVER_ODBC_VER),
                                           static_cast<SQLPOINTER>(text),
                                           SQLSMALLINT(sizeof text - sizeof(SQLWCHAR)), &len);
  if (zolandm_succeeded(rc)) return two_byte_text(text) == 1 ? 1 : 0;
  if (rc != ZOLANDM_ERROR) return 0;
  SQLWCHAR state[16] = {0};
  SQLWCHAR message[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT mlen = 0;
  if (void* diag = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLGetDiagRecW)) {
    rc = _zolandm_call<GetDiagRecWFn>(drv, nullptr, diag, SQLSMALLINT(SQL_HANDLE_DBC), SQLHANDLE(drv_dbc),
                                      SQLSMALLINT(1), state, &native, message, SQLSMALLINT(255), &mlen);
  } else if (void* error = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLErrorW)) {
    rc = _zolandm_call<ErrorWFn>(drv, nullptr, error, drv->drv_env, drv_dbc, SQLHSTMT(nullptr), state,
                                 &native, message, SQLSMALLINT(255), &mlen);
  } else {
    return 0;
  }
  return zolandm_succeeded(rc) && two_byte_text(state) == 1 ? 1 : 0;
}
