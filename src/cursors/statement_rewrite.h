// Statement rewriting: the analyser run again over a request's text, the
// splice of new text at the request's tag, and the rewrites built on the keys
// (the ORDER BY extended by the keys, the key SELECT, the WHERE that matches
// groups of key values), the select list of forward-only cursors that ask for
// keys and the old values' SELECT of every table column. The seek clauses of
// slices are in slices.h, the rowset SELECT in rowset_reads.h.
#pragma once

#include "backend/sccl.h"
#include "cursors/keyset_store.h"

// SCR_AnalyseSQL; a failure is logged with the text, the parser's report and
// the request's translated text. The engine names tables by owner and name:
// it drops catalog qualifiers.
errcode_t scs_p_AnalyseLogged(SC_Request* pRqst, const char* sql, int bRebuildOnly);
// The request's rebuilt text with its tag replaced by text becomes its
// translated text (left as it was on failure; no tag: ER_GENERAL_ERROR).
errcode_t scs_p_TagReplace(SC_Request* pRqst, const char* text);
// Analyses a copy of the request's translated text into the request itself;
// a failure is logged with the text and the parser's report.
errcode_t ks_RqstReanalyse(PSCCL psccl, SC_Request* pRqst);

// Appends the key columns not yet in the ORDER BY (at most maxOrderBy columns
// in all) to pRqst's ORDER BY, or adds one; pRqst's translated text changes.
errcode_t KS_OrderByClauseExtend(SC_Request* pRqst, PSCCL psccl);
// Replaces pRqst's select list by the key columns (the key SELECT); pRqst's
// translated text changes. ER_GENERAL_ERROR when the keyset has no key columns.
errcode_t KS_KeySelectStmtBld_KSD(SC_Request* pRqst, PKSET pKeySet);
// Adds to pRqst's WHERE clause (or adds one) RSSize groups of the key columns
// each " = ?", joined by OR (one key column: one IN list of RSSize markers):
// the rowset SELECT and the key re-read. RSSize 0 or no key columns give
// ER_GENERAL_ERROR.
errcode_t KS_WhereClauseExtend_KSD(SC_Request* pRqst, PKSET pKeySet, uns32 RSSize);

// Rewrites Rqst's select list of a forward-only SELECT: wildcards expanded to
// pLS_SelectCols and, with bSelectAppendKeys, the missing key columns appended
// (also to pLS_SelectCols). *pbModified (optional) is 1 when Rqst's translated
// text changed. pRawItems stays the caller's.
errcode_t scs_p_SelListAddKeysnXpandWC(PSCCL me, alist_t* pRawItems, int* pbModified);
// Builds into pRqst (emptied first; the caller owns it, usually RqstAux2)
// sql with its select list replaced by every column of pLS_TblCols: the
// SELECT of the old values optimistic concurrency compares.
errcode_t scs_p_AllColSelectStmtBld(PSCCL me, const char* sql, SC_Request* pRqst);
