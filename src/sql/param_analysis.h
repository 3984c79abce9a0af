// Parameter analysis: describes each "?" of a statement by the column or
// expression it is compared with or assigned to. The analysis builds probe
// queries "SELECT <contexts> FROM <tables> WHERE 1=0 " whose result columns,
// described by the driver, stand for the parameters in order. Used by the
// backend when the driver cannot describe parameters itself.
//
// The analysis gives up (no query, count 0) rather than build a query that
// would describe parameters wrongly: when a parameter's context is a subquery
// or a parameter stands inside a subquery,
// when a SELECT whose parameters have contexts has no table list, or when an
// INSERT's values or select items cannot be paired with its columns.
//
// The FROM list of a probe query names the statement's tables as written; a
// derived table is written whole ("( SELECT ... ) x", never the tables inside
// it, whose columns may differ under the same names), and one that holds a
// parameter ends the analysis.
#pragma once

#include "sql/alist.h"
#include "sql/parse_tree.h"
#include "model/errcode.h"
#include "model/types.h"

struct _SP_Request {
  // The same six fields as SC_Request.
  char* original;
  char* translated;
  char* szParsErrMsg;
  PRSTR_NODE* pParsTree;
  expr_t reqType;
  uns16 flags;
  char** pszQueries;  // probe queries, in the order built
  int nQueries;
  int nCountParams;            // parameters the queries describe
  char* paramsMask;            // INSERT ... VALUES without column list: '?' or 'X' per value
  const char* param_any_null;  // borrowed: the expression for a parameter without context
};
typedef struct _SP_Request SP_Request;

struct _SpTableDesc {
  char* pszFullName;  // the table as written (correlation name included)
};
typedef struct _SpTableDesc SpTableDesc;
void SpTableDescDestroy(void* p);

void SPR_Init(SP_Request* pRequest, const char* param_any_null);
void SPR_Destroy(SP_Request* pRequest);
// 68 when the statement does not parse, else 0 (with or without queries).
errcode_t SPR_AnalyseSQL(SP_Request* me, const char* request);

errcode_t SPR_AnalyseSelectExp(SP_Request* me, PRSTR_NODE* start);
// contexts: alist_t of PRSTR_NODE* (NULL entries for parameters without context).
errcode_t SPR_AddToQuery(SP_Request* me, alist_t* tables, alist_t* contexts);
errcode_t SPR_GetWhereParams(PRSTR_NODE* node, alist_t* contexts);
errcode_t SPR_GetAssigmentParams(PRSTR_NODE* node, alist_t* contexts);
errcode_t SPR_FromTablesGet(PRSTR_NODE* node, alist_t* tables);
void spr_FindAllNodes(int kind, PRSTR_NODE* node, alist_t* list);
