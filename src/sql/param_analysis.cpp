// Parameter analysis (param_analysis.h): each marker of an analysed statement
// described by the column or expression it stands beside.
#include "sql/param_analysis.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sql/parser.h"
#include "sql/statement_analysis.h"
#include "util/strutil.h"

namespace {

const int kNoSubqueries[] = {EXPR_SUB_QUERY, -1};
const int kNoUnionsOrSubqueries[] = {EXPR_OPT_UNION_CLAUSE, EXPR_SUB_QUERY, -1};

bool hasParam(PRSTR_NODE* n) {
  if (!n) return false;
  return n->symbl.nType == EXPR_DYNAMIC_PARAMETER ||
         pt_FindFirst(n, EXPR_DYNAMIC_PARAMETER, nullptr) != nullptr;
}

bool contains(PRSTR_NODE* n, int kind) {
  return n && (n->symbl.nType == kind || pt_FindFirst(n, kind, nullptr) != nullptr);
}

PRSTR_NODE* containsNode(PRSTR_NODE* n, int kind) {
  if (!n) return nullptr;
  if (n->symbl.nType == kind) return n;
  return pt_FindFirst(n, kind, nullptr);
}

char* dupStr(const std::string& s) {
  char* d = static_cast<char*>(malloc(s.size() + 1));
  if (d) memcpy(d, s.c_str(), s.size() + 1);
  return d;
}

bool addCtx(alist_t* contexts, PRSTR_NODE* n) { return alist_Add(contexts, &n) != 0; }

// Contexts of the predicates of one search condition (subqueries not entered).
errcode_t conditionParams(PRSTR_NODE* cond, alist_t* contexts) {
  if (!cond) return ER_SUCCESS;
  alist_t* preds = alist_Alloc(sizeof(PRSTR_NODE*));
  if (!preds) return ER_NO_MEMORY;
  errcode_t rc = ER_SUCCESS;
  if (cond->symbl.nType == EXPR_PREDICATE) {
    if (!alist_Add(preds, &cond)) rc = ER_NO_MEMORY;
  }
  if (rc == ER_SUCCESS && !pt_FindAll(cond, EXPR_PREDICATE, kNoSubqueries, preds)) rc = ER_NO_MEMORY;
  for (unsigned i = 0; rc == ER_SUCCESS && i < preds->cUsed; i++) {
    PRSTR_NODE* pred = *static_cast<PRSTR_NODE**>(alist_At(preds, i));
    PRSTR_NODE* p = pred ? pred->left : nullptr;
    if (!p) {
      rc = ER_GENERAL_ERROR;
      break;
    }
    PRSTR_NODE* a = p->left;
    bool ok = true;
    switch (p->symbl.nType) {
      case EXPR_COMPARISON_PREDICATE: {
        PRSTR_NODE* b = pt_Child(p, 3);
        if (!a || !b) {
          rc = ER_GENERAL_ERROR;
          break;
        }
        bool aH = hasParam(a), bH = hasParam(b), bSub = b->symbl.nType == EXPR_SUB_QUERY;
        if (aH && (!bH || bSub))
          ok = addCtx(contexts, b);
        else if (bH && !aH && !bSub)
          ok = addCtx(contexts, a);
        break;
      }
      case EXPR_BETWEEN_PREDICATE: {
        PRSTR_NODE *l = pt_Child(p, 2), *h = pt_Child(p, 3);
        if (!a || !l || !h) {
          rc = ER_GENERAL_ERROR;
          break;
        }
        bool eH = hasParam(a), lH = hasParam(l), hH = hasParam(h);
        if (eH && !lH) {
          ok = addCtx(contexts, l) && (!hH || addCtx(contexts, l));
        } else if (eH && lH && !hH) {
          ok = addCtx(contexts, h) && addCtx(contexts, h);
        } else if (!eH) {
          ok = (!lH || addCtx(contexts, a)) && (!hH || addCtx(contexts, a));
        }
        break;
      }
      case EXPR_LIKE_PREDICATE:
      case EXPR_QUANTIFIED_PREDICATE: {
        PRSTR_NODE* b = pt_Child(p, p->symbl.nType == EXPR_LIKE_PREDICATE ? 2 : 4);
        if (!a || !b) {
          rc = ER_GENERAL_ERROR;
          break;
        }
        bool aH = hasParam(a), bH = hasParam(b);
        if (aH && !bH)
          ok = addCtx(contexts, b);
        else if (bH && !aH)
          ok = addCtx(contexts, a);
        break;
      }
      case EXPR_IN_PREDICATE: {
        PRSTR_NODE* b = pt_Child(p, 2);
        if (!a || !b) {
          rc = ER_GENERAL_ERROR;
          break;
        }
        bool aH = hasParam(a);
        if (b->symbl.nType == EXPR_SUB_QUERY) {
          if (aH) ok = addCtx(contexts, b);
        } else {
          std::vector<PRSTR_NODE*> values = pt_ListItems(b, EXPR_VALUE_COMMALIST);
          if (aH) {
            if (!values.empty() && !hasParam(values[0])) ok = addCtx(contexts, values[0]);
          } else {
            for (PRSTR_NODE* v : values)
              if (hasParam(v) && !(ok = addCtx(contexts, a))) break;
          }
        }
        break;
      }
      case EXPR_NULL_PREDICATE:
        if (!a) {
          rc = ER_GENERAL_ERROR;
          break;
        }
        if (hasParam(a)) ok = addCtx(contexts, nullptr);
        break;
      default:
        break;
    }
    if (rc == ER_SUCCESS && !ok) rc = ER_NO_MEMORY;
  }
  alist_Dealloc(&preds, nullptr);
  return rc;
}

bool hasSubqueryContext(alist_t* contexts) {
  for (unsigned i = 0; i < contexts->cUsed; i++) {
    PRSTR_NODE* n = *static_cast<PRSTR_NODE**>(alist_At(contexts, i));
    if (n && n->symbl.nType == EXPR_SUB_QUERY) return true;
  }
  return false;
}

bool addTable(alist_t* tables, const char* text) {
  SpTableDesc t;
  t.pszFullName = dupStr(text);
  if (!t.pszFullName) return false;
  if (!alist_Add(tables, &t)) {
    free(t.pszFullName);
    return false;
  }
  return true;
}

struct Lists {
  alist_t* tables = alist_Alloc(sizeof(SpTableDesc));
  alist_t* contexts = alist_Alloc(sizeof(PRSTR_NODE*));
  ~Lists() {
    alist_Dealloc(&tables, SpTableDescDestroy);
    alist_Dealloc(&contexts, nullptr);
  }
  bool ok() const { return tables && contexts; }
};

// Builds the query of one set of contexts; giveUp when a context is a subquery.
errcode_t flush(SP_Request* me, Lists& l, bool* giveUp) {
  if (l.contexts->cUsed == 0) return ER_SUCCESS;
  if (hasSubqueryContext(l.contexts)) {
    *giveUp = true;
    return ER_SUCCESS;
  }
  return SPR_AddToQuery(me, l.tables, l.contexts);
}

errcode_t analyseSelect(SP_Request* me, PRSTR_NODE* start, bool* giveUp) {
  PRSTR_NODE* sel = scr_OuterSelectExp(start);
  if (!sel) sel = start ? pt_FindFirst(start, EXPR_SELECT_EXP, nullptr) : nullptr;
  if (!sel) return ER_GENERAL_ERROR;
  for (; sel && !*giveUp; sel = scr_UnionMember(scr_TableExpPart(scr_TableExp(sel), EXPR_OPT_UNION_CLAUSE))) {
    PRSTR_NODE* te = scr_TableExp(sel);
    if (!te) return ER_GENERAL_ERROR;
    Lists l;
    if (!l.ok()) return ER_NO_MEMORY;
    errcode_t rc = SPR_FromTablesGet(te, l.tables);
    if (rc != ER_SUCCESS) return rc;
    rc = SPR_GetWhereParams(te, l.contexts);
    if (rc != ER_SUCCESS) return rc;
    PRSTR_NODE* having = scr_TableExpPart(te, EXPR_OPT_HAVING_CLAUSE);
    if (pt_IsInner(having)) {
      rc = conditionParams(having->left, l.contexts);
      if (rc != ER_SUCCESS) return rc;
    }
    if (l.contexts->cUsed && l.tables->cUsed == 0) {
      *giveUp = true;  // no table list: no query can describe them
      return ER_SUCCESS;
    }
    rc = flush(me, l, giveUp);
    if (rc != ER_SUCCESS) return rc;
  }
  return ER_SUCCESS;
}

void dropQueries(SP_Request* me) {
  for (int i = 0; i < me->nQueries; i++) free(me->pszQueries[i]);
  free(me->pszQueries);
  me->pszQueries = nullptr;
  me->nQueries = 0;
  me->nCountParams = 0;
  free(me->paramsMask);
  me->paramsMask = nullptr;
}

errcode_t appendQuery(SP_Request* me, const std::string& q, int counted) {
  char* copy = dupStr(q);
  if (!copy) return ER_NO_MEMORY;
  char** grown = static_cast<char**>(realloc(me->pszQueries, sizeof(char*) * (me->nQueries + 1)));
  if (!grown) {
    free(copy);
    return ER_NO_MEMORY;
  }
  me->pszQueries = grown;
  me->pszQueries[me->nQueries++] = copy;
  me->nCountParams += counted;
  return ER_SUCCESS;
}

errcode_t analyseInsert(SP_Request* me, PRSTR_NODE* root, bool* giveUp) {
  PRSTR_NODE *table = pt_Child(root, 1), *cols = pt_Child(root, 2), *voq = pt_Child(root, 3);
  if (!table || !cols || !voq || !voq->left) return ER_GENERAL_ERROR;
  std::vector<PRSTR_NODE*> columns;
  if (pt_IsInner(cols)) columns = pt_ListItems(cols->left, EXPR_COLUMN_REF_COMMALIST);
  Lists l;
  if (!l.ok()) return ER_NO_MEMORY;
  if (!addTable(l.tables, pt_Label(table))) return ER_NO_MEMORY;
  PRSTR_NODE* src = voq->left;
  if (src->symbl.nType == EXPR_VALUE_COMMALIST) {
    std::vector<PRSTR_NODE*> values = pt_ListItems(src, EXPR_VALUE_COMMALIST);
    if (!pt_IsInner(cols)) {
      std::string mask;
      for (PRSTR_NODE* v : values) mask.push_back(hasParam(v) ? '?' : 'X');
      free(me->paramsMask);
      me->paramsMask = dupStr(mask);
      if (!me->paramsMask) return ER_NO_MEMORY;
      return appendQuery(me, std::string("SELECT * FROM ") + pt_Label(table) + " WHERE 1=0 ",
                         static_cast<int>(values.size()));
    }
    for (size_t i = 0; i < values.size(); i++) {
      if (!hasParam(values[i])) continue;
      if (i >= columns.size()) {
        *giveUp = true;
        return ER_SUCCESS;
      }
      if (!addCtx(l.contexts, columns[i])) return ER_NO_MEMORY;
    }
    return flush(me, l, giveUp);
  }
  if (src->symbl.nType != EXPR_SELECT_EXP) return ER_SUCCESS;
  // One expression per top-level select item, paired with the columns in order.
  PRSTR_NODE* list = pt_Child(src, 2);
  std::vector<PRSTR_NODE*> items;
  if (pt_IsInner(list)) items = pt_ListItems(list, EXPR_SELECT_LIST);
  bool wildcardSeen = false;
  for (size_t i = 0; i < items.size(); i++) {
    PRSTR_NODE* item = items[i];
    PRSTR_NODE* first = item ? item->left : nullptr;
    if (!first) return ER_GENERAL_ERROR;
    if (first->symbl.nType == EXPR_TABLE_NAME) {
      wildcardSeen = true;
      continue;
    }
    if (!hasParam(first)) continue;
    if (wildcardSeen || i >= columns.size()) {
      *giveUp = true;
      return ER_SUCCESS;
    }
    if (!addCtx(l.contexts, columns[i])) return ER_NO_MEMORY;
  }
  errcode_t rc = flush(me, l, giveUp);
  if (rc != ER_SUCCESS || *giveUp) return rc;
  return analyseSelect(me, src, giveUp);
}

}  // namespace

