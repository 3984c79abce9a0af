// Driver parameters: the get and set operations behind RPC procedures 1 and 2,
// the agent's fixed answers about its cursors, the negotiation of cursor type
// and concurrency, and the table of parameter conversions.
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend/backend.h"
#include "model/drv_param_codes.h"
#include "sqlucode.h"
#include "util/unicode.h"

namespace {

constexpr int END = -999;

const int rCursTypPrecedence[] = {2, 1, 3, 1, END};
const int rConcurPrecedence[] = {2, 3, 4, 3, END};
const int rSimCursPrecedence[] = {2, 1, 0, END};
const int rCursTypeBM_OV[][2] = {{1, 0}, {2, 1}, {4, 2}, {16, 3}, {END, END}};
const int rConcurBM_OV[][2] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {END, END}};

ParameterConversion ODBCParameterConversions[8] = {
    {ctype_t(1), 32767, 0x2a31ec}, {ctype_t(5), 0, 0x2821ec},      {ctype_t(4), 0, 0x2821ec},
    {ctype_t(7), 0, 0x2821ec},     {ctype_t(8), 0, 0x2821ec},      {ctype_t(9), 0, 0x282200},
    {ctype_t(11), 0, 0x282800},    {ctype_t(-2), 65533, 0x2a3000},
};

// The statement option items are the ODBC option numbers.
static_assert(DrvParamItem(DRVP_STMT_QUERY_TIMEOUT) == SQL_QUERY_TIMEOUT &&
              DrvParamItem(DRVP_STMT_MAX_ROWS) == SQL_MAX_ROWS &&
              DrvParamItem(DRVP_STMT_NOSCAN) == SQL_NOSCAN &&
              DrvParamItem(DRVP_STMT_MAX_LENGTH) == SQL_MAX_LENGTH &&
              DrvParamItem(DRVP_STMT_ASYNC_ENABLE) == SQL_ASYNC_ENABLE &&
              DrvParamItem(DRVP_STMT_CURSOR_TYPE) == SQL_CURSOR_TYPE &&
              DrvParamItem(DRVP_STMT_CONCURRENCY) == SQL_CONCURRENCY &&
              DrvParamItem(DRVP_STMT_KEYSET_SIZE) == SQL_KEYSET_SIZE &&
              DrvParamItem(DRVP_STMT_ROWSET_SIZE) == SQL_ROWSET_SIZE &&
              DrvParamItem(DRVP_STMT_SIMULATE_CURSOR) == SQL_SIMULATE_CURSOR &&
              DrvParamItem(DRVP_STMT_RETRIEVE_DATA) == SQL_RETRIEVE_DATA &&
              DrvParamItem(DRVP_STMT_USE_BOOKMARKS) == SQL_USE_BOOKMARKS &&
              DrvParamItem(DRVP_STMT_GET_BOOKMARK) == SQL_GET_BOOKMARK &&
              DrvParamItem(DRVP_STMT_ROW_NUMBER) == SQL_ROW_NUMBER &&
              DrvParamItem(DRVP_CONN_TXN_ISOLATION) == SQL_TXN_ISOLATION &&
              DrvParamItem(DRVP_CONN_SET_QUALIFIER) == SQL_CURRENT_QUALIFIER);

errcode_t PutInt(void* buf, uns16 size, uns16* pLen, sgn32 v) {
  if (buf && size >= 4) memcpy(buf, &v, 4);
  if (pLen) *pLen = 4;
  return ER_SUCCESS;
}

errcode_t PutText(void* buf, uns16 size, uns16* pLen, const char* text) {
  if (!buf || size == 0) return ER_SUCCESS;
  StrCopyOut(text, static_cast<uns8*>(buf), size, pLen);
  return ER_SUCCESS;
}

