// Table and column discovery (discovery.h).
#include "cursors/discovery.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "backend/sql_type_map.h"
#include "cursors/catalog_rows.h"
#include "cursors/cursor_state.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "model/dataset_util.h"
#include "util/log.h"
#include "util/strutil.h"
#include "util/unicode.h"

namespace {

bool IsQuoted(const char* s, char q) { return q && s && s[0] == q; }

// The text inside the quotes with doubled quotes made single; the text itself
// when it is not quoted.
std::string Unquoted(const char* s, char q) {
  size_t n = strlen(s);
  if (!IsQuoted(s, q)) return std::string(s, n);
  const char* end = (n >= 2 && s[n - 1] == q) ? s + n - 1 : s + n;
  std::string out;
  for (const char* p = s + 1; p < end; p++) {
    out += *p;
    if (*p == q && p + 1 < end && p[1] == q) p++;
  }
  return out;
}

std::string Quoted(const std::string& s, char q) {
  std::string out(1, q);
  for (char c : s) {
    out += c;
    if (c == q) out += q;
  }
  out += q;
  return out;
}

void ToCase(std::string& s, int rule, int unicode) {
  if (rule != SQL_IC_UPPER && rule != SQL_IC_LOWER) return;
  std::vector<char> buf(s.begin(), s.end());
  // Case mapping may lengthen UTF-8 text a little: room to spare.
  buf.resize(s.size() * 2 + 8, '\0');
  if (unicode)
    rule == SQL_IC_UPPER ? utf8_upper(buf.data(), buf.size()) : utf8_lower(buf.data(), buf.size());
  else
    rule == SQL_IC_UPPER ? strupr(buf.data()) : strlwr(buf.data());
  s = buf.data();
}

// Converted by the rule of its spelling: quoted ones by the quoted rule.
std::string Converted(const char* s, char q, int qcase, int icase, int unicode, bool* wasQuoted = nullptr) {
  bool quoted = IsQuoted(s, q);
  if (wasQuoted) *wasQuoted = quoted;
  std::string t = Unquoted(s, q);
  ToCase(t, quoted ? qcase : icase, unicode);
  return t;
}

// Does a catalog row's name spell the wanted name? Names stored in one case
// compare exactly; under the mixed rule the data source ignores case.
bool SameName(const std::string& cell, const std::string& wanted, int rule, int unicode) {
  if (rule != SQL_IC_MIXED) return cell == wanted;
  std::string a = cell, b = wanted;
  ToCase(a, SQL_IC_UPPER, unicode);
  ToCase(b, SQL_IC_UPPER, unicode);
  return a == b;
}

char* Heap(const std::string& s) { return strdup(s.c_str()); }

void QueueOnClient(PSCCL me, errcode_t code) {
  if (me->pParent) SetVYRErrorMsg(&static_cast<_Cursor*>(me->pParent)->pendingError, code);
}

}  // namespace

char* scs_p_QuoteIdent(const char* ident, char q) {
  if (!ident) ident = "";
  return Heap(q ? Quoted(ident, q) : std::string(ident));
}

char* scs_p_UnquoteIdent(const char* ident, char q) {
  return Heap(ident ? Unquoted(ident, q) : std::string());
}

void DBIdentCaseConvert(char* ident, char q, int qcase, int icase, int unicode, int canQuote) {
  if (!ident || !*ident) return;
  bool wasQuoted = false;
  std::string t = Converted(ident, q, qcase, icase, unicode, &wasQuoted);
  const bool sameMeaning = !(icase == SQL_IC_SENSITIVE && qcase != SQL_IC_SENSITIVE) &&
                           !(qcase == SQL_IC_UPPER && icase == SQL_IC_LOWER) &&
                           !(qcase == SQL_IC_LOWER && icase == SQL_IC_UPPER);
  if (q && canQuote && (wasQuoted || sameMeaning)) {
    std::string quoted = Quoted(t, q);
    if (quoted.size() <= SCS_IDENT_MAX) t = quoted;
  }
  scs_p_NameCopy(ident, t.c_str());
}

int DBIdentMatch(const char* a, const char* b, char q, int qcase, int icase, int unicode) {
  if (!a || !*a || !b || !*b) return 0;
  // For matching, the mixed rule folds like the upper one.
  auto fold = [](int rule) { return rule == SQL_IC_MIXED ? SQL_IC_UPPER : rule; };
  return Converted(a, q, fold(qcase), fold(icase), unicode) ==
         Converted(b, q, fold(qcase), fold(icase), unicode);
}

