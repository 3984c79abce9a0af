// Parse trees of SQL statements. The parser builds a first-child/next-sibling
// tree of PRSTR_NODE records; every inner node carries a format, a template in
// which the bytes FF 01 n stand for the text of child n (see sql_template.h).
// Statements are rewritten by changing leaf labels, node kinds or formats and
// expanding the tree again; the rebuilt text of the root is the new statement.
//
// Labels of inner nodes. Expanding a tree is linear in the length of its text:
// pt_Expand writes the root's text in one pass and keeps, in szLabel, the text
// of every inner node whose text is at most PT_LABEL_KEEP bytes long. The
// label of a larger inner node stays NULL until asked for: read any node's text
// with pt_Label, which builds and keeps it on demand. (Keeping every inner
// node's text would cost time and memory quadratic in the length of a long
// list, since each list node's text holds all the items before it.)
//
// Memory. A tree made by the parser lives in an arena of its own (see
// tree_arena.h): its nodes, token texts, formats and the labels of its first
// expansion are released at once when the tree is freed with pt_treeFree (the
// parsed tree's root owns the arena; free a parsed tree only that way, never
// with tr_close). Labels and formats set later are heap strings, freed with
// their node, so that rewriting a tree again and again does not grow its arena.
// A subtree may be freed on its own (pt_MakeLeaf does), but no node of a
// parsed tree outlives its root. Nodes made by pt_node, pt_unary and pt_leaf
// outside a parse are blocks of their own, as are records that callers make
// themselves (zeroed: nStore 0, strings heap-owned).
#pragma once

#include <cstddef>
#include <vector>

#include "sql/alist.h"
#include "sql/tree_arena.h"

