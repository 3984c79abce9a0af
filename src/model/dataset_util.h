// Dataset utilities: append, copy, insert, reverse and compare rows; add, drop, copy
// and widen columns; read a cell's bytes or text; narrow wide text; cut long values.
// The cursor engine's toolbox. Indices are 0-based; every operation answers
// ER_SUCCESS, ER_GENERAL_ERROR (bad argument, shape or bound) or ER_NO_MEMORY.
// Every column keeps allocRows rows, new rows are NULL, and a long cell's buffer
// always has exactly one owner.
#pragma once

#include <cstddef>
#include <string>

#include "model/dataset.h"

errcode_t Dataset_EmptyRowInsert(Dataset* pDS, uns32 irow);
errcode_t Dataset_CompareRows(Dataset* pDS1, uns32 rDS1, Dataset* pDS2, uns32 rDS2, int* pbMatch);
errcode_t Dataset_Copy(Dataset** ppDest, Dataset* pSrc);
errcode_t Dataset_CopyRow(Dataset* pDest, Dataset* pSrc, uns32 iDestRow, uns32 iSrcRow, int bXfer);
errcode_t Dataset_Grow(Dataset* dest, Dataset* src);
errcode_t Dataset_Prepend(Dataset* pDest, Dataset* pSrc);
errcode_t Dataset_Clone(Dataset** ppClone, Dataset* pSrc, uns32 nRows);
errcode_t Dataset_Invert(Dataset** ppDS);
errcode_t Dataset_ColDrop(Dataset* pDS, uns16 icol);
errcode_t Dataset_ColInfo(Dataset* pDS, uns16 icol, ctype_t* pCType, precision_t* pWidth);
errcode_t Dataset_ColAdd(Dataset* pDS, uns16 icol, ctype_t type, precision_t width);
errcode_t Dataset_ColCopy(Dataset* pDest, Dataset* pSrc, uns16 iDestCol, uns16 iSrcCol);
errcode_t Dataset_ColRealloc(Dataset* pDS, uns16 iCol, size_t reqLength, int bCTYPE_CHR_NullTerm);
errcode_t Dataset_CellGetChunk(Dataset* pDS, uns32 irow, uns16 icol, char* pBuff, uns32* pcbBuff);
errcode_t Dataset_ConvertW2A(Dataset* pDS);
errcode_t Dataset_Truncate(Dataset* pDS, precision_t maxLen);

// The bytes of one cell's value (not copied) and their count, every scan bounded by
// the cell's width. False for a NULL cell. Shared with the wire encoder.
bool Dataset_CellValue(const Coldata* c, uint64_t row, const char** pData, uint64_t* pLen);
// Where the characters of a text cell of type cType and width are: *ppText
// (narrow) or *ppWText (wide), into the cell or a long cell's data, and *pLen
// their count: a fixed-width cell's whole width, a wide varying one's up to
// its first NUL, else its length, never past the cell. False for a cell type
// that holds no text.
bool Dataset_CellTextSpan(const char* cell, ctype_t cType, precision_t width, const char** ppText,
                          const wchar_t** ppWText, size_t* pLen);
// A text cell as UTF-8 into *out, ending at a NUL it holds: wide text
// converted, narrow text as it is or, with fromLocale, converted from the
// locale's encoding; at most maxChars characters and maxBytes bytes (whole
// characters where it converts). A NULL cell gives "". False (and "") for a
// cell type that holds no text. Shared by the backend and the cursor engine.
bool Dataset_CellText(const Coldata* c, uint64_t row, bool fromLocale, size_t maxChars, size_t maxBytes,
                      std::string* out);