errcode_t scs_p_GetTblAttribs(PSCCL me, TableDesc* pTables, unsigned count) {
  if (!me || !pTables || !me->pDrv) return ER_GENERAL_ERROR;
  errcode_t rc = scs_p_AuxCursorOpen(me);
  if (rc != ER_SUCCESS) return rc;
  const char q = me->idQuoteChar;
  for (unsigned i = 0; i < count; i++) {
    TableDesc& t = pTables[i];
    for (int attempt = 0;; attempt++) {
      bool ownerQuoted = false, nameQuoted = false;
      std::string owner;
      bool anyOwner = false;
      if (t.pszOwner && *t.pszOwner) {
        owner = Converted(t.pszOwner, q, me->idQIdentCase, me->idIdentCase, me->unicode, &ownerQuoted);
      } else if (attempt == 0) {
        owner = "%";
        anyOwner = true;
      } else {
        owner = Converted(me->pszUserName ? me->pszUserName : "", 0, me->idQIdentCase, me->idIdentCase,
                          me->unicode);
      }
      std::string name = Converted(t.pszName ? t.pszName : "", q, me->idQIdentCase, me->idIdentCase,
                                   me->unicode, &nameQuoted);
      DDTables args{};
      args.tableQualifier =
          (t.pszQualifier && *t.pszQualifier) ? scs_p_UnquoteIdent(t.pszQualifier, q) : nullptr;
      args.tableOwner = Heap(owner);
      args.tableName = Heap(name);
      rc = SCs_Inner(me->pDrv).ddTables(me->hSCCurs, &args);
      free(args.tableQualifier);
      free(args.tableOwner);
      free(args.tableName);
      free(args.tableType);
      if (rc != ER_SUCCESS) {
        logit(LOG_ERR, __FILE__, __LINE__, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).", t.pszName);
        return rc;
      }
      Dataset rows{};
      rc = scs_p_FetchCatalogRows(me, &rows);
      if (rc != ER_SUCCESS || (rows.nRows > 0 && rows.nCols < 3)) {
        Dataset_Done(&rows);
        logit(LOG_ERR, __FILE__, __LINE__, "scs_p_GetTblDescs: Couldn't fetch table descriptors.");
        return rc != ER_SUCCESS ? rc : ER_GENERAL_ERROR;
      }
      // The catalog took the names as patterns: keep the rows that spell them.
      std::vector<sgn32> hits;
      for (sgn32 r = 0; r < rows.nRows; r++) {
        std::string cellName, cellOwner;
        if (CellNull(&rows.col[2], r) || !CellText(&rows.col[2], r, me->unicode, &cellName)) continue;
        if (!SameName(cellName, name, nameQuoted ? me->idQIdentCase : me->idIdentCase, me->unicode)) continue;
        if (!anyOwner && !CellNull(&rows.col[1], r)) {
          if (!CellText(&rows.col[1], r, me->unicode, &cellOwner)) continue;
          if (!SameName(cellOwner, owner, ownerQuoted ? me->idQIdentCase : me->idIdentCase, me->unicode))
            continue;
        }
        hits.push_back(r);
      }
      if (hits.empty()) {
        Dataset_Done(&rows);
        QueueOnClient(me, ER_TABLE_NOT_FOUND);
        logit(LOG_ERR, __FILE__, __LINE__, "scs_p_GetTblDescs: Table %s does not exist.", t.pszName);
        return ER_TABLE_NOT_FOUND;
      }
      if (hits.size() > 1) {
        Dataset_Done(&rows);
        logit(LOG_ERR, __FILE__, __LINE__,
              "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to resolve.",
              t.pszName);
        if (attempt == 0) {
          logit(LOG_ERR, __FILE__, __LINE__, "Trying current username (%s) as owner qualifier.",
                me->pszUserName ? me->pszUserName : "");
          continue;
        }
        QueueOnClient(me, ER_DUPL_TBL_NAME);
        return ER_DUPL_TBL_NAME;
      }
      const sgn32 r = hits[0];
      std::string texts[3];
      for (int c = 0; c < 3; c++) {
        if (CellNull(&rows.col[c], r)) continue;
        if (!CellText(&rows.col[c], r, me->unicode, &texts[c])) {
          Dataset_Done(&rows);
          return ER_GENERAL_ERROR;
        }
      }
      Dataset_Done(&rows);
      char** fields[3] = {&t.pszQualifier, &t.pszOwner, &t.pszName};
      for (int c = 0; c < 3; c++) {
        if (c < 2 && texts[c].empty()) continue;
        char* v = q ? scs_p_QuoteIdent(texts[c].c_str(), q) : Heap(texts[c]);
        if (!v) return ER_NO_MEMORY;
        free(*fields[c]);
        *fields[c] = v;
      }
      break;
    }
  }
  return ER_SUCCESS;
}