// The agent's own answers to information requests about its cursors; -1 when
// the item is asked of the driver.
long FixedInfo(const _Connect* c, unsigned item) {
  switch (item) {
    case SQL_FETCH_DIRECTION:
      return 191;
    case SQL_SCROLL_CONCURRENCY:
      return 11;
    case SQL_SCROLL_OPTIONS:
      return GetScrollOptions(c);
    case SQL_LOCK_TYPES:
      return 1;
    case SQL_POS_OPERATIONS:
      return 31;
    case SQL_BOOKMARK_PERSISTENCE:
      return 74;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
      return 7749;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
      return 24827;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
      return 7745;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
      return 20611;
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
      return 7759;
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
      return 20715;
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
      return 1615;
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
      return 20619;
    case SQL_AGGREGATE_FUNCTIONS:
      return 64;
    case SQL_CURSOR_SENSITIVITY:
      return 0;
    default:
      return -1;
  }
}

bool IsShortInfo(unsigned item) {
  static const unsigned shorts[] = {SQL_ACTIVE_CONNECTIONS,
                                    SQL_ODBC_API_CONFORMANCE,
                                    SQL_ODBC_SAG_CLI_CONFORMANCE,
                                    SQL_ODBC_SQL_CONFORMANCE,
                                    SQL_CONCAT_NULL_BEHAVIOR,
                                    SQL_CURSOR_COMMIT_BEHAVIOR,
                                    SQL_CURSOR_ROLLBACK_BEHAVIOR,
                                    SQL_IDENTIFIER_CASE,
                                    SQL_MAX_COLUMN_NAME_LEN,
                                    SQL_MAX_CURSOR_NAME_LEN,
                                    SQL_MAX_OWNER_NAME_LEN,
                                    SQL_MAX_PROCEDURE_NAME_LEN,
                                    SQL_MAX_QUALIFIER_NAME_LEN,
                                    SQL_MAX_TABLE_NAME_LEN,
                                    SQL_TXN_CAPABLE,
                                    SQL_CORRELATION_NAME,
                                    SQL_NON_NULLABLE_COLUMNS,
                                    SQL_FILE_USAGE,
                                    SQL_NULL_COLLATION,
                                    SQL_GROUP_BY,
                                    SQL_QUOTED_IDENTIFIER_CASE,
                                    SQL_MAX_COLUMNS_IN_GROUP_BY,
                                    SQL_MAX_COLUMNS_IN_INDEX,
                                    SQL_MAX_COLUMNS_IN_ORDER_BY,
                                    SQL_MAX_COLUMNS_IN_SELECT,
                                    SQL_MAX_COLUMNS_IN_TABLE,
                                    SQL_MAX_TABLES_IN_SELECT,
                                    SQL_MAX_USER_NAME_LEN,
                                    SQL_QUALIFIER_LOCATION};
  for (unsigned s : shorts)
    if (s == item) return true;
  return false;
}

