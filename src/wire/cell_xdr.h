// The cell forms that the cell filters (cell_xdr.cpp) share with the column
// codecs (column_xdr.cpp). Internal to the wire library; everything else uses
// wire_xdr.h.
#pragma once

#include <cstdint>

#include "wire/wire_xdr.h"

// A length unit followed by that many bytes (the long-cell and plain-string form).
inline int xdr_counted(XDR* x, uint32_t* len) { return VYRRPC_xdr_u_int(x, len); }

// Long cells: length unit, then the data. wide: the length counts 4-byte characters
// that travel as UTF-8; text: one spare byte for a terminator.
int xdr_long_cell(XDR* x, uint32_t* length, void** data, bool wide, bool text);

// Variable cells with a length prefix of pre bytes inside a cell of width bytes.
int xdr_prefixed_cell(XDR* x, char* cell, uint64_t width, unsigned pre, bool wide);
