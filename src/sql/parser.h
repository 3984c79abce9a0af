// Entry point of the SQL scanner and parser. The scanner (scsql.l) and the
// LALR(1) parser (scsql.y) are generated at build time; every parse runs under
// scrs_mtx, one at a time, with the one scanner kept from parse to parse.
// The tree lives in an arena of its own (parse_tree.h): free it with
// pt_treeFree.
//
// Parse results: 0 accepted (the tree is returned), 1 syntax error, 2 memory
// exhausted (parser stack above 10000 states, or a node that could not be
// made). After a failure no tree is returned (every node built is freed) and
// the report is the text read so far followed by "^", with one of the messages
// "syntax error", "memory exhausted" or "Unterminated string literal.".
//
// Language notes (where the rebuilt text must mean exactly what was written):
// - No character is dropped: "!=" is a comparison, [name] keeps its brackets,
//   bytes 0x80..0xFF are name characters, and any other character that starts
//   no token fails the parse there. Quoted names ("..", `..`, [..]) may hold
//   any character but their closing quote and newline (doubled to escape).
// - Strings may span lines; comments (-- to the end of the line, /* */) read
//   as one blank, also before the first word of a statement.
// - Table links: a name (plain or quoted) directly followed by "@" and a name character is a
//   table link (t@lnk, o.t@lnk, a@b:c.d), so that the rebuilt text, which has
//   no blanks around "@", reads the same when parsed again. "@v" after a blank
//   or an operator is a variable name, and x@12 is one name.
// - Token texts are compared exactly: two spellings are never merged.
// - A node that cannot be allocated ends the parse as "memory exhausted".
#pragma once

#include <mutex>

#include "sql/parse_tree.h"

// Owned here and statically initialised, so that they work before (and
// without) the cursor engine: scrs_mtx around every parse, scrs_spl around
// every tree expansion.
extern std::mutex scrs_mtx;
extern std::mutex scrs_spl;

// Parses text (NUL-terminated) into *ppTree. On failure *ppTree is NULL and
// *ppszParsed / *ppszErrMsg receive heap copies (free) of the report and the
// message; on success both are NULL. Takes scrs_mtx.
int scsql_ParseText(const char* text, PRSTR_NODE** ppTree, char** ppszParsed, char** ppszErrMsg);