errcode_t GetConnParam(_Connect* c, uns32 code, void* buf, uns16 size, uns16* pLen) {
  unsigned kind = DrvParamKind(code), cls = DrvParamClass(code), item = DrvParamItem(code);
  if (cls == DRVP_CLASS_AGENT) {
    switch (code) {
      case DRVP_CONN_QUALIFIER: {
        if (c->unicode) {
          wchar_t w[1024] = {0};
          errcode_t e = CheckConnErrors(c, "SQLGetConnectOptionW",
                                        SQLGetConnectOptionW(c->hDbc, SQL_CURRENT_QUALIFIER, w));
          if (e != ER_SUCCESS) return e;
          w[1023] = 0;
          if (buf && size) StrCopyOut_WtoU8(w, static_cast<char*>(buf), size, pLen);
          return ER_SUCCESS;
        }
        char q[4096] = {0};
        errcode_t e =
            CheckConnErrors(c, "SQLGetConnectOption", SQLGetConnectOption(c->hDbc, SQL_CURRENT_QUALIFIER, q));
        if (e != ER_SUCCESS) return e;
        q[sizeof q - 1] = 0;
        return PutText(buf, size, pLen, q);
      }
      case DRVP_CONN_NEED_BIND:
      case DRVP_CONN_FEATURE_03:
      case DRVP_CONN_PARAM_OP:
      case DRVP_CONN_FEATURE_05:
      case DRVP_CONN_FEATURE_06:
      case DRVP_CONN_LOCK_BY_UPDATE:
      case DRVP_CONN_FEATURE_0A:
      case DRVP_CONN_FEATURE_0E:
        return PutInt(buf, size, pLen, 1);
      case DRVP_CONN_XFETCH2:
        c->bClntXFetch2 = 1;
        return PutInt(buf, size, pLen, 1);
      case DRVP_CONN_ROW_VERSIONS:
        return PutInt(buf, size, pLen, c->SessFlags.f_useRVC == 1 ? 1 : 0);
      case DRVP_CONN_CAPABILITIES:
        c->bClntXFetch2 = 1;
        return PutInt(buf, size, pLen, c->SessFlags.f_noautocommit ? 5887 : 6143);
      case DRVP_CONN_UNICODE:
        return PutInt(buf, size, pLen, c->unicode ? 1 : 0);
      default:
        return ER_DRV_NO_SUPPORT;
    }
  }
  if (cls == DRVP_CLASS_OPTION) {
    SQLUSMALLINT opt;
    switch (code) {
      case DRVP_CONN_AUTOCOMMIT:
        opt = SQL_AUTOCOMMIT;
        break;
      case DRVP_CONN_ACCESS_MODE:
        opt = SQL_ACCESS_MODE;
        break;
      case DRVP_CONN_TXN_ISOLATION:
        opt = SQL_TXN_ISOLATION;
        break;
      default:
        return ER_DRV_NO_SUPPORT;
    }
    SQLULEN v = 0;  // 8-byte zeroed temporary, narrowed below
    errcode_t e = CheckConnErrors(c, "SQLGetConnectOption", SQLGetConnectOption(c->hDbc, opt, &v));
    if (e != ER_SUCCESS) return e;
    return PutInt(buf, size, pLen, sgn32(uns32(v)));
  }
  if (cls == DRVP_CLASS_INFO) {
    long fixed = FixedInfo(c, item);
    if (fixed >= 0) {
      if (kind == DRVP_KIND_TEXT) return PutText(buf, size, pLen, "");
      if (kind == DRVP_KIND_INT) return PutInt(buf, size, pLen, sgn32(fixed));
      return ER_DRV_NO_SUPPORT;
    }
    if (kind == DRVP_KIND_TEXT) {
      if (item == SQL_DBMS_NAME && c->SessFlags.f_SqlDbmsName)
        return PutText(buf, size, pLen, c->SessFlags.f_SqlDbmsName);
      SQLSMALLINT len = 0;
      if (c->unicode) {
        wchar_t w[1025] = {0};
        errcode_t e = CheckConnErrors(c, "SQLGetInfoW", SQLGetInfoW(c->hDbc, item, w, 4096, &len));
        if (e != ER_SUCCESS) return e;
        w[1024] = 0;
        if (buf && size) StrCopyOut_WtoU8(w, static_cast<char*>(buf), size, pLen);
        return ER_SUCCESS;
      }
      char t[1025] = {0};
      errcode_t e = CheckConnErrors(c, "SQLGetInfo", SQLGetInfo(c->hDbc, item, t, 1024, &len));
      if (e != ER_SUCCESS) return e;
      t[1024] = 0;
      return PutText(buf, size, pLen, t);
    }
    if (kind == DRVP_KIND_INT) {
      if (item == SQL_ACTIVE_STATEMENTS && c->bMultipleActiveStmtsEmul) return PutInt(buf, size, pLen, 0);
      if (item == SQL_PARAM_ARRAY_ROW_COUNTS) return PutInt(buf, size, pLen, 1);
      unsigned char raw[8] = {0};  // zeroed, wider than any integer answer
      SQLSMALLINT len = 0;
      errcode_t e = CheckConnErrors(c, "SQLGetInfo", SQLGetInfo(c->hDbc, item, raw, 4, &len));
      if (e != ER_SUCCESS) return e;
      sgn32 v;
      if (item == SQL_ACTIVE_STATEMENTS || IsShortInfo(item)) {
        uns16 s;
        memcpy(&s, raw, 2);
        v = s;
      } else {
        memcpy(&v, raw, 4);
      }
      return PutInt(buf, size, pLen, v);
    }
    return ER_DRV_NO_SUPPORT;
  }
  return ER_DRV_NO_SUPPORT;
}

