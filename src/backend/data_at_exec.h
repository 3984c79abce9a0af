// Values sent at execution time: the pieces a client puts for the cells it
// marked with indicator -2, collected per dataset column until the last
// param-data call merges them into the dataset. Used by the backend's execute
// and param-data/put-data operations, and reachable from the cursor engine for
// the column data of a positioned update or add.
#pragma once

#include "model/dataset.h"
#include "model/errcode.h"

// The pieces collected for one column of a dataset, one entry per row.
struct DAEData {
  ctype_t cType;           // kind of the first piece put for a row: CTYPE_CHR for text,
                           // CTYPE_BIN for binary, CTYPE_WCHR for wide text of any width
  uns32 pm_cExpdata;       // rows
  char** pm_expdata;       // accumulated bytes per row (owned; null when none)
  uns32* pm_expsize;       // accumulated byte count per row
  indicator_t* pm_expind;  // indicator given with the row's first piece
};

// A zeroed collection of cols columns of rows rows; null when out of memory.
DAEData* DAEDataInit(uns32 cols, uns32 rows);
void DAEDataDestroy(DAEData* data, uns32 cols);
void FreeExpData(DAEData* col);
// Appends one piece to a row of a collection column; indicator -1 makes it NULL.
// The pieces of a row are of one kind (text, binary, wide text): 15 otherwise.
errcode_t DAEDataPut(DAEData* col, uns32 row, ctype_t cType, indicator_t ind, const char* data, uns32 len);
// The next cell marked -2 after (*row, *col) in row-major order (from the first
// cell when *row is -1); -2, -2 when there is none.
void DAENextItemFind(const Dataset* ds, int* row, int* col);
// Moves the collected values into the dataset's -2 cells. The collection must
// have been made for this dataset's shape.
errcode_t DAEDatasetMerge(Dataset* ds, DAEData* data, uns32 cols, uns32 rows);
// Whether a cell type's values have a size of their own (the others are fixed).
bool DAEIsVariableType(int cType);