// Node kinds; the same values serve as the statement type of an analysed request.
typedef enum expr_t : int {
  EXPR_OTHER = 0,
  EXPR_AMMSC = 1,
  EXPR_ANY_ALL = 2,
  EXPR_ARGUMENT_LIST = 3,
  EXPR_ASSIGNMENT = 4,
  EXPR_ASSIGNMENT_COMMALIST = 5,
  EXPR_BETWEEN_PREDICATE = 6,
  EXPR_BINARY_LITERAL = 7,
  EXPR_BIT_LITERAL = 8,
  EXPR_COLUMN_ALIAS = 9,
  EXPR_COLUMN_IDENTIFIER = 10,
  EXPR_COLUMN_NAME = 11,
  EXPR_COLUMN_REF_COMMALIST = 12,
  EXPR_COMPARISON = 13,
  EXPR_COMPARISON_PREDICATE = 14,
  EXPR_CORRELATION_NAME = 15,
  EXPR_CURSOR_NAME = 16,
  EXPR_DATE_VALUE = 17,
  EXPR_DELETE_STATEMENT_POSITIONED = 18,
  EXPR_DELETE_STATEMENT_SEARCHED = 19,
  EXPR_DYNAMIC_PARAMETER = 20,
  EXPR_ESCAPE = 21,
  EXPR_EXISTS_PREDICATE = 22,
  EXPR_EXPRESSION = 23,
  EXPR_FACTOR = 24,
  EXPR_FUNCTION_NAME = 25,
  EXPR_IN_PREDICATE = 26,
  EXPR_INNER_JOIN = 27,
  EXPR_INSERT_STATEMENT = 28,
  EXPR_JOINED_TABLE = 29,
  EXPR_JOIN_TYPE = 30,
  EXPR_LIKE_PREDICATE = 31,
  EXPR_LITERAL = 32,
  EXPR_NULL_PREDICATE = 33,
  EXPR_ODBC_DATE_LITERAL = 34,
  EXPR_ODBC_DATE_TIME_EXT = 35,
  EXPR_ODBC_EXT_ESC_INIT = 36,
  EXPR_ODBC_EXT_ESC_TERM = 37,
  EXPR_ODBC_JOIN_EXT = 38,
  EXPR_ODBC_SCALAR_FN_EXT = 39,
  EXPR_ODBC_TIME_LITERAL = 40,
  EXPR_ODBC_TIMESTAMP_LITERAL = 41,
  EXPR_OPT_ALL_DISTINCT = 42,
  EXPR_OPT_AS = 43,
  EXPR_OPT_ASC_DESC = 44,
  EXPR_OPT_COLUMN_COMMALIST = 45,
  EXPR_OPT_CORR_NAME = 46,
  EXPR_OPT_GROUP_BY_CLAUSE = 47,
  EXPR_OPT_HAVING_CLAUSE = 48,
  EXPR_OPT_ODBC_LIKE_ESCAPE = 49,
  EXPR_OPT_ORDER_BY_CLAUSE = 50,
  EXPR_OPT_OUTER = 51,
  EXPR_OPT_UNION_CLAUSE = 52,
  EXPR_OPT_TOP = 53,
  EXPR_OPT_WHERE_CLAUSE = 54,
  EXPR_ORDER_BY_CLAUSE = 55,
  EXPR_OUTER_JOIN_TYPE = 56,
  EXPR_OWNER_NAME = 57,
  EXPR_PATTERN_VALUE = 58,
  EXPR_PREDICATE = 59,
  EXPR_PRIMARY = 60,
  EXPR_PROCCALL = 61,
  EXPR_QUALIFIED_JOIN = 62,
  EXPR_QUALIFIER_NAME = 63,
  EXPR_QUALIFIER_NAME_COMPONENT = 64,
  EXPR_QUALIFIER_SEPARATOR = 65,
  EXPR_QUANTIFIED_PREDICATE = 66,
  EXPR_SCALAR_FN = 67,
  EXPR_SEARCH_CONDITION = 68,
  EXPR_SEARCHED_CASE = 69,
  EXPR_SEARCHED_WHEN_LIST = 70,
  EXPR_SEARCHED_WHEN = 71,
  EXPR_SELECT_EXP = 72,
  EXPR_SELECT_LIST = 73,
  EXPR_SELECT_STATEMENT = 74,
  EXPR_SELECT_SUBLIST = 75,
  EXPR_SET_FUNCTION_REF = 76,
  EXPR_SIMPLE_CASE = 77,
  EXPR_SIMPLE_WHEN_LIST = 78,
  EXPR_SIMPLE_WHEN = 79,
  EXPR_SORT_SPECIFICATION = 80,
  EXPR_SORT_SPEC_COMMALIST = 81,
  EXPR_SQL = 82,
  EXPR_SQL_LIST = 83,
  EXPR_SQLSERVER_OLD_OUTER_JOIN = 84,
  EXPR_SUB_QUERY = 85,
  EXPR_TABLE_EXP = 86,
  EXPR_TABLE_IDENTIFIER = 87,
  EXPR_TABLE_NAME = 88,
  EXPR_TABLE_REF = 89,
  EXPR_TABLE_REFERENCE_LIST = 90,
  EXPR_TERM = 91,
  EXPR_TIME_VALUE = 92,
  EXPR_TIMESTAMP_VALUE = 93,
  EXPR_UNION_CLAUSE = 94,
  EXPR_UNS_INT = 95,
  EXPR_UPDATE_STATEMENT_POSITIONED = 96,
  EXPR_UPDATE_STATEMENT_SEARCHED = 97,
  EXPR_VALUE = 98,
  EXPR_VALUE_COMMALIST = 99,
  EXPR_VALUESORQUERY = 100,
  EXPR_WHERE_CLAUSE = 101,
} expr_t;

// Payload of a node; also the symbol-table entry of an interned token.
struct symbol_t {
  int nType;       // expr_t
  int cArgs;       // number of children; 0 for a leaf
  int nDepth;      // scratch of the expansion
  int nStore;      // PT_STORE_* bits: where the node and its strings live (0: heap)
  char* szLabel;   // leaf: its text; inner node: its rebuilt text or NULL (see above)
  char* szFormat;  // inner node: its template; NULL for a leaf
};

// nStore bits, kept by the parse-tree functions only.
enum {
  PT_STORE_ARENA = 0x1,          // the node lives in an arena, whose address follows it
  PT_STORE_ARENA_OWNER = 0x2,    // the parsed tree's root: freeing it releases the arena
  PT_STORE_LABEL_SHARED = 0x4,   // szLabel is not a heap string of its own: never freed
  PT_STORE_FORMAT_SHARED = 0x8,  // the same for szFormat
  PT_STORE_LABEL_SPENT = 0x10,   // the node has had its arena label; later ones are heap
};