errcode_t GetStmtParam(_Cursor* pc, uns32 code, void* buf, uns16 size, uns16* pLen) {
  TSCCL& s = pc->st_sccl;
  switch (code) {
    case DRVP_STMT_ROW_COUNT: {
      SQLLEN n = -1;
      if (pc->bRowCountSum) {
        // Parameter rows run one after another: their counts were summed.
        n = pc->rowCountSum;
      } else {
        errcode_t e = CheckStmtErrors(pc, "SQLRowCount", SQLRowCount(pc->hStmt, &n));
        if (e != ER_SUCCESS) return e;
      }
      if (DrvParamKind(code) == DRVP_KIND_TEXT) return PutText(buf, size, pLen, "");
      return PutInt(buf, size, pLen, sgn32(n));
    }
    case DRVP_STMT_QUERY_TIMEOUT:
    case DRVP_STMT_NOSCAN: {
      SQLULEN v = 0;
      errcode_t e = CheckStmtErrors(
          pc, "SQLGetStmtOption",
          SQLGetStmtOption(pc->hStmt, code == DRVP_STMT_QUERY_TIMEOUT ? SQL_QUERY_TIMEOUT : SQL_NOSCAN, &v));
      if (e != ER_SUCCESS) return e;
      if (DrvParamKind(code) == DRVP_KIND_TEXT) return PutText(buf, size, pLen, "");
      return PutInt(buf, size, pLen, sgn32(uns32(v)));
    }
    case DRVP_STMT_MAX_ROWS:
      return PutInt(buf, size, pLen, sgn32(pc->maxrows));
    case DRVP_STMT_MAX_LENGTH:
      return PutInt(buf, size, pLen, sgn32(pc->maxDataLen));
    case DRVP_STMT_ASYNC_ENABLE:
      return PutInt(buf, size, pLen, 0);
    case DRVP_STMT_CURSOR_TYPE:
      return PutInt(buf, size, pLen, s.CursType);
    case DRVP_STMT_CONCURRENCY:
      return PutInt(buf, size, pLen, s.ConcType);
    case DRVP_STMT_KEYSET_SIZE:
      return PutInt(buf, size, pLen, s.KSSize);
    case DRVP_STMT_ROWSET_SIZE:
      return PutInt(buf, size, pLen, s.RSSize);
    case DRVP_STMT_SIMULATE_CURSOR:
      return PutInt(buf, size, pLen, s.SimulatCurs);
    case DRVP_STMT_RETRIEVE_DATA:
      return PutInt(buf, size, pLen, s.bRetrieveData);
    case DRVP_STMT_USE_BOOKMARKS:
      return PutInt(buf, size, pLen, s.bUseBookMarks);
    case DRVP_STMT_GET_BOOKMARK:
      return ER_DRV_NOT_CAPABLE;
    case DRVP_STMT_ROW_NUMBER:
      return PutInt(buf, size, pLen, 0);
    case DRVP_STMT_CONC_VALUE_EXTENT:
      return PutInt(buf, size, pLen, s.fOptConcValExtent);
    case DRVP_STMT_PARSE_FORWARD_ONLY:
      return PutInt(buf, size, pLen, s.bParsFwdOnlyReq);
    case DRVP_STMT_SELECT_APPEND_KEYS:
      return PutInt(buf, size, pLen, s.bSelectAppendKeys);
    default:
      return ER_DRV_NO_SUPPORT;
  }
}

