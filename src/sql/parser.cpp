#include "sql/parser.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "sql/parser_ctx.h"
#include "sql/tree_walk.h"
#include "scsql.tab.hpp"

std::mutex scrs_mtx;
std::mutex scrs_spl;

typedef void *yyscan_t;
int scsql_lex_init_extra(ScsqlCtx *user_defined, yyscan_t *scanner);
int scsql_lex_destroy(yyscan_t scanner);

namespace {

// The parse running on this thread, if any (nodes made elsewhere are not its).
thread_local ScsqlCtx *tCurrent = nullptr;

char *dup(const std::string &s) {
  char *d = static_cast<char *>(malloc(s.size() + 1));
  if (d) memcpy(d, s.c_str(), s.size() + 1);
  return d;
}

char *dup(const char *s) { return dup(std::string(s)); }

bool plainUnary(const PRSTR_NODE *n, int kind) {
  return n && n->symbl.nType == kind && n->symbl.cArgs == 1 && n->left && n->symbl.szFormat &&
         strcmp(n->symbl.szFormat, "\xff\x01\x01") == 0;
}

}  // namespace

void scsql_NodeMade(PRSTR_NODE *node) {
  if (!tCurrent || !node) return;
  try {
    tCurrent->nodes.push_back(node);
  } catch (const std::bad_alloc &) {
    // Not tracked: on failure it would leak; treat as out of memory.
    tCurrent->noMemory = true;
  }
}

symbol_t *scsql_Intern(ScsqlCtx *ctx, const char *text, size_t len) {
  try {
    if (len + 1 > ctx->chunkLeft) {
      size_t size = len + 1 > 65536 ? len + 1 : 65536;
      ctx->textChunks.emplace_back(new char[size]);
      ctx->chunkNext = ctx->textChunks.back().get();
      ctx->chunkLeft = size;
    }
    char *copy = ctx->chunkNext;
    memcpy(copy, text, len);
    copy[len] = 0;
    ctx->chunkNext += len + 1;
    ctx->chunkLeft -= len + 1;
    ctx->symbols.push_back(symbol_t{});
    ctx->symbols.back().szLabel = copy;
    return &ctx->symbols.back();
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void scsql_Report(ScsqlCtx *ctx, const char *msg) {
  // A scanner report that ends the parse outlives the parser's own message.
  if (ctx->lexFailed && ctx->errMsg) return;
  free(ctx->parsed);
  free(ctx->errMsg);
  ctx->parsed = nullptr;
  ctx->errMsg = nullptr;
  try {
    ctx->parsed = dup(ctx->saved + "^");
  } catch (const std::bad_alloc &) {
    ctx->parsed = nullptr;
  }
  ctx->errMsg = dup(msg);
}

void scsql_DropNode(ScsqlCtx *ctx, PRSTR_NODE *node) {
  if (!node) return;
  for (auto it = ctx->nodes.rbegin(); it != ctx->nodes.rend(); ++it)
    if (*it == node) {
      *it = nullptr;
      break;
    }
  pt_nodeDestroy(node);
  free(node);
}

PRSTR_NODE *scsql_BareSubquery(ScsqlCtx *ctx, PRSTR_NODE *expr) {
  PRSTR_NODE *term = expr ? expr->left : nullptr;
  PRSTR_NODE *factor = term ? term->left : nullptr;
  PRSTR_NODE *primary = factor ? factor->left : nullptr;
  PRSTR_NODE *sub = primary ? primary->left : nullptr;
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

PRSTR_NODE *scsql_HoistOrderBy(PRSTR_NODE *refs, PRSTR_NODE *where, PRSTR_NODE *group,
                               PRSTR_NODE *having, PRSTR_NODE *unionClause, PRSTR_NODE *order) {
  auto empty = [](const PRSTR_NODE *n) { return n && n->symbl.cArgs == 0; };
  if (!refs || !empty(where) || !empty(group) || !empty(having) || !empty(unionClause) ||
      !empty(order) || order->symbl.nType != EXPR_OPT_ORDER_BY_CLAUSE)
    return order;
  // The last reference of the list ("a, b" nodes grow to the left).
  PRSTR_NODE *ref = refs->symbl.cArgs >= 2 ? refs->left->right : refs->left;
  PRSTR_NODE *jt = ref && ref->symbl.nType == EXPR_TABLE_REF ? ref->left : nullptr;
  if (!jt || jt->symbl.nType != EXPR_JOINED_TABLE || jt->symbl.cArgs != 4 || !jt->left ||
      jt->left->symbl.nType != EXPR_SELECT_EXP)
    return order;
  PRSTR_NODE *corr = jt->left->right ? jt->left->right->right : nullptr;
  PRSTR_NODE *own = corr ? corr->right : nullptr;
  if (!own || own->symbl.nType != EXPR_OPT_ORDER_BY_CLAUSE || own->symbl.cArgs == 0) return order;
  corr->right = order;
  order->right = nullptr;
  own->right = nullptr;
  return own;
}

int scsql_ParseText(const char *text, PRSTR_NODE **ppTree, char **ppszParsed, char **ppszErrMsg) {
  *ppTree = nullptr;
  *ppszParsed = nullptr;
  *ppszErrMsg = nullptr;
  if (!text) text = "";
  std::lock_guard<std::mutex> lock(scrs_mtx);
  ScsqlCtx ctx;
  ctx.in = text;
  ctx.end = text + strlen(text);
  yyscan_t scanner = nullptr;
  int rc;
  if (scsql_lex_init_extra(&ctx, &scanner) != 0) {
    ctx.noMemory = true;
    rc = 2;
  } else {
    tCurrent = &ctx;
    try {
      rc = scsql_parse(scanner, &ctx);
    } catch (const std::bad_alloc &) {
      rc = 2;
      ctx.noMemory = true;
    }
    tCurrent = nullptr;
    scsql_lex_destroy(scanner);
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
    // A failed parse keeps nothing: every node it built is freed on its own
    // (links between them may be half made).
    for (PRSTR_NODE *n : ctx.nodes)
      if (n) {
        pt_nodeDestroy(n);
        free(n);
      }
    *ppszParsed = ctx.parsed;
    *ppszErrMsg = ctx.errMsg;
    return rc;
  }
  free(ctx.parsed);
  free(ctx.errMsg);
  *ppTree = ctx.root;
  return 0;
}