errcode_t scs_p_GetTblColDescs(PSCCL me, TableDesc* pTables, unsigned count, int bSkipLongCols,
                               alist_t* pTarget) {
  if (!me || !pTables || !pTarget || !me->pDrv) return ER_GENERAL_ERROR;
  errcode_t rc = scs_p_AuxCursorOpen(me);
  if (rc != ER_SUCCESS) return rc;
  const char q = me->idQuoteChar;
  for (unsigned i = 0; i < count; i++) {
    TableDesc& t = pTables[i];
    auto arg = [&](const char* s) { return (s && *s) ? Unquoted(s, q) : std::string(); };
    std::string owner = arg(t.pszOwner), name = arg(t.pszName);
    DDColumns args{};
    args.tableQualifier = (t.pszQualifier && *t.pszQualifier) ? Heap(arg(t.pszQualifier)) : nullptr;
    args.tableOwner = Heap(owner.empty() ? "%" : owner);
    args.tableName = Heap(name.empty() ? "%" : name);
    args.columnName = Heap("%");
    Dataset rows{};
    if ((rc = scs_p_CatalogColumns(me, &args, "scs_p_GetTblColDescs", &rows)) != ER_SUCCESS) return rc;
    if (rows.nRows == 0 || rows.nCols < 9) {
      Dataset_Done(&rows);
      return ER_GENERAL_ERROR;
    }
    unsigned added = 0;
    for (sgn32 r = 0; r < rows.nRows; r++) {
      // Rows of other tables the name pattern selected are not this table's.
      std::string cellTable, cellOwner;
      if (!CellNull(&rows.col[2], r) && CellText(&rows.col[2], r, me->unicode, &cellTable) && !name.empty() &&
          cellTable != name)
        continue;
      if (!owner.empty() && !CellNull(&rows.col[1], r) &&
          CellText(&rows.col[1], r, me->unicode, &cellOwner) && cellOwner != owner)
        continue;
      sgn16 type = sgn16(CellInt(&rows.col[4], r));
      if (bSkipLongCols && DB_IsLongType(type)) continue;
      std::string col;
      if (!CellText(&rows.col[3], r, me->unicode, &col)) {
        Dataset_Done(&rows);
        return ER_GENERAL_ERROR;
      }
      SCColDesc d{};
      scs_p_NameCopy(d.col_name, (q ? Quoted(col, q) : col).c_str());
      scs_p_TableFieldsCopy(&d, t);
      d.SQLType = type;
      d.precision = precision_t(CellInt(&rows.col[6], r));
      d.scale = (type == SQL_NUMERIC || type == SQL_DECIMAL) ? scale_t(CellInt(&rows.col[8], r)) : 0;
      d.iOrdrBy = 0;
      d.selectItemType = SIT_COL_NAME;
      d.pszText = nullptr;
      if (!alist_Add(pTarget, &d)) {
        Dataset_Done(&rows);
        return ER_NO_MEMORY;
      }
      added++;
    }
    Dataset_Done(&rows);
    if (added == 0 && !bSkipLongCols) return ER_GENERAL_ERROR;
  }
  return ER_SUCCESS;
}

errcode_t scs_p_ColDescsGet(PSCCL me) {
  if (!me || !me->pDrv) return ER_GENERAL_ERROR;
  if (me->pColDesc) return ER_SUCCESS;
  return SCs_Inner(me->pDrv).describeColumns(me->hCursor, &me->nColDesc, &me->pColDesc);
}

errcode_t scs_p_ColDescGet(PSCCL me, uns16 iCol, Coldesc** ppDesc) {
  errcode_t rc = scs_p_ColDescsGet(me);
  if (rc != ER_SUCCESS) return rc;
  if (!ppDesc) return ER_INVALID_ARGUMENT;
  if (iCol == 0 || iCol > me->nColDesc) return ER_INVALID_COLUMN;
  *ppDesc = &me->pColDesc[iCol - 1];
  return ER_SUCCESS;
}