errcode_t SetConnParam(_Connect* c, uns32 code, void* value) {
  switch (code) {
    case DRVP_CONN_SET_QUALIFIER: {
      const char* text = static_cast<const char*>(value);
      if (!text) return ER_INVALID_ARGUMENT;
      return CheckConnErrors(c, "SQLSetConnectOption",
                             SQLSetConnectOption(c->hDbc, SQL_CURRENT_QUALIFIER, (SQLULEN)(uintptr_t)text));
    }
    default:
      break;
  }
  if (DrvParamKind(code) != DRVP_KIND_INT) return ER_DRV_NOT_CAPABLE;
  if (!value) return ER_INVALID_ARGUMENT;
  sgn32 v;
  memcpy(&v, value, 4);
  switch (code) {
    case DRVP_CONN_DEFER_LONG_DATA:
      c->bDeferLongData = v;
      return ER_SUCCESS;
    case DRVP_CONN_MULTI_STMT_EMUL:
      c->bMultipleActiveStmtsEmul = v;
      return ER_SUCCESS;
    case DRVP_CONN_AUTOCOMMIT:
      return CheckConnErrors(c, "SQLSetConnectOption",
                             SQLSetConnectOption(c->hDbc, SQL_AUTOCOMMIT, v ? 1 : 0));
    case DRVP_CONN_ACCESS_MODE:
      return CheckConnErrors(c, "SQLSetConnectOption",
                             SQLSetConnectOption(c->hDbc, SQL_ACCESS_MODE, v ? 1 : 0));
    case DRVP_CONN_TXN_ISOLATION:
      return CheckConnErrors(c, "SQLSetConnectOption",
                             SQLSetConnectOption(c->hDbc, SQL_TXN_ISOLATION, (SQLULEN)uns32(v)));
    default:
      return ER_DRV_NOT_CAPABLE;
  }
}

errcode_t SetStmtParam(_Cursor* pc, uns32 code, void* value) {
  if (DrvParamKind(code) != DRVP_KIND_INT) return ER_DRV_NOT_CAPABLE;
  if (!value) return ER_INVALID_ARGUMENT;
  sgn32 v;
  memcpy(&v, value, 4);
  TSCCL& s = pc->st_sccl;
  _Connect* c = pc->pConnect;
  switch (code) {
    case DRVP_STMT_QUERY_TIMEOUT:
      return CheckStmtErrors(pc, "SQLSetStmtOption",
                             SQLSetStmtOption(pc->hStmt, SQL_QUERY_TIMEOUT, (SQLULEN)uns32(v)));
    case DRVP_STMT_MAX_ROWS: {
      uns32 cap = c->SessFlags.f_maxrows;
      uns32 want = uns32(v);
      if (cap && (want == 0 || want > cap)) {
        pc->maxrows = cap;
        return ER_OPT_VAL_CHANGED;
      }
      pc->maxrows = want;
      return ER_SUCCESS;
    }
    case DRVP_STMT_NOSCAN:
      return CheckStmtErrors(pc, "SQLSetStmtOption",
                             SQLSetStmtOption(pc->hStmt, SQL_NOSCAN, (SQLULEN)uns32(v)));
    case DRVP_STMT_MAX_LENGTH: {
      pc->maxDataLen = uns32(v);
      uint64_t drv = uint64_t(uns32(v)) * (c->unicode ? 4 : 1);
      SQLRETURN r = SQLSetStmtOption(pc->hStmt, SQL_MAX_LENGTH, (SQLULEN)drv);
      if (r == SQL_SUCCESS) return ER_SUCCESS;
      if (r == SQL_SUCCESS_WITH_INFO) {
        SQLULEN back = 0;
        SQLRETURN g = SQLGetStmtOption(pc->hStmt, SQL_MAX_LENGTH, &back);
        if (g != SQL_SUCCESS && g != SQL_SUCCESS_WITH_INFO) back = 0;
        if (c->unicode) back /= 4;
        pc->maxDataLen = back > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(back);
        return ER_OPT_VAL_CHANGED;
      }
      return CheckStmtErrors(pc, "SQLSetStmtOption", r);
    }
    case DRVP_STMT_ASYNC_ENABLE:
      return v ? ER_OPT_VAL_CHANGED : ER_SUCCESS;
    case DRVP_STMT_CURSOR_TYPE: {
      sgn32 t = v;
      errcode_t e = IsSupported(&s, SQL_CURSOR_TYPE, &t);
      if (e != ER_SUCCESS && e != ER_OPT_VAL_CHANGED) return e;
      if (t == 2 && !c->bClntXFetch2) {
        t = 1;
        e = ER_OPT_VAL_CHANGED;
      }
      s.CursType = t;
      s.f_state |= SCCL_CURSTYPE_SET;
      return e;
    }
    case DRVP_STMT_CONCURRENCY: {
      sgn32 t = v;
      errcode_t e = IsSupported(&s, SQL_CONCURRENCY, &t);
      if (e != ER_SUCCESS && e != ER_OPT_VAL_CHANGED) return e;
      s.ConcType = t;
      return e;
    }
    case DRVP_STMT_KEYSET_SIZE:
      if (c->bClntXFetch2) {
        errcode_t e = ER_SUCCESS;
        sgn32 k = v;
        if (k > 5000) {
          k = 5000;
          e = ER_OPT_VAL_CHANGED;
        }
        s.KSSize = k;
        s.f_state |= SCCL_KSSIZE_SET;
        return e;
      }
      if (v != 0) return ER_OPT_VAL_CHANGED;
      s.KSSize = SCCL_KEYSET_WHOLE;
      s.f_state |= SCCL_KSSIZE_SET;
      return ER_SUCCESS;
    case DRVP_STMT_ROWSET_SIZE: {
      errcode_t e = ER_SUCCESS;
      sgn32 r = v;
      if (r > 100 && !c->SessFlags.f_norowsetsizelimit) {
        r = 100;
        e = ER_OPT_VAL_CHANGED;
      }
      s.RSSize = r;
      s.f_state |= SCCL_RSSIZE_SET;
      s.f_stateAux2 &= ~(SCCL_AUX2_KEY_REREAD | SCCL_AUX2_OPT_VALUES);
      return e;
    }
    case DRVP_STMT_SIMULATE_CURSOR:
      s.SimulatCurs = v;
      return ER_SUCCESS;
    case DRVP_STMT_RETRIEVE_DATA:
      s.bRetrieveData = v;
      return ER_SUCCESS;
    case DRVP_STMT_USE_BOOKMARKS:
      s.bUseBookMarks = v;
      return ER_SUCCESS;
    case DRVP_STMT_DESCRIBE_PARAMS:
      if (v && !pc->bParamsAnalysed) return FillParamDesc(pc);
      return ER_SUCCESS;
    case DRVP_STMT_CONC_VALUE_EXTENT:
      if (v != SCCL_OCV_TABLE_COLS && v != SCCL_OCV_SELECT_COLS) return ER_INVALID_ARGUMENT;
      s.fOptConcValExtent = v;
      return ER_SUCCESS;
    case DRVP_STMT_PARSE_FORWARD_ONLY:
      s.bParsFwdOnlyReq = v;
      return ER_SUCCESS;
    case DRVP_STMT_SELECT_APPEND_KEYS:
      s.bSelectAppendKeys = v;
      return ER_SUCCESS;
    default:
      return ER_DRV_NOT_CAPABLE;
  }
}

}  // namespace

