// The parser's entry (parser.h): one parse at a time under scrs_mtx, with the
// scanner and the saved-text buffer made once and reused.
#include "sql/parser.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "sql/parser_ctx.h"
#include "sql/tree_walk.h"
#include "scsql.tab.hpp"

std::mutex scrs_mtx;
std::mutex scrs_spl;

typedef void* yyscan_t;
int scsql_lex_init_extra(ScsqlCtx* user_defined, yyscan_t* scanner);
void scsql_begin(yyscan_t scanner, ScsqlCtx* ctx);

namespace {

// The scanner and its buffers, and the saved text's buffer, are made once and
// kept for every later parse (parses run one at a time, under scrs_mtx).
yyscan_t gScanner = nullptr;
std::string gSaved;
constexpr size_t kSavedKeep = 65536;

char* dup(const std::string& s) {
  char* d = static_cast<char*>(malloc(s.size() + 1));
  if (d) memcpy(d, s.c_str(), s.size() + 1);
  return d;
}

char* dup(const char* s) { return dup(std::string(s)); }

bool plainUnary(const PRSTR_NODE* n, int kind) {
  return n && n->symbl.nType == kind && n->symbl.cArgs == 1 && n->left && n->symbl.szFormat &&
         strcmp(n->symbl.szFormat, "\xff\x01\x01") == 0;
}

}  // namespace

symbol_t* scsql_Intern(ScsqlCtx* ctx, const char* text, size_t len) {
  // The entry and its text in one piece; leaves of the token borrow the text.
  if (len > SIZE_MAX - sizeof(symbol_t) - 1) return nullptr;
  char* p = static_cast<char*>(pta_Alloc(ctx->arena, sizeof(symbol_t) + len + 1));
  if (!p) return nullptr;
  symbol_t* sym = reinterpret_cast<symbol_t*>(p);
  memset(sym, 0, sizeof *sym);
  char* copy = p + sizeof(symbol_t);
  memcpy(copy, text, len);
  copy[len] = 0;
  sym->szLabel = copy;
  return sym;
}

void scsql_Report(ScsqlCtx* ctx, const char* msg) {
  // A scanner report that ends the parse outlives the parser's own message.
  if (ctx->lexFailed && ctx->errMsg) return;
  free(ctx->parsed);
  free(ctx->errMsg);
  ctx->parsed = nullptr;
  ctx->errMsg = nullptr;
  try {
    ctx->parsed = dup(ctx->saved + "^");
  } catch (const std::bad_alloc&) {
    ctx->parsed = nullptr;
  }
  ctx->errMsg = dup(msg);
}

void scsql_DropNode(ScsqlCtx*, PRSTR_NODE* node) {
  if (node) pt_nodeDestroy(node);
}

PRSTR_NODE* scsql_BareSubquery(ScsqlCtx* ctx, PRSTR_NODE* expr) {
  PRSTR_NODE* term = expr ? expr->left : nullptr;
  PRSTR_NODE* factor = term ? term->left : nullptr;
  PRSTR_NODE* primary = factor ? factor->left : nullptr;
  PRSTR_NODE* sub = primary ? primary->left : nullptr;
  if (!plainUnary(expr, EXPR_EXPRESSION) || !plainUnary(term, EXPR_TERM) ||
      !plainUnary(factor, EXPR_FACTOR) || !plainUnary(primary, EXPR_PRIMARY) || !sub ||
      sub->symbl.nType != EXPR_SUB_QUERY)
    return expr;
  scsql_DropNode(ctx, expr);
  scsql_DropNode(ctx, term);
  scsql_DropNode(ctx, factor);
  scsql_DropNode(ctx, primary);
  sub->right = nullptr;
  return sub;
}

PRSTR_NODE* scsql_HoistOrderBy(PRSTR_NODE* refs, PRSTR_NODE* where, PRSTR_NODE* group, PRSTR_NODE* having,
                               PRSTR_NODE* unionClause, PRSTR_NODE* order) {
  auto empty = [](const PRSTR_NODE* n) { return n && n->symbl.cArgs == 0; };
  if (!refs || !empty(where) || !empty(group) || !empty(having) || !empty(unionClause) || !empty(order) ||
      order->symbl.nType != EXPR_OPT_ORDER_BY_CLAUSE)
    return order;
  // The last reference of the list ("a, b" nodes grow to the left).
  PRSTR_NODE* ref = refs->symbl.cArgs >= 2 ? refs->left->right : refs->left;
  PRSTR_NODE* jt = ref && ref->symbl.nType == EXPR_TABLE_REF ? ref->left : nullptr;
  if (!jt || jt->symbl.nType != EXPR_JOINED_TABLE || jt->symbl.cArgs != 4 || !jt->left ||
      jt->left->symbl.nType != EXPR_SELECT_EXP)
    return order;
  PRSTR_NODE* corr = jt->left->right ? jt->left->right->right : nullptr;
  PRSTR_NODE* own = corr ? corr->right : nullptr;
  if (!own || own->symbl.nType != EXPR_OPT_ORDER_BY_CLAUSE || own->symbl.cArgs == 0) return order;
  corr->right = order;
  order->right = nullptr;
  own->right = nullptr;
  return own;
}

int scsql_ParseText(const char* text, PRSTR_NODE** ppTree, char** ppszParsed, char** ppszErrMsg) {
  *ppTree = nullptr;
  *ppszParsed = nullptr;
  *ppszErrMsg = nullptr;
  if (!text) text = "";
  std::lock_guard<std::mutex> lock(scrs_mtx);
  ScsqlCtx ctx;
  ctx.in = text;
  ctx.end = text + strlen(text);
  ctx.saved.swap(gSaved);
  ctx.arena = pta_Create();
  int rc;
  if (!gScanner && scsql_lex_init_extra(&ctx, &gScanner) != 0) gScanner = nullptr;
  if (!ctx.arena || !gScanner) {
    ctx.noMemory = true;
    rc = 2;
  } else {
    try {
      scsql_begin(gScanner, &ctx);
      rc = scsql_parse(gScanner, &ctx);
    } catch (const std::bad_alloc&) {
      rc = 2;
      ctx.noMemory = true;
    }
  }
  if (rc == 0 && (ctx.noMemory || ctx.lexFailed || !ctx.root)) rc = ctx.noMemory ? 2 : 1;
  if (rc != 0) {
    if (ctx.noMemory && !ctx.lexFailed) {
      ctx.lexFailed = false;
      free(ctx.errMsg);
      ctx.errMsg = nullptr;
      scsql_Report(&ctx, "memory exhausted");
      rc = 2;
    } else if (!ctx.errMsg) {
      scsql_Report(&ctx, "syntax error");
    }
    // A failed parse keeps nothing: everything it built goes with its arena.
    pta_Destroy(ctx.arena);
    *ppszParsed = ctx.parsed;
    *ppszErrMsg = ctx.errMsg;
  } else {
    free(ctx.parsed);
    free(ctx.errMsg);
    pt_arenaOwn(ctx.root);
    *ppTree = ctx.root;
  }
  ctx.saved.clear();
  if (ctx.saved.capacity() <= kSavedKeep) gSaved.swap(ctx.saved);
  return rc;
}
