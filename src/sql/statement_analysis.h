// Statement analysis for the cursor engine: parses a statement into an
// analysed request (SC_Request), sets its type and flags, finds its tables,
// select items and sort columns, and rewrites it by tagging a clause in the
// parse tree and rebuilding the text.
//
// Clauses are found by the tree's structure: the outer statement's own WHERE,
// GROUP BY, HAVING and UNION are the children of its table expression, its
// ORDER BY is the one of the last SELECT of a union chain, and no search
// enters a subquery or a derived table (the table list includes the tables of
// derived tables, not those of subqueries). An ORDER BY right after a derived
// table that ends the FROM list ("FROM (SELECT ...) x ORDER BY a") is the
// statement's own (the parser puts it there). The aggregate flag looks at the
// statement's own select list and HAVING clause; the outer-join flag at the
// whole statement.
//
// A table's text is split into qualifier, owner and name at the separators
// between its names (".", ":", "@"), never inside a quoted name ([my.t]);
// a@b:c gives qualifier "a@b" and name "c", o.t@lnk owner "o" and name "t".
//
// Tagging puts the marker bytes 01 01 01 where new text goes; SCR_TagSplice
// replaces the marker of the rebuilt text by the new text (a plain splice: the
// statement's own text is never expanded as a template). A statement whose
// own text already holds the marker bytes cannot be tagged.
//
// `translated`: after a failed analysis it holds the parser's report (the text
// read so far and "^"); after a successful one it is NULL, and the cursor
// engine keeps its rewritten statement text there.
#pragma once

#include "sql/alist.h"
#include "sql/parse_tree.h"
#include "model/errcode.h"
#include "model/types.h"

// Flag bits of SC_Request.flags.
enum {
  SCR_F_WHERE = 0x2,
  SCR_F_ORDER_BY = 0x4,
  SCR_F_GROUP_BY = 0x8,
  SCR_F_UNION = 0x10,
  SCR_F_JOIN = 0x20,
  SCR_F_NUMERIC_ORDER_BY = 0x40,
  SCR_F_AGGREGATE = 0x80,
  SCR_F_OUTER_JOIN = 0x100,
};

#define SCR_TAG_MARKER "\x01\x01\x01"

struct _SC_Request {
  char* original;         // the statement, leading white space removed
  char* translated;       // parse report, or the engine's rewritten text (see above)
  char* szParsErrMsg;     // "syntax error", "memory exhausted", "Unterminated string literal."
  PRSTR_NODE* pParsTree;  // NULL after a failed parse
  expr_t reqType;         // SCR_REQ_EMPTY, 0 failed, else the root's kind
  uns16 flags;
};
typedef struct _SC_Request SC_Request;

// reqType of a request that holds no statement (never analysed, or destroyed).
constexpr expr_t SCR_REQ_EMPTY = static_cast<expr_t>(-1);

// One referenced table (element size 32); strings heap, never NULL.
struct _TableDesc {
  char* pszQualifier;
  char* pszOwner;
  char* pszName;
  char* pszAlias;
};
typedef struct _TableDesc TableDesc;
void TableDescDestroy(void* pTableDesc);

typedef enum select_item_t : int {
  SIT_NOT_SET = 0,
  SIT_ALL_COLS = 1,
  SIT_ALL_TBL_COLS = 2,
  SIT_EXPR = 3,
  SIT_COL_NAME = 4,
} select_item_t;

typedef enum sort_dirctn_t : int { SORT_ASC = 0, SORT_DESC = 1 } sort_dirctn_t;

enum { SCR_NAME_MAX = 508 };

// One select item. Names longer than SCR_NAME_MAX are refused (a cut name
// would name another column). pszText holds the full text of an expression or
// column item as written, its alias included ("a + 1 AS x", "t.a x"); NULL for
// the wildcards. It is heap, owned by the element: free lists with
// SCColDescDestroy; a copy of an element must take or duplicate it. An
// expression's col_name holds at most the first 508 bytes of that text. A
// column item with an alias is to be written again with its alias (its
// pszText), or the result column loses its name.
struct _SCColDesc {
  char col_name[SCR_NAME_MAX + 1];
  char tbl_name[SCR_NAME_MAX + 1];
  char tbl_alias[SCR_NAME_MAX + 1];
  char owner_name[SCR_NAME_MAX + 1];
  char qualifier[SCR_NAME_MAX + 1];
  sgn16 SQLType;
  precision_t precision;
  scale_t scale;
  uns8 iOrdrBy;
  select_item_t selectItemType;
  char* pszText;
};
typedef struct _SCColDesc SCColDesc;
void SCColDescDestroy(void* pColDesc);