void SpTableDescDestroy(void* p) {
  if (!p) return;
  SpTableDesc* t = static_cast<SpTableDesc*>(p);
  free(t->pszFullName);
  t->pszFullName = nullptr;
}

void SPR_Init(SP_Request* r, const char* param_any_null) {
  if (!r) return;
  memset(r, 0, sizeof *r);
  r->reqType = static_cast<expr_t>(-1);
  r->param_any_null = param_any_null;
}

void SPR_Destroy(SP_Request* r) {
  if (!r) return;
  dropQueries(r);
  free(r->original);
  free(r->translated);
  free(r->szParsErrMsg);
  r->original = r->translated = r->szParsErrMsg = nullptr;
  pt_treeFree(&r->pParsTree);
  r->reqType = static_cast<expr_t>(-1);
  r->flags = 0;
}

void spr_FindAllNodes(int kind, PRSTR_NODE* node, alist_t* list) { pt_FindAll(node, kind, nullptr, list); }

errcode_t SPR_FromTablesGet(PRSTR_NODE* node, alist_t* tables) {
  if (!node || !tables) return ER_GENERAL_ERROR;
  PRSTR_NODE* refs = node->symbl.nType == EXPR_TABLE_REFERENCE_LIST ? node : nullptr;
  if (!refs && node->symbl.nType == EXPR_TABLE_EXP)
    refs = scr_TableExpPart(node, EXPR_TABLE_REFERENCE_LIST);
  else if (!refs)
    refs = pt_FindFirst(node, EXPR_TABLE_REFERENCE_LIST, kNoUnionsOrSubqueries);
  if (!refs) return ER_SUCCESS;
  // A derived table is a table of its own, written as it stands: the tables
  // inside it could name other columns under the same names. One that holds
  // a parameter cannot be put into a probe query.
  static const int fences[] = {EXPR_SUB_QUERY, EXPR_SELECT_EXP, -1};
  alist_t* corr = alist_Alloc(sizeof(PRSTR_NODE*));
  alist_t* joined = alist_Alloc(sizeof(PRSTR_NODE*));
  errcode_t rc = corr && joined ? ER_SUCCESS : ER_NO_MEMORY;
  if (rc == ER_SUCCESS && (!pt_FindAll(refs, EXPR_OPT_CORR_NAME, fences, corr) ||
                           !pt_FindAll(refs, EXPR_JOINED_TABLE, fences, joined)))
    rc = ER_NO_MEMORY;
  std::vector<PRSTR_NODE*> derived;
  for (unsigned i = 0; rc == ER_SUCCESS && i < joined->cUsed; i++) {
    PRSTR_NODE* j = *static_cast<PRSTR_NODE**>(alist_At(joined, i));
    if (j->left && j->left->symbl.nType == EXPR_SELECT_EXP) {
      if (hasParam(j)) rc = ER_GENERAL_ERROR;
      derived.push_back(j);
    }
  }
  if (rc == ER_SUCCESS && corr->cUsed == 0 && derived.empty()) rc = ER_GENERAL_ERROR;
  for (unsigned i = 0; rc == ER_SUCCESS && i < corr->cUsed; i++)
    if (!addTable(tables, pt_Label(*static_cast<PRSTR_NODE**>(alist_At(corr, i))))) rc = ER_NO_MEMORY;
  for (size_t i = 0; rc == ER_SUCCESS && i < derived.size(); i++)
    if (!addTable(tables, pt_Label(derived[i]))) rc = ER_NO_MEMORY;
  alist_Dealloc(&corr, nullptr);
  alist_Dealloc(&joined, nullptr);
  return rc;
}

