// Values of single dataset cells as bytes: read with every length measured
// within the cell, written cut to what the cell holds. Shared by the merge of
// values sent at execution time and the output-parameter return dataset.
#pragma once

#include <cstdint>

#include "model/dataset.h"

// The value of a non-NULL cell: its data and byte count (4 per wide character).
// Long cells give their referenced data; fixed cells their whole width.
void CellStoredValue(const Coldata* col, uint64_t row, const char** data, uint64_t* bytes);
// The bytes a cell of this type and width can hold after its length prefix
// (text cells keep room for their terminator; wide cells hold whole characters).
uint64_t CellCapacity(int cType, uint64_t width);
// Writes a value into a zeroed, not long cell, cut to its capacity, and sets the
// length prefix (characters for wide cells).
void CellWriteValue(Coldata* col, uint64_t row, const char* data, uint64_t bytes);
// The largest length a cell type's prefix can count.
uint64_t CellPrefixLimit(int cType);
bool CellIsWide(int cType);
// Reads and writes a length prefix of 1, 2 or 4 bytes.
uns32 CellReadPrefix(const char* cell, unsigned prefix);
void CellWritePrefix(char* cell, unsigned prefix, uint64_t v);
