// Datasets (column-major tables of typed cells), column and bind descriptors and rowsets:
// the one in-memory model of every value the agent fetches, binds, caches or sends.
// Used by the wire records, the backend and the cursor engine.
#pragma once

#include "model/errcode.h"
#include "model/types.h"

// One column of a dataset.
struct Coldata {
  ctype_t cType;
  precision_t width;        // bytes per cell
  indicator_t* indicators;  // one per allocated row
  void* values;             // cell i at byte i * width; one spare byte at the end
};

// A column-major table. The record is the caller's; its column array, buffers and
// long-cell data belong to it.
struct Dataset {
  uns16 allocCols;
  sgn32 allocRows;
  uns16 nCols;
  sgn32 nRows;
  Coldata* col;
};

// Description of a result column or a parameter.
struct Coldesc {
  char label[41];
  String qualifierName;
  String ownerName;
  String tableName;
  String columnName;
  dbtype_t dbType;
  sqltype_t sqlType;
  nullable_t nullable;
  precision_t precision;
  scale_t scale;
  precision_t display;
  ctype_t fetchType;
  precision_t fetchLength;  // the n of the width rule for fetchType
};

// How a parameter is bound; usage 1 input, 2 input and output, 4 output.
struct Bindesc {
  sqltype_t sqlType;
  ctype_t cType;
  precision_t precision;
  scale_t scale;
  sgn16 usage;
};

struct BindescX {
  sqltype_t sqlType;
  ctype_t cType;
  precision_t precision;
  scale_t scale;
  sgn16 usage;
  String name;
};

// The result of a scrollable fetch: a status per row and the rows.
struct RowSet {
  uns16* rgfRowStatus;
  Dataset* pDataset;
  sgn32 RSSize;
};
typedef RowSet* PRSET;

int Coldata_Init(Coldata* me, sgn32 nRows);
void Coldata_Done(Coldata* me, sgn32 nRows);

// A long column decoded from a buffer keeps its cells' data in the same block as the
// cells (one allocation for the whole column); such data is never freed on its own.
// Free or hand over a long cell's buffer only when Coldata_InBlock says it is not in
// the block, or detach the column first.
bool Coldata_InBlock(const Coldata* me, const void* p);
// Gives every long cell whose data lies in the block a buffer of its own; all or
// nothing (ER_NO_MEMORY leaves the column as it was).
errcode_t Coldata_DetachLongData(Coldata* me, sgn32 nRows);

int Dataset_Init(Dataset* me, uns16 nCols);
int Dataset_AllocColumns(Dataset* me, sgn32 nRows);
void Dataset_Done(Dataset* me);
precision_t Dataset_SizeCol(ctype_t cType, precision_t maxDataLength);

errcode_t AllocDataset(Coldesc* pDesc, uns16 nCols, sgn32 maxRows, Dataset* pBind);
Coldesc* AllocColdesc(uns16 nCols);
void FreeColdesc(Coldesc* pColdesc, uns16 nCols);
Bindesc* AllocBindesc(uns16 nCols);

errcode_t RS_Create(PRSET* ppRowSet, sgn32 RSSize);
errcode_t RS_Alloc(PRSET pRowSet, sgn32 RSSize);
void RS_Done(PRSET pRowSet);
void RS_Destroy(PRSET* ppRowSet);

// Cell access helpers: the address of cell `row` of column `c`.
inline char* Coldata_Cell(const Coldata* c, uint64_t row) {
  return static_cast<char*>(c->values) + row * c->width;
}
