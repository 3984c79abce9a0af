// State of one parse, shared by the generated scanner and parser (internal).
#pragma once

#include <string>

#include "sql/parse_tree.h"

struct ScsqlCtx {
  const char* in = nullptr;   // next byte not yet handed to the scanner
  const char* end = nullptr;  // one past the last byte
  std::string saved;          // normalised text read since the last statement opener
  int escapeNestLevel = 0;
  bool atLink = false;     // the next "@" follows a name directly: table link
  bool lexFailed = false;  // the scanner made a report that ends the parse
  bool noMemory = false;
  // Everything the parse makes (token entries and texts, nodes) lives here;
  // a successful parse hands it over with its tree, a failed one releases it.
  PtArena* arena = nullptr;
  PRSTR_NODE* root = nullptr;  // the node built last
  char* parsed = nullptr;      // report: saved text and "^"
  char* errMsg = nullptr;
};

// The entry of a token text; NULL when memory fails.
symbol_t* scsql_Intern(ScsqlCtx* ctx, const char* text, size_t len);
// Records a report (replacing an earlier one, which is freed).
void scsql_Report(ScsqlCtx* ctx, const char* msg);
// A node built by the parse that the tree does not keep (its memory stays in
// the arena until the tree is freed).
void scsql_DropNode(ScsqlCtx* ctx, PRSTR_NODE* node);
// The subquery of an expression that is nothing but a subquery (its wrapper
// nodes are dropped), or the expression itself.
PRSTR_NODE* scsql_BareSubquery(ScsqlCtx* ctx, PRSTR_NODE* expr);
// The ORDER BY clause of a table expression "FROM refs where group having
// union order". When all its own clauses are empty and the last table
// reference is a derived table followed by ORDER BY ("FROM (SELECT ...) x
// ORDER BY a"), that clause orders this query: it is unlinked from the derived
// table, whose slot takes the empty `order` leaf, and returned. Otherwise
// `order` itself. The text rebuilds the same either way.
PRSTR_NODE* scsql_HoistOrderBy(PRSTR_NODE* refs, PRSTR_NODE* where, PRSTR_NODE* group, PRSTR_NODE* having,
                               PRSTR_NODE* unionClause, PRSTR_NODE* order);
