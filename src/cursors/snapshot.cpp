// The static cursor's snapshot (snapshot.h): one dataset cache and a window.
#include "cursors/snapshot.h"

#include <cstdlib>

#include "model/dataset_util.h"
#include "util/log.h"

errcode_t SS_Create(PSNPSHT* ppSS) {
  if (!ppSS) return ER_GENERAL_ERROR;
  *ppSS = nullptr;
  PSNPSHT ss = static_cast<PSNPSHT>(calloc(1, sizeof(SnapShot)));
  if (!ss) return ER_NO_MEMORY;
  ss->pDataset = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (!ss->pDataset) {
    free(ss);
    return ER_NO_MEMORY;
  }
  Dataset_Init(ss->pDataset, 0);
  DSC_Init(&ss->SSC);
  *ppSS = ss;
  return ER_SUCCESS;
}

void SS_Close(PSNPSHT pSS) {
  if (!pSS) return;
  Dataset_Done(pSS->pDataset);
  DSC_Close(&pSS->SSC);
  pSS->Position = 0;
  pSS->CursPosition = 0;
}

void SS_Destroy(PSNPSHT* ppSS) {
  if (!ppSS || !*ppSS) return;
  SS_Close(*ppSS);
  free((*ppSS)->pDataset);
  free(*ppSS);
  *ppSS = nullptr;
}

errcode_t SS_GetRsltSet(PSNPSHT pSS, DRV* pDrv, handle_t hCursor, sgn32* pnRows) {
  if (!pSS) return ER_GENERAL_ERROR;
  SS_Close(pSS);
  errcode_t rc = DSC_Fill(&pSS->SSC, pDrv, hCursor, pSS->pDataset, pnRows);
  if (rc != ER_SUCCESS) {
    logit(LOG_ERR, __FILE__, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
    return rc;
  }
  if (pSS->SSC.fState == DSC_SPILLED) pSS->Position = DSC_NO_WINDOW;
  return ER_SUCCESS;
}

errcode_t SS_Fetch(PSNPSHT pSS, sgn32 start, uns32 count, Dataset** ppDS) {
  if (!pSS || !ppDS) return ER_GENERAL_ERROR;
  bool allocated = false;
  if (!*ppDS) {
    *ppDS = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!*ppDS) return ER_NO_MEMORY;
    allocated = true;
  }
  Dataset* out = *ppDS;
  Dataset_Done(out);
  if (pSS->CursPosition == SS_EXHAUSTED || count == 0) return ER_SUCCESS;
  sgn32 first = start != SS_SEQUENTIAL ? start : pSS->CursPosition;
  errcode_t rc = DSC_SyncWindowPos(&pSS->SSC, first, count, &pSS->Position, pSS->pDataset);
  if (rc != ER_SUCCESS) {
    if (allocated) {
      free(out);
      *ppDS = nullptr;
    }
    return rc;
  }
  Dataset* win = pSS->pDataset;
  int64_t avail = int64_t(win->nRows) - (int64_t(first) - pSS->Position);
  if (avail < 0) avail = 0;
  uns32 n = avail < int64_t(count) ? uns32(avail) : count;
  rc = Dataset_Clone(&out, win, n);
  for (uns32 i = 0; i < n && rc == ER_SUCCESS; i++)
    rc = Dataset_CopyRow(out, win, i, uns32(first - pSS->Position) + i, 0);
  if (rc != ER_SUCCESS) {
    Dataset_Done(out);
    if (allocated) {
      free(out);
      *ppDS = nullptr;
    }
    return rc;
  }
  if (start == SS_SEQUENTIAL)
    pSS->CursPosition = n == count ? pSS->CursPosition + sgn32(count) : SS_EXHAUSTED;
  else
    pSS->CursPosition = start;
  return ER_SUCCESS;
}