struct _prstr_node {
  _prstr_node* left;   // first child
  _prstr_node* right;  // next sibling
  symbol_t symbl;
};
typedef struct _prstr_node PRSTR_NODE;

// Inner-node texts up to this length are kept by pt_Expand.
enum { PT_LABEL_KEEP = 4096 };

// Node construction: NULL when memory fails. The label and format are copied.
PRSTR_NODE* pt_node(expr_t eExprType, const char* szFormat, int cChildren, ...);
PRSTR_NODE* pt_unary(expr_t eExprType, const char* szFormat, PRSTR_NODE* pChild);
PRSTR_NODE* pt_leaf(expr_t eExprType, const char* szLabel);
// Frees and clears the node's label and format (the record itself is freed by
// pt_treeFree, or by tr_close for a tree made without the parser).
void pt_nodeDestroy(void* node);
// Frees the node, everything below it and its later siblings, releases the
// arena of a parsed tree's root among them, and sets *ppRoot to NULL.
void pt_treeFree(PRSTR_NODE** ppRoot);

// The parser's construction: nodes in an arena. The format (formatLen bytes)
// and a leaf's label are copied into the arena, except that a leaf made with
// borrow set keeps the label pointer itself, which must live in the same
// arena. NULL when memory fails.
PRSTR_NODE* pt_arenaNode(PtArena* arena, expr_t eExprType, const char* szFormat, size_t formatLen,
                         int cChildren, ...);
PRSTR_NODE* pt_arenaLeaf(PtArena* arena, expr_t eExprType, const char* szLabel, size_t labelLen, bool borrow);
// Makes root the owner of its arena (the parser's root, when the parse succeeds).
void pt_arenaOwn(PRSTR_NODE* root);
// The arena a node lives in, or NULL for a node of its own.
PtArena* pt_Arena(PRSTR_NODE* node);

// Rebuilds the text of pt and of every node below it (and of its later
// siblings). 1 when done, 0 for a NULL node or when memory fails.
int pt_Expand(PRSTR_NODE* pt);
// The text of a node: a leaf's label, or the inner node's rebuilt text (built
// and kept on first use). Never NULL for a node; "" when memory fails. The
// pointer stays valid until the node is changed or the tree expanded again.
const char* pt_Label(PRSTR_NODE* node);
// Replace a node's label or format by a copy of text (1), or leave it (0 when
// memory fails). A node's strings may live in the node's own block: change
// them only through these functions, never free them directly.
int pt_SetLabel(PRSTR_NODE* node, const char* text);
int pt_SetFormat(PRSTR_NODE* node, const char* format);
// Turns an inner node into a leaf with the given label (children freed).
int pt_MakeLeaf(PRSTR_NODE* node, const char* label);
// Child i (1-based) of a node, or NULL.
PRSTR_NODE* pt_Child(const PRSTR_NODE* node, int i);
// True for a node with children.
bool pt_IsInner(const PRSTR_NODE* node);
// Items of a left-deep comma list (kind listKind, "a, b" nodes of two children),
// in order.
std::vector<PRSTR_NODE*> pt_ListItems(PRSTR_NODE* list, int listKind);

// Search steps for tr_preorder and friends (tree_walk.h).
int ptn_Expand(void* node, int differentiator, void* yourPtr);
int ptn_FindFirst(void* node, int differentiator, void* yourPtr);
int ptn_FindFirst2Id(void* node, int differentiator, int endId, void* yourPtr);
int ptn_FindAll(void* node, int differentiator, void* yourPtr);  // yourPtr: alist_t* of node pointers
int ptn_FindAll2Id(void* node, int differentiator, int endId, void* yourPtr);

// Structural searches among the descendants of a node (the node itself is
// never a match). The walk does not enter nodes whose kind is in `fences`
// (a list ended by -1, or NULL for none); a match's own subtree is not searched
// by pt_FindFirst. pt_FindAll appends node pointers to list; 0 when memory fails.
PRSTR_NODE* pt_FindFirst(PRSTR_NODE* node, int kind, const int* fences);
int pt_FindAll(PRSTR_NODE* node, int kind, const int* fences, alist_t* list);