errcode_t ODBC_GetDrvParameter(handle_t h, uns32 code, void* buf, uns16 size, uns16* pLen) {
  switch (DrvParamScope(code)) {
    case DRVP_SCOPE_SERVER:
      if (!ODBC_ServerRec(h)) return ER_INVALID_ARGUMENT;
      if (code != DRVP_SRV_AGENT_NAME) return ER_DRV_NO_SUPPORT;
      agent_version_set = 1;
      return PutText(buf, size, pLen, "odbc");
    case DRVP_SCOPE_CONNECT: {
      _Connect* c = ODBC_ConnectRec(h);
      if (!c) return ER_INVALID_ARGUMENT;
      return GetConnParam(c, code, buf, size, pLen);
    }
    case DRVP_SCOPE_STMT: {
      _Cursor* pc = ODBC_CursorRec(h);
      if (!pc) return ER_INVALID_ARGUMENT;
      return GetStmtParam(pc, code, buf, size, pLen);
    }
    default:
      return ER_DRV_NO_SUPPORT;
  }
}

errcode_t ODBC_SetDrvParameter(handle_t h, uns32 code, void* value) {
  switch (DrvParamScope(code)) {
    case DRVP_SCOPE_SERVER:
      return ODBC_ServerRec(h) ? ER_DRV_NOT_CAPABLE : ER_INVALID_ARGUMENT;
    case DRVP_SCOPE_CONNECT: {
      _Connect* c = ODBC_ConnectRec(h);
      if (!c) return ER_INVALID_ARGUMENT;
      return SetConnParam(c, code, value);
    }
    case DRVP_SCOPE_STMT: {
      _Cursor* pc = ODBC_CursorRec(h);
      if (!pc) return ER_INVALID_ARGUMENT;
      return SetStmtParam(pc, code, value);
    }
    default:
      return ER_DRV_NO_SUPPORT;
  }
}

