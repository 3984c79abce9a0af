// The columns of an analysed statement: the select-list columns completed
// from the table columns, the ORDER BY columns named and resolved to their
// tables, the keys marked by their ORDER BY position, the compound key of
// dynamic cursors, and the column attributes answered from the analysis.
// The lists belong to the cursor state (scs_p_UnPrepare frees them).
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

// Refusals of a dynamic (or mixed) SELECT: GROUP BY, UNION. Then marks the
// ORDER BY columns that are keys (iOrdrBy, bIsKey), takes the types of the
// others from the table columns and sets CompoundKeySize. ER_GENERAL_ERROR
// when a non-key ORDER BY column is not a column of the tables.
errcode_t scs_p_SelectRqstValidate_Dyn(PSCCL me);
// Fills pLS_OrdrCols (replacing it) from Rqst's ORDER BY: names numeric
// positions from the select list (rewriting pszSQL with the names), converts
// name case, resolves table aliases. The list belongs to the state.
errcode_t scs_p_OrdrColsGet(PSCCL me);
// Names the numeric ORDER BY positions in pLS_OrdrCols from the select list;
// ER_SYNTAXIS past the list's end, ER_ORDR_ON_EXPRESSION on an expression.
errcode_t scs_p_NumericOrdrCols_GetNames(PSCCL me);
// Converts the ORDER BY columns' names to the data source's case and resolves
// table aliases to their tables; always 0.
errcode_t scs_p_OrdrCols_NamesConvert(PSCCL me);
// Sets each key column's iOrdrBy to the 1-based ORDER BY position that names
// it (0 none); always 0.
errcode_t scs_p_TagKeyOrdrCols(PSCCL me);
// pTarget receives SCColDesc elements; the raw select items go to *ppRawItems
// when given (the caller frees them with SCColDescDestroy), else are freed.
errcode_t scs_p_SelectColsGet(PSCCL me, alist_t* pTarget, alist_t** ppRawItems);
// Completes the select-list columns from the table columns: case converted,
// and table, owner and qualifier of the table column of the same name; 0.
errcode_t scs_p_SelectCol_ColDescComplete(PSCCL me);
// Column attributes the engine answers from its analysis (SCCL_ANALYSED):
// into pDesc (when given) the names asked by the fInfo bits 0x1 column,
// 0x2 table, 0x4 owner, 0x8 qualifier (heap strings replacing the old, the
// record's owner frees them); in pAttribs the key and expression flags of
// column iCol (every cColsPerAttrib-th entry). Always 0.
errcode_t scs_p_ColGetInfo(PSCCL me, uns16 iCol, Coldesc* pDesc, uns16 fInfo, uns16 cColsPerAttrib,
                           uns16 cColAttribs, ColAttrib* pAttribs);
