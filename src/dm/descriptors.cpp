// Descriptor entries: SQLGetDescField, SQLSetDescField, SQLGetDescRec (plain, A and W),
// SQLSetDescRec and SQLCopyDesc. A descriptor's content lives in the driver; the manager
// checks the handle, picks the driver's entry and converts the string fields between the
// caller's width and the driver's.

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using GetDescFieldFn = SQLRETURN (*)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using SetDescFieldFn = SQLRETURN (*)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER);
using GetDescRecFn = SQLRETURN (*)(SQLHDESC, SQLSMALLINT, void*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*,
                                   SQLSMALLINT*, SQLLEN*, SQLSMALLINT*, SQLSMALLINT*, SQLSMALLINT*);
using SetDescRecFn = SQLRETURN (*)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLLEN, SQLSMALLINT,
                                   SQLSMALLINT, SQLPOINTER, SQLLEN*, SQLLEN*);
using CopyDescFn = SQLRETURN (*)(SQLHDESC, SQLHDESC);

bool string_field(SQLSMALLINT field) {
  switch (field) {
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NAME:
      return true;
    default:
      return false;
  }
}

bool unicode_driver(const zolandm_desc* d) {
  return d->dbc->driver != nullptr && d->dbc->driver->unicode != 0;
}

// The driver's entry for a descriptor call, or null with "IM001" on the descriptor. A
// descriptor without a driver handle (an implicit one of an ODBC 2 driver) is never handed
// to a driver.
void* desc_entry(zolandm_desc* d, int plain_id, int w_id, int a_id) {
  void* f = d->drv_desc != nullptr ? _zolandm_driver_entry_width(d->dbc, plain_id, w_id, a_id) : nullptr;
  if (f == nullptr) _zolandm_diag_add(d, ZOLANDM_E_IM001);
  return f;
}

// Four times a length for a wide driver's buffer, never overflowed: no descriptor text comes
// near the cap, which keeps a huge stated length from becoming a huge buffer.
constexpr SQLINTEGER kMaxFieldBuffer = 1 << 20;
SQLINTEGER times4(SQLINTEGER n) { return n > kMaxFieldBuffer / 4 ? kMaxFieldBuffer : n * 4; }

template <typename Worker>
SQLRETURN desc_entry_call(SQLHDESC h, Worker worker) {
  return _zolandm_unlocked_entry<zolandm_desc>(h, ZOLANDM_DESC, worker);
}

}  // namespace

SQLRETURN SQLGetDescField_Internal(zolandm_desc* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                   SQLINTEGER buf_len, SQLINTEGER* str_len, char width) {
  const bool unicode = unicode_driver(d);
  void* f =
      desc_entry(d, ZOLANDM_FN_SQLGetDescField, ZOLANDM_FN_SQLGetDescFieldW, ZOLANDM_FN_SQLGetDescFieldA);
  if (f == nullptr) return ZOLANDM_ERROR;
  zolandm_driver* drv = d->dbc->driver;
  if (!string_field(field) || unicode == (width == 'W')) {
    return _zolandm_call<GetDescFieldFn>(drv, &d->last_rc, f, d->drv_desc, rec, field, value, buf_len,
                                         str_len);
  }
  if (buf_len < 0) return _zolandm_fail(d, ZOLANDM_E_S1090);
  // Without a buffer only the length is wanted, which the driver gives unconverted.
  SQLINTEGER drv_len = value == nullptr ? 0
                       : unicode        ? times4(buf_len)
                                        : std::min(buf_len / 4, kMaxFieldBuffer);
  void* tmp = nullptr;
  if (value != nullptr) {
    tmp = _zolandm_calloc(1, static_cast<size_t>(drv_len) + sizeof(SQLWCHAR));
    if (tmp == nullptr) return _zolandm_fail(d, ZOLANDM_E_HY001);
  }
  SQLINTEGER drv_str_len = -1;
  SQLRETURN rc =
      _zolandm_call<GetDescFieldFn>(drv, &d->last_rc, f, d->drv_desc, rec, field, tmp, drv_len, &drv_str_len);
  if (value == nullptr || !zolandm_succeeded(rc)) {
    // Nothing converted: the length is the driver's.
    if (str_len != nullptr) *str_len = drv_str_len;
  } else {
    SQLSMALLINT n = 0;
    if (unicode) {
      SQLSMALLINT cap = static_cast<SQLSMALLINT>(buf_len > SHRT_MAX ? SHRT_MAX : buf_len);
      _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(tmp), static_cast<char*>(value), cap, &n);
    } else {
      SQLINTEGER chars = buf_len / 4;
      SQLSMALLINT cap = static_cast<SQLSMALLINT>(chars > SHRT_MAX ? SHRT_MAX : chars);
      _zolandm_mbs_to_wcs_buf(static_cast<const char*>(tmp), static_cast<SQLWCHAR*>(value), cap, &n);
    }
    // The whole text's length in characters, also when the driver cut it to its buffer.
    SQLINTEGER chars = n;
    SQLINTEGER told = unicode ? drv_str_len / 4 : drv_str_len;
    SQLINTEGER room = unicode ? drv_len / 4 : drv_len;
    if (told >= room && told > chars) chars = told;
    if (str_len != nullptr) *str_len = unicode ? chars : chars * 4;
  }
  std::free(tmp);
  return rc;
}

