// Statement analysis (statement_analysis.h): what the cursor engine needs to
// know of a statement, from its parse tree.
#include "sql/statement_analysis.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sql/parser.h"
#include "sql/tree_walk.h"

namespace {

const int kNoSubqueries[] = {EXPR_SUB_QUERY, -1};

char* dupStr(const char* s, size_t n) {
  char* d = static_cast<char*>(malloc(n + 1));
  if (!d) return nullptr;
  memcpy(d, s, n);
  d[n] = 0;
  return d;
}

char* dupStr(const std::string& s) { return dupStr(s.data(), s.size()); }

// Copies text into a fixed field of SCR_NAME_MAX + 1 bytes; false when it is longer.
bool putName(char* field, const char* text) {
  size_t n = strlen(text);
  if (n > SCR_NAME_MAX) return false;
  memcpy(field, text, n + 1);
  return true;
}

PRSTR_NODE* rootSelect(SC_Request* me) {
  if (!me || !me->pParsTree || me->pParsTree->symbl.nType != EXPR_SELECT_STATEMENT) return nullptr;
  return me->pParsTree;
}

// The OPT_ORDER_BY_CLAUSE that holds the statement's ORDER BY: the one of the
// last SELECT of the union chain when it has one, else the statement-level one.
PRSTR_NODE* orderByNode(PRSTR_NODE* root) {
  if (!root || root->symbl.nType != EXPR_SELECT_STATEMENT) return nullptr;
  PRSTR_NODE* sel = scr_OuterSelectExp(root);
  PRSTR_NODE* last = nullptr;
  while (sel) {
    PRSTR_NODE* te = scr_TableExp(sel);
    if (!te) break;
    last = scr_TableExpPart(te, EXPR_OPT_ORDER_BY_CLAUSE);
    sel = scr_UnionMember(scr_TableExpPart(te, EXPR_OPT_UNION_CLAUSE));
  }
  if (last && pt_IsInner(last)) return last;
  PRSTR_NODE* stmt = pt_Child(root, 2);
  if (stmt && stmt->symbl.nType == EXPR_OPT_ORDER_BY_CLAUSE && pt_IsInner(stmt)) return stmt;
  return stmt && stmt->symbl.nType == EXPR_OPT_ORDER_BY_CLAUSE ? stmt : last;
}

bool holdsMarker(PRSTR_NODE* root) { return strstr(pt_Label(root), SCR_TAG_MARKER) != nullptr; }

errcode_t expandAll(SC_Request* me) { return pt_Expand(me->pParsTree) ? ER_SUCCESS : ER_NO_MEMORY; }

void setFlag(SC_Request* me, unsigned bit, bool on) {
  if (on)
    me->flags = static_cast<uns16>(me->flags | bit);
  else
    me->flags = static_cast<uns16>(me->flags & ~bit);
}

std::vector<PRSTR_NODE*> sortSpecs(PRSTR_NODE* optOrder) {
  if (!pt_IsInner(optOrder)) return {};
  PRSTR_NODE* clause = optOrder->left;  // EXPR_ORDER_BY_CLAUSE
  if (!clause || clause->symbl.nType != EXPR_ORDER_BY_CLAUSE || !clause->left) return {};
  return pt_ListItems(clause->left, EXPR_SORT_SPEC_COMMALIST);
}

}  // namespace

PRSTR_NODE* scr_OuterSelectExp(PRSTR_NODE* root) {
  if (!root) return nullptr;
  if (root->symbl.nType == EXPR_SELECT_EXP) return root;
  if (root->symbl.nType == EXPR_SELECT_STATEMENT && root->left && root->left->symbl.nType == EXPR_SELECT_EXP)
    return root->left;
  return nullptr;
}

PRSTR_NODE* scr_TableExp(PRSTR_NODE* selectExp) {
  if (!selectExp || selectExp->symbl.nType != EXPR_SELECT_EXP) return nullptr;
  PRSTR_NODE* te = pt_Child(selectExp, 3);
  return te && te->symbl.nType == EXPR_TABLE_EXP ? te : nullptr;
}