SCColDesc* ColDesc_FindByName(SCColDesc* pDescs, unsigned count, const SCColDesc* w, unsigned* pIndex) {
  if (!pDescs || !w) return nullptr;
  for (unsigned i = 0; i < count; i++) {
    const SCColDesc& d = pDescs[i];
    if (strcmp(d.col_name, w->col_name) != 0) continue;
    if (w->tbl_name[0] && strcmp(d.tbl_name, w->tbl_name) != 0) continue;
    if (w->owner_name[0] && strcmp(d.owner_name, w->owner_name) != 0) continue;
    if (pIndex) *pIndex = i;
    return &pDescs[i];
  }
  return nullptr;
}

char* scs_p_QualifyCol(uns8 nTables, const SCColDesc* d) {
  if (!d) return nullptr;
  std::string out;
  if (nTables >= 2) {
    if (d->tbl_alias[0])
      out = std::string(d->tbl_alias) + ".";
    else if (d->owner_name[0])
      out = std::string(d->owner_name) + "." + d->tbl_name + ".";
    else if (d->tbl_name[0])
      out = std::string(d->tbl_name) + ".";
  }
  out += d->col_name;
  return Heap(out);
}

void BindDescFill(const SCColDesc* d, Bindesc* b) {
  b->usage = 1;
  b->sqlType = sqltype_t(d->SQLType);
  b->precision = d->precision;
  b->scale = d->scale;
  int c;
  switch (d->SQLType) {
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      c = SQL_C_WCHAR;
      break;
    case SQL_BIT:
      c = SQL_C_BIT;
      break;
    case SQL_TINYINT:
      c = SQL_C_TINYINT;
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      c = SQL_C_BINARY;
      break;
    case SQL_INTEGER:
      c = SQL_C_LONG;
      break;
    case SQL_SMALLINT:
      c = SQL_C_SHORT;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      c = SQL_C_DOUBLE;
      break;
    case SQL_REAL:
      c = SQL_C_FLOAT;
      break;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      c = d->SQLType;  // the C type of a date or time has the SQL type's number
      break;
    default:
      c = SQL_C_CHAR;
      break;
  }
  b->cType = ctype_t(c);
}

unsigned scs_p_ClientParamCount(const TSCCL* me) {
  if (!me) return 0;
  if (me->nParamInfo > 0) return me->nParamInfo;
  return (me->f_state & SCCL_HAS_PARAMS) && me->parameters ? me->parameters->nCols : 0;
}

errcode_t scs_p_BindDescsAdd(PSCCL me, const SCColDesc* pDescs, unsigned count, int bAppendClntDescs) {
  if (!me) return ER_GENERAL_ERROR;
  const unsigned clnt = bAppendClntDescs ? scs_p_ClientParamCount(me) : 0;
  const unsigned total = unsigned(me->nBindDesc) + count + clnt;
  if (total > 0xFFFF) return ER_GENERAL_ERROR;
  Bindesc* arr = static_cast<Bindesc*>(calloc(total ? total : 1, sizeof(Bindesc)));
  if (!arr) return ER_NO_MEMORY;
  if (me->nBindDesc) memcpy(arr, me->pBindDesc, sizeof(Bindesc) * me->nBindDesc);
  unsigned n = me->nBindDesc;
  for (unsigned i = 0; i < count; i++) BindDescFill(&pDescs[i], &arr[n++]);
  if (clnt && me->pParamInfo) {
    memcpy(arr + n, me->pParamInfo, sizeof(Bindesc) * clnt);
    n += clnt;
  } else {
    // A client that described nothing gets plain input descriptions: no
    // precision or scale, as the backend binds parameters nobody described.
    for (unsigned i = 0; i < clnt; i++) arr[n++].usage = SQL_PARAM_INPUT;
  }
  free(me->pBindDesc);
  me->pBindDesc = arr;
  me->nBindDesc = uns16(n);
  return ER_SUCCESS;
}

errcode_t scs_p_BindDescsAdd(PSCCL me, const SCColDesc* pDescs, unsigned count) {
  return scs_p_BindDescsAdd(me, pDescs, count, 0);
}

void scs_p_NameCopy(char* field, const char* text) {
  const size_t n = text ? strnlen(text, SCS_IDENT_MAX) : 0;
  if (n) memcpy(field, text, n);
  field[n] = 0;
}

void scs_p_TableFieldsCopy(SCColDesc* pDesc, const TableDesc& table) {
  scs_p_NameCopy(pDesc->tbl_name, table.pszName);
  scs_p_NameCopy(pDesc->tbl_alias, table.pszAlias);
  scs_p_NameCopy(pDesc->owner_name, table.pszOwner);
  scs_p_NameCopy(pDesc->qualifier, table.pszQualifier);
}
