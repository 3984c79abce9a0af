// The information answers the engine asks of the backend (data_source_info.h):
// SQLGetInfo-style values through driver parameters, and the engine's own
// capability string. Called by SCs_Init, the filter's hooks and its
// getDrvParameter slot.
#include "cursors/data_source_info.h"

#include <cstdio>
#include <cstring>

#include "cursors/inner.h"
#include "model/drv_param_codes.h"
#include "util/strutil.h"

extern DRV g_DBI;  // inner.cpp

// A 4-byte integer answer of the backend; false when it is not answered.
bool AskInt(DRV* d, handle_t h, uns32 code, sgn32* pValue) {
  sgn32 v = 0;
  uns16 len = 0;
  if (SCs_Inner(d).getDrvParameter(h, code, &v, 4, &len) != ER_SUCCESS) return false;
  *pValue = v;
  return true;
}

bool IsIntInfo(UWORD t) {
  static const UWORD ints[] = {8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83, 93, 99};
  for (UWORD i : ints)
    if (i == t) return true;
  return false;
}

bool IsTextInfo(UWORD t) { return t == 11 || t == 17 || t == 29 || t == 47; }

errcode_t SC_GetInfo(DRV* pDrv, handle_t hConnect, UWORD fInfoType, void* rgbInfoValue, SWORD cbInfoValueMax,
                     SWORD* pcbInfoValue) {
  if (!pDrv || !pDrv->ops) return ER_GENERAL_ERROR;
  SWORD dummy = 0;
  if (!pcbInfoValue) pcbInfoValue = &dummy;
  const bool shortInt = fInfoType == SQL_NULL_COLLATION;
  if (IsIntInfo(fInfoType) || shortInt) {
    sgn32 v = 0;
    uns16 len = 0;
    errcode_t rc = SCs_Inner(pDrv).getDrvParameter(hConnect, DRVP_CONN_INFO_INT + fInfoType, &v, 4, &len);
    if (rc != ER_SUCCESS) return rc;
    const SWORD width = shortInt ? 2 : 4;
    if (cbInfoValueMax < width) return ER_INVALID_ARGUMENT;
    if (rgbInfoValue) {
      if (shortInt) {
        uns16 s = uns16(v);
        memcpy(rgbInfoValue, &s, 2);
      } else {
        memcpy(rgbInfoValue, &v, 4);
      }
    }
    *pcbInfoValue = width;
    return ER_SUCCESS;
  }
  if (IsTextInfo(fInfoType)) {
    char text[256] = {0};
    uns16 len = 0;
    errcode_t rc =
        SCs_Inner(pDrv).getDrvParameter(hConnect, DRVP_CONN_INFO_TEXT + fInfoType, text, sizeof text, &len);
    if (rc != ER_SUCCESS) return rc;
    text[sizeof text - 1] = 0;
    size_t n = strlen(text);
    *pcbInfoValue = SWORD(n);
    if (cbInfoValueMax > 0 && size_t(cbInfoValueMax) > n) {
      if (rgbInfoValue) memcpy(rgbInfoValue, text, n + 1);
      return ER_SUCCESS;
    }
    // Cut to the buffer with room for the terminator; the full length is told.
    if (rgbInfoValue && cbInfoValueMax > 0) {
      memcpy(rgbInfoValue, text, size_t(cbInfoValueMax) - 1);
      static_cast<char*>(rgbInfoValue)[cbInfoValueMax - 1] = 0;
    }
    return ER_DATA_TRUNCATED;
  }
  return ER_INVALID_OPTION;
}

errcode_t scs_p_CapabilityString(handle_t hConnect, char* buf, uns16 size, uns16* pLen) {
  DRV* d = &g_DBI;
  sgn32 three = 3;
  SCs_Inner(d).setDrvParameter(hConnect, DRVP_CONN_FEATURE_0C, &three);
  int dg[13] = {0};
  sgn32 w = 0, v = 0;
  const bool haveWord = AskInt(d, hConnect, DRVP_CONN_CAPABILITIES, &w);
  if (haveWord) {
    dg[1] = (w >> 3) & 1;
    dg[2] = (w >> 7) & 1;
    dg[3] = (w >> 2) & 1;
    dg[4] = (w >> 4) & 1;
    dg[5] = (w >> 6) & 1;
    dg[10] = (w >> 10) & 1;
    dg[11] = (w >> 13) & 1;
    dg[12] = (w >> 14) & 1;
  } else {
    const uns32 codes[5] = {DRVP_CONN_FEATURE_06, DRVP_CONN_FEATURE_0E, DRVP_CONN_PARAM_OP, DRVP_CONN_XFETCH2,
                            DRVP_CONN_FEATURE_05};
    for (int i = 0; i < 5; i++) dg[i + 1] = AskInt(d, hConnect, codes[i], &v) && v ? 1 : 0;
  }
  dg[6] = 1;
  dg[7] = AskInt(d, hConnect, DRVP_CONN_INFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR, &v) ? v : 0;
  dg[8] = AskInt(d, hConnect, DRVP_CONN_FEATURE_14, &v) && v ? 1 : 0;
  dg[9] = AskInt(d, hConnect, DRVP_CONN_FEATURE_15, &v) && v ? 1 : 0;
  char text[64];
  snprintf(text, sizeof text, "%03d.%03d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, dg[1], dg[2], dg[3], dg[4], dg[5],
           dg[6], dg[7], dg[8], dg[9], dg[10], dg[11], dg[12]);
  StrCopyOut(text, reinterpret_cast<uns8*>(buf), size, pLen);
  return ER_SUCCESS;
}