struct _SCOrdrColDesc {
  char orig_name[2036];
  char col_name[SCR_NAME_MAX + 1];
  char tbl_name[SCR_NAME_MAX + 1];
  char tbl_alias[SCR_NAME_MAX + 1];
  char owner_name[SCR_NAME_MAX + 1];
  char qualifier[SCR_NAME_MAX + 1];
  sort_dirctn_t sort_direction;
  uns8 nColIndx;  // 1-based select-list position, 0 for a named column
  int bIsKey;
  sgn16 SQLType;
  precision_t precision;
  scale_t scale;
};
typedef struct _SCOrdrColDesc SCOrdrColDesc;

void SCR_Init(SC_Request* me);
void SCR_Destroy(SC_Request* me);
// bKeepQual: a table's catalog qualifier (q:t, q.o.t) is kept in its TableDesc,
// or dropped.
enum { SCR_DROP_QUALIFIER = 0, SCR_KEEP_QUALIFIER = 1 };

// 0, or 68 when the statement does not parse (15/16 for a missing node or memory).
errcode_t SCR_AnalyseSQL(SC_Request* me, const char* request, int bRebuildOnly, int bKeepQual);

errcode_t SCR_TablesGet(SC_Request* me, alist_t* pRefdTables, int bKeepQual);
errcode_t SCR_SelectColsGet(SC_Request* me, alist_t* pSelectCols);
// Sort positions of 0 or above 255 answer 68, like positions beyond the select list.
errcode_t SCR_OrderingColsGet(SC_Request* me, alist_t* pOrdrCols);
errcode_t SCR_RelabelNumericOrdrCols(SC_Request* me, alist_t* pOrdrCols);
errcode_t SCR_InvertSortOrder(SC_Request* me);

errcode_t SCR_TagSelectList(SC_Request* me);
errcode_t SCR_TagWhereClause(SC_Request* me);
errcode_t SCR_TagOrderByClause(SC_Request* me);
// The rebuilt text pszTagged with its marker replaced by pszText, in *ppszOut
// (heap). 15 when the text holds no marker, 16 when memory fails.
errcode_t SCR_TagSplice(const char* pszTagged, const char* pszText, char** ppszOut);

errcode_t SCR_FlagOrderByClause(SC_Request* me, PRSTR_NODE** ppOrderBy);
errcode_t SCR_FlagGroupByClause(SC_Request* me);
errcode_t SCR_FlagUnionClause(SC_Request* me);
errcode_t SCR_FlagJoin(SC_Request* me, int bKeepQual);
errcode_t SCR_FlagScalarAggregate(SC_Request* me);
errcode_t SCR_FlagOuterJoin(SC_Request* me);

errcode_t scr_GetTblRefDetails(alist_t* pNodes, unsigned int index, alist_t* pRefdTables, int bKeepQual);
errcode_t scr_ColNameDecompose(PRSTR_NODE* pColName, SCColDesc* pCol);

// Structural paths shared with the parameter analysis (NULL when missing).
PRSTR_NODE* scr_OuterSelectExp(PRSTR_NODE* root);
PRSTR_NODE* scr_TableExp(PRSTR_NODE* selectExp);
// Child of a table expression by kind: EXPR_TABLE_REFERENCE_LIST,
// EXPR_OPT_WHERE_CLAUSE, EXPR_OPT_GROUP_BY_CLAUSE, EXPR_OPT_HAVING_CLAUSE,
// EXPR_OPT_UNION_CLAUSE or EXPR_OPT_ORDER_BY_CLAUSE.
PRSTR_NODE* scr_TableExpPart(PRSTR_NODE* tableExp, int kind);
// The SELECT expression of a union clause's member, or NULL.
PRSTR_NODE* scr_UnionMember(PRSTR_NODE* optUnion);