PRSTR_NODE* scr_TableExpPart(PRSTR_NODE* tableExp, int kind) {
  if (!tableExp || tableExp->symbl.nType != EXPR_TABLE_EXP) return nullptr;
  for (PRSTR_NODE* c = tableExp->left; c; c = c->right)
    if (c->symbl.nType == kind) return c;
  return nullptr;
}

PRSTR_NODE* scr_UnionMember(PRSTR_NODE* optUnion) {
  if (!pt_IsInner(optUnion)) return nullptr;
  PRSTR_NODE* u = optUnion->left;
  if (!u || u->symbl.nType != EXPR_UNION_CLAUSE || !u->left) return nullptr;
  return u->left->symbl.nType == EXPR_SELECT_EXP ? u->left : nullptr;
}

void TableDescDestroy(void* p) {
  if (!p) return;
  TableDesc* t = static_cast<TableDesc*>(p);
  free(t->pszQualifier);
  free(t->pszOwner);
  free(t->pszName);
  free(t->pszAlias);
  memset(t, 0, sizeof *t);
}

void SCColDescDestroy(void* p) {
  if (!p) return;
  SCColDesc* c = static_cast<SCColDesc*>(p);
  free(c->pszText);
  c->pszText = nullptr;
}

void SCR_Init(SC_Request* me) {
  if (!me) return;
  me->original = me->translated = me->szParsErrMsg = nullptr;
  me->pParsTree = nullptr;
  me->reqType = SCR_REQ_EMPTY;
  me->flags = 0;
}

void SCR_Destroy(SC_Request* me) {
  if (!me) return;
  free(me->original);
  free(me->translated);
  free(me->szParsErrMsg);
  me->original = me->translated = me->szParsErrMsg = nullptr;
  pt_treeFree(&me->pParsTree);
  me->reqType = SCR_REQ_EMPTY;
  me->flags = 0;
}

errcode_t SCR_AnalyseSQL(SC_Request* me, const char* request, int bRebuildOnly, int bKeepQual) {
  if (!me) return ER_GENERAL_ERROR;
  if (!request) request = "";
  while (*request && isspace(static_cast<unsigned char>(*request))) request++;
  SCR_Destroy(me);
  me->original = dupStr(request, strlen(request));
  me->reqType = EXPR_OTHER;
  if (!me->original) return ER_NO_MEMORY;
  if (scsql_ParseText(me->original, &me->pParsTree, &me->translated, &me->szParsErrMsg) != 0)
    return ER_SYNTAXIS;
  me->reqType = static_cast<expr_t>(me->pParsTree->symbl.nType);
  if (!pt_Expand(me->pParsTree)) return ER_NO_MEMORY;
  if (bRebuildOnly || me->reqType != EXPR_SELECT_STATEMENT) return ER_SUCCESS;
  errcode_t rc = SCR_FlagOrderByClause(me, nullptr);
  if (rc == ER_SUCCESS) rc = SCR_FlagGroupByClause(me);
  if (rc == ER_SUCCESS) rc = SCR_FlagUnionClause(me);
  if (rc == ER_SUCCESS) rc = SCR_FlagJoin(me, bKeepQual);
  if (rc == ER_SUCCESS) rc = SCR_FlagScalarAggregate(me);
  if (rc == ER_SUCCESS) rc = SCR_FlagOuterJoin(me);
  return rc;
}

errcode_t SCR_FlagOrderByClause(SC_Request* me, PRSTR_NODE** ppOrderBy) {
  PRSTR_NODE* ob = orderByNode(rootSelect(me));
  if (!ob) return ER_GENERAL_ERROR;
  setFlag(me, SCR_F_ORDER_BY, pt_IsInner(ob));
  if (ppOrderBy) *ppOrderBy = ob;
  return ER_SUCCESS;
}

errcode_t SCR_FlagGroupByClause(SC_Request* me) {
  PRSTR_NODE* g =
      scr_TableExpPart(scr_TableExp(scr_OuterSelectExp(rootSelect(me))), EXPR_OPT_GROUP_BY_CLAUSE);
  if (!g) return ER_GENERAL_ERROR;
  setFlag(me, SCR_F_GROUP_BY, pt_IsInner(g));
  return ER_SUCCESS;
}