SQLRETURN SQLSetDescField_Internal(zolandm_desc* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                   SQLINTEGER buf_len, char width) {
  const bool unicode = unicode_driver(d);
  void* f =
      desc_entry(d, ZOLANDM_FN_SQLSetDescField, ZOLANDM_FN_SQLSetDescFieldW, ZOLANDM_FN_SQLSetDescFieldA);
  if (f == nullptr) return ZOLANDM_ERROR;
  zolandm_driver* drv = d->dbc->driver;
  if (!string_field(field) || unicode == (width == 'W') || value == nullptr) {
    return _zolandm_call<SetDescFieldFn>(drv, &d->last_rc, f, d->drv_desc, rec, field, value, buf_len);
  }
  if (buf_len < 0 && buf_len != SQL_NTS) return _zolandm_fail(d, ZOLANDM_E_S1090);
  int64_t n = buf_len == SQL_NTS ? SQL_NTS : (unicode ? buf_len : buf_len / 4);
  void* copy = unicode ? static_cast<void*>(_zolandm_mbs_to_wcs_dup(static_cast<const char*>(value), n))
                       : static_cast<void*>(_zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(value), n));
  if (copy == nullptr) return _zolandm_fail(d, ZOLANDM_E_HY001);
  SQLRETURN rc =
      _zolandm_call<SetDescFieldFn>(drv, &d->last_rc, f, d->drv_desc, rec, field, copy, SQLINTEGER(SQL_NTS));
  std::free(copy);
  return rc;
}

SQLRETURN SQLGetDescRec_Internal(zolandm_desc* d, SQLSMALLINT rec, void* name, SQLSMALLINT buf_len,
                                 SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                 SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                 SQLSMALLINT* nullable, char width) {
  const bool unicode = unicode_driver(d);
  void* f = desc_entry(d, ZOLANDM_FN_SQLGetDescRec, ZOLANDM_FN_SQLGetDescRecW, ZOLANDM_FN_SQLGetDescRecA);
  if (f == nullptr) return ZOLANDM_ERROR;
  zolandm_driver* drv = d->dbc->driver;
  if (unicode == (width == 'W')) {
    return _zolandm_call<GetDescRecFn>(drv, &d->last_rc, f, d->drv_desc, rec, name, buf_len, str_len, type,
                                       subtype, length, precision, scale, nullable);
  }
  if (buf_len < 0) return _zolandm_fail(d, ZOLANDM_E_S1090);
  // The driver's buffer holds as many characters of its width as the caller's.
  size_t bytes = (static_cast<size_t>(buf_len) + 1) * (unicode ? sizeof(SQLWCHAR) : 1);
  void* tmp = _zolandm_calloc(1, bytes);
  if (tmp == nullptr) return _zolandm_fail(d, ZOLANDM_E_HY001);
  SQLSMALLINT drv_len = 0;
  SQLRETURN rc = _zolandm_call<GetDescRecFn>(drv, &d->last_rc, f, d->drv_desc, rec, tmp, buf_len, &drv_len,
                                             type, subtype, length, precision, scale, nullable);
  if (zolandm_succeeded(rc)) {
    SQLSMALLINT n = drv_len;
    if (unicode) {
      _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(tmp), static_cast<char*>(name),
                              name != nullptr ? buf_len : 0, &n);
    } else {
      _zolandm_mbs_to_wcs_buf(static_cast<const char*>(tmp), static_cast<SQLWCHAR*>(name),
                              name != nullptr ? buf_len : 0, &n);
    }
    if (str_len != nullptr) *str_len = n;
  } else if (str_len != nullptr) {
    *str_len = drv_len;
  }
  std::free(tmp);
  return rc;
}

// ---- entries ----------------------------------------------------------------------------------

static SQLRETURN entry_SQLGetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                       SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return desc_entry_call(h, [&](zolandm_desc* d) {
    return SQLGetDescField_Internal(d, rec, field, value, buf_len, str_len, 'A');
  });
}
extern "C" SQLRETURN SQL_API SQLGetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                             SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetDescField, trace_SQLGetDescField, h, rec, field, value, buf_len,
                         str_len);
}

extern "C" SQLRETURN SQL_API SQLGetDescFieldA(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return SQLGetDescField(h, rec, field, value, buf_len, str_len);
}

static SQLRETURN entry_SQLGetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                        SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return desc_entry_call(h, [&](zolandm_desc* d) {
    return SQLGetDescField_Internal(d, rec, field, value, buf_len, str_len, 'W');
  });
}
extern "C" SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetDescFieldW, trace_SQLGetDescFieldW, h, rec, field, value, buf_len,
                         str_len);
}

