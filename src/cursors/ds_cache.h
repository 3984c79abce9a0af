// Result-set caches of the cursor engine: a whole backend result read 200 rows
// at a time, kept in the caller's dataset while it has at most DSC_MEM_ROWS
// rows and moved to two unnamed temporary files beyond that (values and row
// index), then read back through a window of rows around the wanted rowset.
// The serialisation functions define the file format and also write and read a
// whole dataset. Used by the snapshot (snapshot.h) and by the keysets and
// optimistic-concurrency values of the engine.
#pragma once

#include <cstdio>

#include "backend/sccl.h"
#include "drv_ops.h"

enum { DSC_IN_MEMORY = 0, DSC_FILES_OPEN = 1, DSC_SPILLED = 2 };
enum : uns32 { DSC_MEM_ROWS = 5000, DSC_FETCH_ROWS = 200 };
enum { SRLZ_WRITE = 0, SRLZ_READ = 1 };

void DSC_Init(DSCache* me);
// Closes the files; the window size stays.
void DSC_Close(DSCache* me);
// Reads hCursor's whole result through pDrv's fetch into pDS (or the files).
// The cache must be empty. *pnRows (when given) gets the rows read.
errcode_t DSC_Fill(DSCache* me, DRV* pDrv, handle_t hCursor, Dataset* pDS, sgn32* pnRows);
// Makes the window pDS, whose first row is result row *pPosition, cover the
// rowset of R rows from row irow. A cache that never spilled holds the whole
// result in the window: its rows are compared with what the window holds.
errcode_t DSC_SyncWindowPos(DSCache* me, sgn32 irow, uns32 R, sgn32* pPosition, Dataset* pDS);
// Loads WinSize rows from irow of a spilled cache into pDS.
errcode_t dsc_Fetch(DSCache* me, Dataset* pDS, sgn32 irow);

// Serialisation: 1 success, 0 failure. op SRLZ_WRITE or SRLZ_READ.
int Dataset_SrlzSubset(int op, FILE* fdVals, FILE* fdIndx, Dataset* pDS, sgn32 irow, sgn32 nRows);
int Dataset_SrlzAppend(FILE* fdVals, FILE* fdIndx, Dataset* pDS);
int Dataset_Srlz(int op, FILE* fd, Dataset* pDS);

// An unnamed temporary file (removed from the directory at once), mode 0600,
// in $TMPDIR or /tmp; null when none can be made.
FILE* DSC_TempFile();