errcode_t SCR_FlagUnionClause(SC_Request* me) {
  PRSTR_NODE* u = scr_TableExpPart(scr_TableExp(scr_OuterSelectExp(rootSelect(me))), EXPR_OPT_UNION_CLAUSE);
  if (!u) return ER_GENERAL_ERROR;
  setFlag(me, SCR_F_UNION, pt_IsInner(u));
  return ER_SUCCESS;
}

errcode_t SCR_FlagJoin(SC_Request* me, int bKeepQual) {
  if (!rootSelect(me)) return ER_GENERAL_ERROR;
  alist_t* l = alist_Alloc(sizeof(TableDesc));
  if (!l) return ER_NO_MEMORY;
  errcode_t rc = SCR_TablesGet(me, l, bKeepQual);
  setFlag(me, SCR_F_JOIN, rc == ER_SUCCESS && l->cUsed >= 2);
  alist_Dealloc(&l, TableDescDestroy);
  return rc;
}

errcode_t SCR_FlagScalarAggregate(SC_Request* me) {
  // The statement's own select list and HAVING clause: an aggregate inside a
  // subquery or a derived table does not make the statement an aggregate.
  static const int fences[] = {EXPR_SUB_QUERY, EXPR_JOINED_TABLE, -1};
  PRSTR_NODE* sel = scr_OuterSelectExp(rootSelect(me));
  PRSTR_NODE* list = pt_Child(sel, 2);
  if (!list) return ER_GENERAL_ERROR;
  PRSTR_NODE* having = scr_TableExpPart(scr_TableExp(sel), EXPR_OPT_HAVING_CLAUSE);
  bool found = pt_FindFirst(list, EXPR_SET_FUNCTION_REF, fences) != nullptr ||
               (having && pt_FindFirst(having, EXPR_SET_FUNCTION_REF, fences) != nullptr);
  setFlag(me, SCR_F_AGGREGATE, found);
  return ER_SUCCESS;
}

errcode_t SCR_FlagOuterJoin(SC_Request* me) {
  if (!me || !me->pParsTree) return ER_GENERAL_ERROR;
  setFlag(me, SCR_F_OUTER_JOIN, pt_FindFirst(me->pParsTree, EXPR_OUTER_JOIN_TYPE, nullptr) != nullptr);
  return ER_SUCCESS;
}

errcode_t SCR_TablesGet(SC_Request* me, alist_t* pRefdTables, int bKeepQual) {
  PRSTR_NODE* te = scr_TableExp(scr_OuterSelectExp(rootSelect(me)));
  if (!te || !pRefdTables) return ER_GENERAL_ERROR;
  PRSTR_NODE* refs = scr_TableExpPart(te, EXPR_TABLE_REFERENCE_LIST);
  if (!refs) return ER_SUCCESS;
  alist_t* nodes = alist_Alloc(sizeof(PRSTR_NODE*));
  if (!nodes) return ER_NO_MEMORY;
  errcode_t rc = ER_SUCCESS;
  if (!pt_FindAll(refs, EXPR_OPT_CORR_NAME, kNoSubqueries, nodes))
    rc = ER_NO_MEMORY;
  else if (nodes->cUsed == 0)
    rc = ER_GENERAL_ERROR;
  for (unsigned i = 0; rc == ER_SUCCESS && i < nodes->cUsed; i++)
    rc = scr_GetTblRefDetails(nodes, i, pRefdTables, bKeepQual);
  alist_Dealloc(&nodes, nullptr);
  return rc;
}