static SQLRETURN entry_SQLSetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                       SQLINTEGER buf_len) {
  return desc_entry_call(
      h, [&](zolandm_desc* d) { return SQLSetDescField_Internal(d, rec, field, value, buf_len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLSetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                             SQLINTEGER buf_len) {
  return _zolandm_traced(entry_SQLSetDescField, trace_SQLSetDescField, h, rec, field, value, buf_len);
}

extern "C" SQLRETURN SQL_API SQLSetDescFieldA(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER buf_len) {
  return SQLSetDescField(h, rec, field, value, buf_len);
}

static SQLRETURN entry_SQLSetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                        SQLINTEGER buf_len) {
  return desc_entry_call(
      h, [&](zolandm_desc* d) { return SQLSetDescField_Internal(d, rec, field, value, buf_len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER buf_len) {
  return _zolandm_traced(entry_SQLSetDescFieldW, trace_SQLSetDescFieldW, h, rec, field, value, buf_len);
}

static SQLRETURN entry_SQLGetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT buf_len,
                                     SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                     SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                     SQLSMALLINT* nullable) {
  return desc_entry_call(h, [&](zolandm_desc* d) {
    return SQLGetDescRec_Internal(d, rec, name, buf_len, str_len, type, subtype, length, precision, scale,
                                  nullable, 'A');
  });
}
extern "C" SQLRETURN SQL_API SQLGetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT buf_len,
                                           SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                           SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                           SQLSMALLINT* nullable) {
  return _zolandm_traced(entry_SQLGetDescRec, trace_SQLGetDescRec, h, rec, name, buf_len, str_len, type,
                         subtype, length, precision, scale, nullable);
}

extern "C" SQLRETURN SQL_API SQLGetDescRecA(SQLHDESC h, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT buf_len,
                                            SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                            SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                            SQLSMALLINT* nullable) {
  return SQLGetDescRec(h, rec, name, buf_len, str_len, type, subtype, length, precision, scale, nullable);
}

static SQLRETURN entry_SQLGetDescRecW(SQLHDESC h, SQLSMALLINT rec, SQLWCHAR* name, SQLSMALLINT buf_len,
                                      SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                      SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                      SQLSMALLINT* nullable) {
  return desc_entry_call(h, [&](zolandm_desc* d) {
    return SQLGetDescRec_Internal(d, rec, name, buf_len, str_len, type, subtype, length, precision, scale,
                                  nullable, 'W');
  });
}
extern "C" SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC h, SQLSMALLINT rec, SQLWCHAR* name, SQLSMALLINT buf_len,
                                            SQLSMALLINT* str_len, SQLSMALLINT* type, SQLSMALLINT* subtype,
                                            SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                            SQLSMALLINT* nullable) {
  return _zolandm_traced(entry_SQLGetDescRecW, trace_SQLGetDescRecW, h, rec, name, buf_len, str_len, type,
                         subtype, length, precision, scale, nullable);
}

static SQLRETURN entry_SQLSetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subtype,
                                     SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                                     SQLLEN* str_len, SQLLEN* indicator) {
  return desc_entry_call(h, [&](zolandm_desc* d) -> SQLRETURN {
    void* f = desc_entry(d, ZOLANDM_FN_SQLSetDescRec, ZOLANDM_FN_SQLSetDescRec, 0);
    if (f == nullptr) return ZOLANDM_ERROR;
    return _zolandm_call<SetDescRecFn>(d->dbc->driver, &d->last_rc, f, d->drv_desc, rec, type, subtype,
                                       length, precision, scale, data, str_len, indicator);
  });
}
extern "C" SQLRETURN SQL_API SQLSetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subtype,
                                           SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale,
                                           SQLPOINTER data, SQLLEN* str_len, SQLLEN* indicator) {
  return _zolandm_traced(entry_SQLSetDescRec, trace_SQLSetDescRec, h, rec, type, subtype, length, precision,
                         scale, data, str_len, indicator);
}

static SQLRETURN entry_SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  return desc_entry_call(source, [&](zolandm_desc* d) -> SQLRETURN {
    SQLHDESC drv_target;
    {
      // The target is only read, but it must be a live descriptor of the same driver.
      zolandm_global_guard lock;
      if (!_zolandm_valid_handle(target, ZOLANDM_DESC)) return ZOLANDM_INVALID;
      auto* t = static_cast<zolandm_desc*>(target);
      zolandm_driver* a = d->dbc->driver;
      zolandm_driver* b = t->dbc->driver;
      if (a == nullptr || b == nullptr || a->lib != b->lib || t->drv_desc == nullptr) {
        _zolandm_diag_add(d, ZOLANDM_E_IM001);
        return ZOLANDM_ERROR;
      }
      drv_target = t->drv_desc;
    }
    void* f = desc_entry(d, ZOLANDM_FN_SQLCopyDesc, ZOLANDM_FN_SQLCopyDesc, 0);
    if (f == nullptr) return ZOLANDM_ERROR;
    return _zolandm_call<CopyDescFn>(d->dbc->driver, &d->last_rc, f, d->drv_desc, drv_target);
  });
}
extern "C" SQLRETURN SQL_API SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  return _zolandm_traced(entry_SQLCopyDesc, trace_SQLCopyDesc, source, target);
}
