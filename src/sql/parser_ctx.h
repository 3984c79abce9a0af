// State of one parse, shared by the generated scanner and parser (internal).
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sql/parse_tree.h"

struct ScsqlCtx {
  const char *in = nullptr;   // next byte not yet handed to the scanner
  const char *end = nullptr;  // one past the last byte
  std::string saved;          // normalised text read since the last statement opener
  int escapeNestLevel = 0;
  bool atLink = false;        // the next "@" follows a name directly: table link
  bool lexFailed = false;     // the scanner made a report that ends the parse
  bool noMemory = false;
  // Token entries of this parse. Each token gets its own entry with an exact
  // copy of its text (no two spellings are ever merged); entries and texts
  // live in chunks freed with the parse.
  std::deque<symbol_t> symbols;
  std::vector<std::unique_ptr<char[]>> textChunks;
  size_t chunkLeft = 0;
  char *chunkNext = nullptr;
  std::vector<PRSTR_NODE *> nodes;                    // every node built by this parse
  PRSTR_NODE *root = nullptr;                         // the node built last
  char *parsed = nullptr;                             // report: saved text and "^"
  char *errMsg = nullptr;
};

// The entry of a token text; NULL when memory fails.
symbol_t *scsql_Intern(ScsqlCtx *ctx, const char *text, size_t len);
// Records a report (replacing an earlier one, which is freed).
void scsql_Report(ScsqlCtx *ctx, const char *msg);
// Frees a node built by the parse that the tree does not keep.
void scsql_DropNode(ScsqlCtx *ctx, PRSTR_NODE *node);
// The subquery of an expression that is nothing but a subquery (its wrapper
// nodes are dropped), or the expression itself.
PRSTR_NODE *scsql_BareSubquery(ScsqlCtx *ctx, PRSTR_NODE *expr);
// The ORDER BY clause of a table expression "FROM refs where group having
// union order". When all its own clauses are empty and the last table
// reference is a derived table followed by ORDER BY ("FROM (SELECT ...) x
// ORDER BY a"), that clause orders this query: it is unlinked from the derived
// table, whose slot takes the empty `order` leaf, and returned. Otherwise
// `order` itself. The text rebuilds the same either way.
PRSTR_NODE *scsql_HoistOrderBy(PRSTR_NODE *refs, PRSTR_NODE *where, PRSTR_NODE *group,
                               PRSTR_NODE *having, PRSTR_NODE *unionClause, PRSTR_NODE *order);