namespace {

// A table name as a shape: every name of it becomes the byte 02 and the
// separators (".", "..", "@", ":") stay, so that splitting the shape never cuts
// inside a quoted name such as [my.table] or "a@b".
void tableShape(PRSTR_NODE* node, std::string& shape, std::vector<std::string>& names) {
  if (!pt_IsInner(node) || !node->symbl.szFormat) {
    shape.push_back('\x02');
    names.emplace_back(pt_Label(node));
    return;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(node->symbl.szFormat);
  while (*p) {
    if (*p != 0xFF) {
      shape.push_back(static_cast<char>(*p++));
    } else if (p[1] == 1 && p[2]) {
      PRSTR_NODE* c = pt_Child(node, p[2]);
      if (c) tableShape(c, shape, names);
      p += 3;
    } else {
      break;
    }
  }
}

struct Span {
  size_t pos = 0, len = 0;
};

// Splits the shape of a table name into qualifier, owner and name.
void splitTableShape(const std::string& t, int bKeepQual, Span& qual, Span& owner, Span& name) {
  const size_t npos = std::string::npos;
  auto span = [](size_t from, size_t to) { return Span{from, to - from}; };
  size_t at = t.find('@');
  size_t colon = at == npos ? npos : t.find(':', at);
  if (at != npos && colon != npos) {
    // a@b:c and a@b:c.d: the link belongs to the qualifier.
    if (bKeepQual) qual = span(0, colon);
    size_t dot = t.find('.', colon + 1);
    if (dot != npos) {
      owner = span(colon + 1, dot);
      name = span(dot + 1, t.size());
    } else {
      name = span(colon + 1, t.size());
    }
  } else if (at != npos) {
    size_t dot = t.find('.');
    if (dot != npos && dot < at) {
      owner = span(0, dot);
      name = span(dot + 1, at);
    } else {
      name = span(0, at);
    }
  } else if (t.find('.') != npos) {
    size_t last = t.rfind('.');
    name = span(last + 1, t.size());
    size_t sep = t.find('.');
    if (sep == last) sep = t.find(':');
    if (sep != npos && sep < last) {
      if (bKeepQual) qual = span(0, sep);
      owner = span(sep + 1, last);
    } else {
      owner = span(0, last);
    }
  } else if ((colon = t.find(':')) != npos) {
    name = span(colon + 1, t.size());
    if (bKeepQual) qual = span(0, colon);
  } else {
    name = span(0, t.size());
  }
}

// The text of a span of the shape, with the names put back.
std::string unshape(const std::string& shape, const std::vector<std::string>& names, Span s) {
  size_t k = 0;
  for (size_t i = 0; i < s.pos; i++)
    if (shape[i] == '\x02') k++;
  std::string out;
  for (size_t i = s.pos; i < s.pos + s.len; i++) {
    if (shape[i] == '\x02')
      out += k < names.size() ? names[k++] : std::string();
    else
      out.push_back(shape[i]);
  }
  return out;
}

}  // namespace

errcode_t scr_GetTblRefDetails(alist_t* pNodes, unsigned int index, alist_t* pRefdTables, int bKeepQual) {
  if (!pNodes || index >= pNodes->cUsed || !pRefdTables) return ER_GENERAL_ERROR;
  PRSTR_NODE* n = *static_cast<PRSTR_NODE**>(alist_At(pNodes, index));
  PRSTR_NODE* corr = pt_FindFirst(n, EXPR_CORRELATION_NAME, kNoSubqueries);
  PRSTR_NODE* tn = pt_FindFirst(n, EXPR_TABLE_NAME, kNoSubqueries);
  if (!tn) return ER_GENERAL_ERROR;
  std::string alias = corr ? pt_Label(corr) : "";
  std::string shape;
  std::vector<std::string> names;
  tableShape(tn, shape, names);
  Span q, o, nm;
  splitTableShape(shape, bKeepQual, q, o, nm);
  std::string qual = unshape(shape, names, q), owner = unshape(shape, names, o),
              name = unshape(shape, names, nm);
  TableDesc d;
  d.pszQualifier = dupStr(qual);
  d.pszOwner = dupStr(owner);
  d.pszName = dupStr(name);
  d.pszAlias = dupStr(alias);
  if (!d.pszQualifier || !d.pszOwner || !d.pszName || !d.pszAlias || !alist_Add(pRefdTables, &d)) {
    TableDescDestroy(&d);
    return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t scr_ColNameDecompose(PRSTR_NODE* pColName, SCColDesc* pCol) {
  if (!pColName || !pCol || pColName->symbl.nType != EXPR_COLUMN_NAME) return ER_GENERAL_ERROR;
  // The parts are the node's children: column; table, column; owner, table, column.
  PRSTR_NODE* parts[3] = {nullptr, nullptr, nullptr};
  int n = 0;
  for (PRSTR_NODE* c = pColName->left; c && n < 3 && n < pColName->symbl.cArgs; c = c->right) parts[n++] = c;
  pCol->col_name[0] = pCol->tbl_name[0] = pCol->owner_name[0] = 0;
  pCol->qualifier[0] = pCol->tbl_alias[0] = 0;
  bool ok = true;
  if (n == 1) {
    ok = putName(pCol->col_name, pt_Label(parts[0]));
  } else if (n == 2) {
    ok = putName(pCol->tbl_name, pt_Label(parts[0])) && putName(pCol->col_name, pt_Label(parts[1]));
  } else if (n == 3) {
    ok = putName(pCol->owner_name, pt_Label(parts[0])) && putName(pCol->tbl_name, pt_Label(parts[1])) &&
         putName(pCol->col_name, pt_Label(parts[2]));
  } else {
    return ER_GENERAL_ERROR;
  }
  return ok ? ER_SUCCESS : ER_GENERAL_ERROR;
}

errcode_t SCR_SelectColsGet(SC_Request* me, alist_t* pSelectCols) {
  PRSTR_NODE* sel = scr_OuterSelectExp(rootSelect(me));
  PRSTR_NODE* list = pt_Child(sel, 2);
  if (!list || list->symbl.nType != EXPR_SELECT_LIST || !pSelectCols) return ER_GENERAL_ERROR;
  if (!pt_IsInner(list)) {
    if (strcmp(pt_Label(list), "*") != 0) return ER_GENERAL_ERROR;
    SCColDesc c;
    memset(&c, 0, sizeof c);
    c.selectItemType = SIT_ALL_COLS;
    return alist_Add(pSelectCols, &c) ? ER_SUCCESS : ER_NO_MEMORY;
  }
  std::vector<PRSTR_NODE*> items = pt_ListItems(list, EXPR_SELECT_LIST);
  if (items.empty()) return ER_GENERAL_ERROR;
  for (PRSTR_NODE* item : items) {
    if (!item || item->symbl.nType != EXPR_SELECT_SUBLIST || !item->left) return ER_GENERAL_ERROR;
    SCColDesc c;
    memset(&c, 0, sizeof c);
    PRSTR_NODE* first = item->left;
    if (first->symbl.nType == EXPR_TABLE_NAME) {
      // table.* : a wildcard by its shape, whatever the text
      c.selectItemType = SIT_ALL_TBL_COLS;
      if (!putName(c.tbl_name, pt_Label(first))) return ER_GENERAL_ERROR;
    } else {
      c.selectItemType = SIT_EXPR;
      const char* text = pt_Label(item);
      size_t len = strlen(text);
      size_t keep = len > size_t{SCR_NAME_MAX} ? size_t{SCR_NAME_MAX} : len;
      memcpy(c.col_name, text, keep);
      c.col_name[keep] = 0;
      if (first->symbl.nType != EXPR_EXPRESSION) return ER_GENERAL_ERROR;
      // A column is an expression that is nothing but a column name:
      // expression -> term -> factor (no sign) -> primary -> column name.
      const char* plain = "\xff\x01\x01";
      PRSTR_NODE* e = first;
      PRSTR_NODE* term = e->symbl.cArgs == 1 ? e->left : nullptr;
      PRSTR_NODE* factor =
          term && term->symbl.nType == EXPR_TERM && term->symbl.cArgs == 1 ? term->left : nullptr;
      PRSTR_NODE* primary = factor && factor->symbl.nType == EXPR_FACTOR && factor->symbl.szFormat &&
                                    strcmp(factor->symbl.szFormat, plain) == 0
                                ? factor->left
                                : nullptr;
      PRSTR_NODE* col = primary && primary->symbl.nType == EXPR_PRIMARY && primary->symbl.cArgs == 1 &&
                                primary->symbl.szFormat && strcmp(primary->symbl.szFormat, plain) == 0
                            ? primary->left
                            : nullptr;
      if (col && col->symbl.nType == EXPR_COLUMN_NAME) {
        c.selectItemType = SIT_COL_NAME;
        if (scr_ColNameDecompose(col, &c) != ER_SUCCESS) return ER_GENERAL_ERROR;
      }
      // The item as written, alias included: a column renamed by its alias
      // must keep that name when the list is written again.
      c.pszText = dupStr(text, len);
      if (!c.pszText) return ER_NO_MEMORY;
    }
    if (!alist_Add(pSelectCols, &c)) {
      SCColDescDestroy(&c);
      return ER_NO_MEMORY;
    }
  }
  return ER_SUCCESS;
}

errcode_t SCR_OrderingColsGet(SC_Request* me, alist_t* pOrdrCols) {
  PRSTR_NODE* ob = orderByNode(rootSelect(me));
  if (!ob || !pOrdrCols) return ER_GENERAL_ERROR;
  std::vector<PRSTR_NODE*> specs = sortSpecs(ob);
  if (specs.empty()) return ER_GENERAL_ERROR;
  for (PRSTR_NODE* s : specs) {
    if (!s || s->symbl.nType != EXPR_SORT_SPECIFICATION) return ER_GENERAL_ERROR;
    PRSTR_NODE* what = s->left;
    PRSTR_NODE* dir = pt_Child(s, 2);
    if (!what || !dir || dir->symbl.nType != EXPR_OPT_ASC_DESC) return ER_GENERAL_ERROR;
    SCOrdrColDesc o;
    memset(&o, 0, sizeof o);
    o.sort_direction = strstr(pt_Label(dir), "DESC") ? SORT_DESC : SORT_ASC;
    if (what->symbl.nType == EXPR_UNS_INT) {
      const char* digits = pt_Label(what);
      unsigned long v = 0;
      for (const char* p = digits; *p; p++) {
        if (!isdigit(static_cast<unsigned char>(*p))) return ER_SYNTAXIS;
        v = v * 10 + static_cast<unsigned>(*p - '0');
        if (v > 255) return ER_SYNTAXIS;
      }
      if (v == 0) return ER_SYNTAXIS;
      o.nColIndx = static_cast<uns8>(v);
      setFlag(me, SCR_F_NUMERIC_ORDER_BY, true);
    } else if (what->symbl.nType == EXPR_COLUMN_NAME) {
      const char* text = pt_Label(what);
      if (strlen(text) >= sizeof o.orig_name) return ER_GENERAL_ERROR;
      strcpy(o.orig_name, text);
      SCColDesc tmp;
      memset(&tmp, 0, sizeof tmp);
      if (scr_ColNameDecompose(what, &tmp) != ER_SUCCESS) return ER_GENERAL_ERROR;
      memcpy(o.col_name, tmp.col_name, sizeof o.col_name);
      memcpy(o.tbl_name, tmp.tbl_name, sizeof o.tbl_name);
      memcpy(o.owner_name, tmp.owner_name, sizeof o.owner_name);
    } else {
      return ER_GENERAL_ERROR;
    }
    if (!alist_Add(pOrdrCols, &o)) return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t SCR_RelabelNumericOrdrCols(SC_Request* me, alist_t* pOrdrCols) {
  if (!pOrdrCols) return ER_GENERAL_ERROR;
  if (pOrdrCols->cUsed == 0) return ER_SUCCESS;
  PRSTR_NODE* ob = orderByNode(rootSelect(me));
  if (!ob || !pt_IsInner(ob)) return ER_GENERAL_ERROR;  // no ORDER BY clause
  for (PRSTR_NODE* s : sortSpecs(ob)) {
    PRSTR_NODE* what = s ? s->left : nullptr;
    if (!what || what->symbl.nType != EXPR_UNS_INT) continue;
    const char* digits = pt_Label(what);
    if (!isdigit(static_cast<unsigned char>(digits[0]))) return ER_GENERAL_ERROR;
    unsigned long v = strtoul(digits, nullptr, 10);
    SCOrdrColDesc* hit = nullptr;
    for (unsigned i = 0; i < pOrdrCols->cUsed && !hit; i++) {
      SCOrdrColDesc* o = static_cast<SCOrdrColDesc*>(alist_At(pOrdrCols, i));
      if (o->nColIndx == v) hit = o;
    }
    if (!hit) return ER_GENERAL_ERROR;
    if (!pt_SetLabel(what, hit->orig_name)) return ER_NO_MEMORY;
  }
  return expandAll(me);
}

errcode_t SCR_InvertSortOrder(SC_Request* me) {
  PRSTR_NODE* ob = orderByNode(rootSelect(me));
  if (!ob) return ER_GENERAL_ERROR;
  std::vector<PRSTR_NODE*> specs = sortSpecs(ob);
  if (specs.empty()) return ER_GENERAL_ERROR;
  for (PRSTR_NODE* s : specs) {
    PRSTR_NODE* dir = pt_Child(s, 2);
    if (!dir || dir->symbl.nType != EXPR_OPT_ASC_DESC) return ER_GENERAL_ERROR;
    if (!pt_SetLabel(dir, strstr(pt_Label(dir), "DESC") ? "" : "DESC")) return ER_NO_MEMORY;
  }
  return expandAll(me);
}

errcode_t SCR_TagSelectList(SC_Request* me) {
  PRSTR_NODE* root = rootSelect(me);
  PRSTR_NODE* list = pt_Child(scr_OuterSelectExp(root), 2);
  if (!list || list->symbl.nType != EXPR_SELECT_LIST || holdsMarker(root)) return ER_GENERAL_ERROR;
  if (!pt_MakeLeaf(list, SCR_TAG_MARKER)) return ER_NO_MEMORY;
  return expandAll(me);
}

errcode_t SCR_TagWhereClause(SC_Request* me) {
  PRSTR_NODE* root = rootSelect(me);
  PRSTR_NODE* w = scr_TableExpPart(scr_TableExp(scr_OuterSelectExp(root)), EXPR_OPT_WHERE_CLAUSE);
  if (!w || holdsMarker(root)) return ER_GENERAL_ERROR;
  if (pt_IsInner(w)) {
    PRSTR_NODE* wc = w->left;
    if (wc->symbl.nType != EXPR_WHERE_CLAUSE) return ER_GENERAL_ERROR;
    if (!pt_SetFormat(wc, "WHERE " SCR_TAG_MARKER " AND (\xff\x01\x01)")) return ER_NO_MEMORY;
    setFlag(me, SCR_F_WHERE, true);
  } else {
    if (!pt_SetLabel(w, SCR_TAG_MARKER)) return ER_NO_MEMORY;
    setFlag(me, SCR_F_WHERE, false);
  }
  return expandAll(me);
}

errcode_t SCR_TagOrderByClause(SC_Request* me) {
  PRSTR_NODE* root = rootSelect(me);
  PRSTR_NODE* ob = orderByNode(root);
  if (!ob || holdsMarker(root)) return ER_GENERAL_ERROR;
  if (pt_IsInner(ob)) {
    PRSTR_NODE* clause = ob->left;
    if (clause->symbl.nType != EXPR_ORDER_BY_CLAUSE) return ER_GENERAL_ERROR;
    std::string fmt = std::string(clause->symbl.szFormat ? clause->symbl.szFormat : "") + SCR_TAG_MARKER;
    if (!pt_SetFormat(clause, fmt.c_str())) return ER_NO_MEMORY;
    setFlag(me, SCR_F_ORDER_BY, true);
  } else {
    if (!pt_SetLabel(ob, SCR_TAG_MARKER)) return ER_NO_MEMORY;
    setFlag(me, SCR_F_ORDER_BY, false);
  }
  return expandAll(me);
}

errcode_t SCR_TagSplice(const char* pszTagged, const char* pszText, char** ppszOut) {
  if (!ppszOut) return ER_GENERAL_ERROR;
  *ppszOut = nullptr;
  if (!pszTagged) return ER_GENERAL_ERROR;
  const char* m = strstr(pszTagged, SCR_TAG_MARKER);
  if (!m) return ER_GENERAL_ERROR;
  if (!pszText) pszText = "";
  size_t pre = static_cast<size_t>(m - pszTagged);
  size_t mid = strlen(pszText);
  const char* suffix = m + 3;
  size_t post = strlen(suffix);
  char* out = static_cast<char*>(malloc(pre + mid + post + 1));
  if (!out) return ER_NO_MEMORY;
  memcpy(out, pszTagged, pre);
  memcpy(out + pre, pszText, mid);
  memcpy(out + pre + mid, suffix, post + 1);
  *ppszOut = out;
  return ER_SUCCESS;
}
