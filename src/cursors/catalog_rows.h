// Reading catalog rows: the whole result of a catalog call on the first
// auxiliary cursor, and the cells of its rows as names and integers whatever
// C type the driver answered in. Used by table and column discovery and by the
// key-column search.
#pragma once

#include <cstddef>
#include <string>

#include "backend/sccl.h"
#include "drv_ops.h"

// The longest identifier the engine keeps (a name field holds one more byte).
constexpr size_t SCS_IDENT_MAX = 508;

// Reads the whole result of me->hSCCurs into *all (emptied first; the caller
// frees it with Dataset_Done, also on failure), fetching until a fetch brings
// no row: drivers may hand out fewer rows per fetch than asked for. A fetch's
// error is returned as it came.
errcode_t scs_p_FetchCatalogRows(PSCCL me, Dataset* all);
// The answer of a catalog call just made on me->hSCCurs, whose own result is
// callRc: its whole result into *rows (scs_p_FetchCatalogRows; the caller
// frees it with Dataset_Done). A failed call is logged with callFailed, a
// failed read with fetchFailed (rows emptied); either is returned.
errcode_t scs_p_CatalogRows(PSCCL me, errcode_t callRc, const char* callFailed, const char* fetchFailed,
                            Dataset* rows);
// ddColumns with args on me->hSCCurs, its argument strings freed, and its
// answer read by scs_p_CatalogRows, failures logged as "<who>: DRV_DDColumns
// failed." and "<who>: Couldn't fetch column descriptors.". A missing table
// owner, name or column name (a copy that failed) answers ER_NO_MEMORY
// without a call.
errcode_t scs_p_CatalogColumns(PSCCL me, DDColumns* args, const char* who, Dataset* rows);
// Where a name cell of type cType and width holds its text: *ppText (narrow)
// or *ppWText (wide), both pointing into the cell, and *pLen its length in
// characters, at most SCS_IDENT_MAX. ER_GENERAL_ERROR for a cell type that
// holds no text.
errcode_t scs_p_GetTblAttribs_GetNameCellAttr(const char* cell, ctype_t cType, precision_t width,
                                              const char** ppText, const wchar_t** ppWText, size_t* pLen);

// The cells of catalog rows. Two NULL tests, as their callers read them: a
// Coldata cell is NULL unless its indicator is 0; a Dataset cell is NULL when
// the column is missing or its indicator is IND_NULL.
bool CellNull(const Coldata* c, sgn32 row);
bool CellNull(const Dataset& ds, unsigned col, sgn32 row);
// An 8-, 16- or 32-bit integer cell into *pValue; false for any other type.
bool CellInt(const Coldata* c, sgn32 row, sgn32* pValue);
// The same, 0 for a cell that holds no such integer.
sgn32 CellInt(const Coldata* c, sgn32 row);
// The same for column col of ds; false also when the column is missing.
bool CellInt(const Dataset& ds, unsigned col, sgn32 row, sgn32* pValue);
// The integer of column col, 0 when it is NULL, missing or not an integer.
sgn32 CellIntOr0(const Dataset& ds, unsigned col, sgn32 row);
// A name cell as UTF-8 text of at most SCS_IDENT_MAX characters and bytes,
// ending at a NUL it holds, into *out (wide cells converted, narrow ones too
// when unicode is set; Dataset_CellText); false for a cell type that holds no
// text.
bool CellText(const Coldata* c, sgn32 row, int unicode, std::string* out);
// A catalog name cell of column col as UTF-8 text of at most SCR_NAME_MAX
// bytes; empty for NULL.
// ER_GENERAL_ERROR for a cell type that holds no text.
errcode_t CellName(PSCCL me, const Dataset& ds, unsigned col, sgn32 row, std::string* out);
