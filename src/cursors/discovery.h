// Table and column discovery of the cursor engine: the owner and exact name of
// each table a statement references and the columns of those tables, asked of
// the data source's catalog on the cursor's first auxiliary cursor; identifier
// case conversion, matching and quoting; column qualification and the bind
// descriptions of the engine's own parameterised statements.
//
// Catalog calls take names as search patterns: a name holding '_' or '%' can
// select other tables too, so the rows are filtered to the exact name.
// Identifiers the engine quotes double an embedded quote character.
#pragma once

#include <cstddef>

#include "backend/sccl.h"
#include "cursors/catalog_rows.h"

// Rewrites the identifier (a buffer of SCS_IDENT_MAX + 1 bytes) by the data
// source's case rules, quoted when that keeps its meaning and canQuote is set.
void DBIdentCaseConvert(char* ident, char idQuoteChar, int idQIdentCase, int idIdentCase, int unicode,
                        int canQuote);
// 1 when the two spellings name the same object.
int DBIdentMatch(const char* ident1, const char* ident2, char idQuoteChar, int idQIdentCase, int idIdentCase,
                 int unicode);
// idQuoteChar + ident with each embedded quote doubled + idQuoteChar, heap;
// the ident unchanged (heap) without a quote character; null when memory fails.
char* scs_p_QuoteIdent(const char* ident, char idQuoteChar);
// The inverse: outer quotes removed and doubled quotes made single, heap.
char* scs_p_UnquoteIdent(const char* ident, char idQuoteChar);

errcode_t scs_p_GetTblAttribs(PSCCL me, TableDesc* pTables, unsigned count);
errcode_t scs_p_GetTblColDescs(PSCCL me, TableDesc* pTables, unsigned count, int bSkipLongCols,
                               alist_t* pTarget);
errcode_t scs_p_ColDescsGet(PSCCL me);
errcode_t scs_p_ColDescGet(PSCCL me, uns16 iCol, Coldesc** ppDesc);
SCColDesc* ColDesc_FindByName(SCColDesc* pDescs, unsigned count, const SCColDesc* pWanted, unsigned* pIndex);
char* scs_p_QualifyCol(uns8 nTables, const SCColDesc* pDesc);
// Copies text (null as empty) into a name field of SCS_IDENT_MAX + 1 bytes,
// cut to fit.
void scs_p_NameCopy(char* field, const char* text);
// The table's name, alias, owner and qualifier into the column's fields.
void scs_p_TableFieldsCopy(SCColDesc* pDesc, const TableDesc& table);
void BindDescFill(const SCColDesc* pDesc, Bindesc* pBind);
// Markers of the client's own in a statement of the engine: its bind
// descriptions when it sent some, else the columns of its kept parameters.
unsigned scs_p_ClientParamCount(const TSCCL* me);
errcode_t scs_p_BindDescsAdd(PSCCL me, const SCColDesc* pDescs, unsigned count, int bAppendClntDescs);
errcode_t scs_p_BindDescsAdd(PSCCL me, const SCColDesc* pDescs, unsigned count);