errcode_t SPR_GetAssigmentParams(PRSTR_NODE* node, alist_t* contexts) {
  if (!node || !contexts) return ER_GENERAL_ERROR;
  PRSTR_NODE* list = node->symbl.nType == EXPR_ASSIGNMENT_COMMALIST
                         ? node
                         : pt_FindFirst(node, EXPR_ASSIGNMENT_COMMALIST, kNoSubqueries);
  if (!list) return ER_GENERAL_ERROR;
  for (PRSTR_NODE* a : pt_ListItems(list, EXPR_ASSIGNMENT_COMMALIST)) {
    if (!a || a->symbl.nType != EXPR_ASSIGNMENT) return ER_GENERAL_ERROR;
    PRSTR_NODE* value = pt_Child(a, 2);
    if (value && hasParam(value) && !addCtx(contexts, a->left)) return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t SPR_GetWhereParams(PRSTR_NODE* node, alist_t* contexts) {
  if (!node || !contexts) return ER_GENERAL_ERROR;
  PRSTR_NODE* w = nullptr;
  switch (node->symbl.nType) {
    case EXPR_WHERE_CLAUSE:
      w = node;
      break;
    case EXPR_OPT_WHERE_CLAUSE:
      w = pt_IsInner(node) ? node->left : nullptr;
      break;
    case EXPR_TABLE_EXP: {
      PRSTR_NODE* o = scr_TableExpPart(node, EXPR_OPT_WHERE_CLAUSE);
      w = pt_IsInner(o) ? o->left : nullptr;
      break;
    }
    default: {
      // The statement's own WHERE: not inside a union member, a subquery or a
      // derived table.
      static const int fences[] = {EXPR_OPT_UNION_CLAUSE, EXPR_SUB_QUERY, EXPR_TABLE_REFERENCE_LIST, -1};
      w = pt_FindFirst(node, EXPR_WHERE_CLAUSE, fences);
    }
  }
  if (!w) return ER_SUCCESS;
  PRSTR_NODE* cond = w->left;
  if (!cond || cond->symbl.nType != EXPR_SEARCH_CONDITION) return ER_GENERAL_ERROR;
  return conditionParams(cond, contexts);
}

errcode_t SPR_AddToQuery(SP_Request* me, alist_t* tables, alist_t* contexts) {
  if (!me || !tables || !contexts) return ER_GENERAL_ERROR;
  std::string q = "SELECT ";
  std::string prefix;
  if ((me->reqType == EXPR_UPDATE_STATEMENT_POSITIONED || me->reqType == EXPR_UPDATE_STATEMENT_SEARCHED) &&
      tables->cUsed)
    prefix = std::string(static_cast<SpTableDesc*>(alist_At(tables, 0))->pszFullName) + ".";
  int counted = 0;
  for (unsigned i = 0; i < contexts->cUsed; i++) {
    PRSTR_NODE* c = *static_cast<PRSTR_NODE**>(alist_At(contexts, i));
    if (i) q += ", ";
    if (!c) {
      q += me->param_any_null ? me->param_any_null : "NULL";
      counted++;
      continue;
    }
    if (c->symbl.nType == EXPR_SUB_QUERY) return ER_GENERAL_ERROR;  // never written: see header
    std::string pre;
    if (!prefix.empty() && contains(c, EXPR_COLUMN_IDENTIFIER) && !contains(c, EXPR_TABLE_IDENTIFIER))
      pre = prefix;
    PRSTR_NODE* agg = contexts->cUsed >= 2 ? containsNode(c, EXPR_SET_FUNCTION_REF) : nullptr;
    if (agg) {
      const char* word = pt_IsInner(agg) ? pt_Label(agg->left) : "COUNT";
      if (!stricmp(word, "SUM") || !stricmp(word, "AVG") || !stricmp(word, "MAX") || !stricmp(word, "MIN")) {
        q += "(" + pre + pt_Label(pt_Child(agg, 2)) + ")";
      } else if (!stricmp(word, "COUNT")) {
        q += "1";
      } else {
        q += pre + pt_Label(c);
      }
    } else {
      q += pre + pt_Label(c);
    }
    counted++;
  }
  q += " FROM ";
  for (unsigned i = 0; i < tables->cUsed; i++) {
    if (i) q += ", ";
    q += static_cast<SpTableDesc*>(alist_At(tables, i))->pszFullName;
  }
  q += " WHERE 1=0 ";
  return appendQuery(me, q, counted);
}

errcode_t SPR_AnalyseSelectExp(SP_Request* me, PRSTR_NODE* start) {
  bool giveUp = false;
  errcode_t rc = analyseSelect(me, start, &giveUp);
  if (giveUp) dropQueries(me);
  return rc;
}

errcode_t SPR_AnalyseSQL(SP_Request* me, const char* request) {
  if (!me) return ER_GENERAL_ERROR;
  if (!request) request = "";
  while (*request && isspace(static_cast<unsigned char>(*request))) request++;
  SPR_Destroy(me);
  me->original = dupStr(request);
  me->reqType = EXPR_OTHER;
  if (!me->original) return ER_SUCCESS;
  if (scsql_ParseText(me->original, &me->pParsTree, &me->translated, &me->szParsErrMsg) != 0)
    return ER_SYNTAXIS;
  PRSTR_NODE* root = me->pParsTree;
  me->reqType = static_cast<expr_t>(root->symbl.nType);
  if (!pt_Expand(root)) return ER_SUCCESS;
  bool giveUp = false;
  errcode_t rc = ER_SUCCESS;
  try {
    // A parameter inside a subquery has no context the probe queries could
    // give (its predicate is not the statement's): describing the others
    // would pair the queries' columns with the wrong parameters.
    alist_t* subs = alist_Alloc(sizeof(PRSTR_NODE*));
    if (!subs || !pt_FindAll(root, EXPR_SUB_QUERY, kNoSubqueries, subs)) giveUp = true;
    for (unsigned i = 0; !giveUp && i < subs->cUsed; i++)
      if (hasParam(*static_cast<PRSTR_NODE**>(alist_At(subs, i)))) giveUp = true;
    alist_Dealloc(&subs, nullptr);
    if (!giveUp) switch (root->symbl.nType) {
        case EXPR_SELECT_STATEMENT:
          rc = analyseSelect(me, root, &giveUp);
          break;
        case EXPR_DELETE_STATEMENT_SEARCHED: {
          Lists l;
          if (!l.ok() || !addTable(l.tables, pt_Label(pt_Child(root, 1)))) break;
          rc = SPR_GetWhereParams(pt_Child(root, 2), l.contexts);
          if (rc == ER_SUCCESS) rc = flush(me, l, &giveUp);
          break;
        }
        case EXPR_UPDATE_STATEMENT_POSITIONED: {
          Lists l;
          if (!l.ok() || !addTable(l.tables, pt_Label(pt_Child(root, 1)))) break;
          PRSTR_NODE* assign = pt_Child(root, 2);
          if (assign && assign->symbl.nType == EXPR_ASSIGNMENT_COMMALIST)
            rc = SPR_GetAssigmentParams(assign, l.contexts);
          if (rc == ER_SUCCESS) rc = flush(me, l, &giveUp);
          break;
        }
        case EXPR_UPDATE_STATEMENT_SEARCHED: {
          Lists l;
          if (!l.ok() || !addTable(l.tables, pt_Label(pt_Child(root, 1)))) break;
          PRSTR_NODE *assign = nullptr, *where = nullptr;
          for (PRSTR_NODE* c = root->left; c; c = c->right) {
            if (c->symbl.nType == EXPR_TABLE_REFERENCE_LIST && rc == ER_SUCCESS)
              rc = SPR_FromTablesGet(c, l.tables);
            if (c->symbl.nType == EXPR_ASSIGNMENT_COMMALIST) assign = c;
            if (c->symbl.nType == EXPR_OPT_WHERE_CLAUSE) where = c;
          }
          if (rc == ER_SUCCESS) rc = SPR_GetAssigmentParams(assign, l.contexts);
          if (rc == ER_SUCCESS && where) rc = SPR_GetWhereParams(where, l.contexts);
          if (rc == ER_SUCCESS) rc = flush(me, l, &giveUp);
          break;
        }
        case EXPR_INSERT_STATEMENT:
          rc = analyseInsert(me, root, &giveUp);
          break;
        default:
          break;
      }
  } catch (const std::bad_alloc&) {
    rc = ER_NO_MEMORY;
  }
  (void)rc;  // other failures end the analysis with the queries built so far
  if (giveUp) dropQueries(me);
  return ER_SUCCESS;
}