errcode_t ODBC_GetOpTable(handle_t hConnect, OpTable* t) {
  if (!ODBC_ConnectRec(hConnect) || !t) return ER_INVALID_ARGUMENT;
  if (t->type != 1) return ER_DRV_NOT_CAPABLE;
  t->numElem = 8;
  t->values = ODBCParameterConversions;
  return ER_SUCCESS;
}

int Option2InfoType(int option, const int** ppPrecedence, const int (**ppMap)[2]) {
  if (option == SQL_CONCURRENCY) {
    *ppPrecedence = rConcurPrecedence;
    *ppMap = rConcurBM_OV;
    return SQL_SCROLL_CONCURRENCY;
  }
  if (option == SQL_CURSOR_TYPE) {
    *ppPrecedence = rCursTypPrecedence;
    *ppMap = rCursTypeBM_OV;
    return SQL_SCROLL_OPTIONS;
  }
  *ppPrecedence = rSimCursPrecedence;
  *ppMap = nullptr;
  return 0;
}

int GetSurrogateOptn(int value, const int* precedence, int* pPos) {
  int i = *pPos;
  while (precedence[i] != END && precedence[i] != value) i++;
  if (precedence[i] == END || precedence[i + 1] == END) {
    *pPos = i;
    return END;
  }
  *pPos = i + 1;
  return precedence[i + 1];
}

int MapBitMskOptnVal(int key, const int (*map)[2], int toBit) {
  int i = 0;
  for (; map[i][0] != END; i++) {
    if (toBit ? map[i][1] == key : map[i][0] == key) break;
  }
  return toBit ? map[i][0] : map[i][1];
}

errcode_t IsSupported(PSCCL pState, int option, sgn32* pValue) {
  const int* prec = nullptr;
  const int(*map)[2] = nullptr;
  int info = Option2InfoType(option, &prec, &map);
  int value = *pValue;
  if (!info || !prec || !map) return value == END ? ER_DRV_NOT_CAPABLE : ER_SUCCESS;
  sgn32 offered = 0;
  if (SC_GetInfo_hook) {
    if (SC_GetInfo_hook(pState, info, &offered) != ER_SUCCESS)
      return value == END ? ER_DRV_NOT_CAPABLE : ER_SUCCESS;
  } else {
    // No engine in front: the agent's own fixed answers stand in.
    _Cursor* pc = ODBC_CursorRec(pState->hCursor);
    long f = FixedInfo(pc ? pc->pConnect : nullptr, unsigned(info));
    if (f < 0) return ER_SUCCESS;
    offered = sgn32(f);
  }
  if (value == END) return ER_DRV_NOT_CAPABLE;
  int bit = MapBitMskOptnVal(value, map, 1);
  if (bit == END) return ER_DRV_NOT_CAPABLE;
  if (offered & bit) return ER_SUCCESS;
  int pos = 0;
  for (;;) {
    int next = GetSurrogateOptn(value, prec, &pos);
    if (next == END) return ER_DRV_NOT_CAPABLE;
    // Later entries are tried in order after the first occurrence of the value.
    int b = MapBitMskOptnVal(next, map, 1);
    if (b != END && (offered & b)) {
      *pValue = next;
      return next == value ? ER_SUCCESS : ER_OPT_VAL_CHANGED;
    }
    value = next;
  }
}

int GetScrollOptions(const _Connect* c) {
  int sens = 0;
  if (c) {
    sens = c->SessFlags.f_useRVC;
  } else {
    std::lock_guard lock(ODBC_ServerLock());
    sens = f_useRVC;
  }
  return sens == 2 ? 17 : 31;
}

int ParseSensitivity(const char* text) {
  if (!text) return 0;
  if (text[0] == 'D' || text[0] == 'd') return 2;
  if (text[0] == 'H' || text[0] == 'h') return 1;
  return 0;
}

const char* PrintSensitivity(int v) {
  switch (v) {
    case 0:
      return "LOW";
    case 1:
      return "HIGH";
    case 2:
      return "DISABLED";
    default:
      return nullptr;
  }
}
