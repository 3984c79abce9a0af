// The static cursor's snapshot: its whole result, held in one dataset cache and
// read back in rowsets, sequentially or from a given row.
#pragma once

#include "cursors/ds_cache.h"

struct _SS {
  Dataset* pDataset;      // the window, or the whole result while it fits in memory
  positn_t Position;      // result row of the window's first row; DSC_NO_WINDOW when it holds nothing valid
  positn_t CursPosition;  // where the next sequential fetch starts; SS_EXHAUSTED once past the end
  DSCache SSC;
};

// CursPosition once a sequential fetch came back short.
enum : positn_t { SS_EXHAUSTED = -2 };
// SS_Fetch's start for a sequential fetch: where the last one ended.
enum : sgn32 { SS_SEQUENTIAL = -1 };
typedef _SS SnapShot;
typedef _SS* PSNPSHT;

errcode_t SS_Create(PSNPSHT* ppSS);
void SS_Close(PSNPSHT pSS);
void SS_Destroy(PSNPSHT* ppSS);
errcode_t SS_GetRsltSet(PSNPSHT pSS, DRV* pDrv, handle_t hCursor, sgn32* pnRows);
// count rows from start (or SS_SEQUENTIAL) into *ppDS,
// allocated here when the caller passes none.
errcode_t SS_Fetch(PSNPSHT pSS, sgn32 start, uns32 count, Dataset** ppDS);
