// The keyset a cursor holds (keyset_store.h): made with the cursor state,
// emptied for each statement, its key values and statuses dropped when a new
// keyset is read.
#include "cursors/keyset_store.h"

#include <cstdlib>

#include "cursors/ds_cache.h"
#include "model/dataset_util.h"
#include "util/fault.h"

errcode_t KS_Create(PKSET* ppKeySet) {
  if (!ppKeySet) return ER_GENERAL_ERROR;
  *ppKeySet = nullptr;
  KeySet* ks = static_cast<KeySet*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(KeySet)));
  Dataset* ds = ks && !vyr_fault_alloc() ? static_cast<Dataset*>(calloc(1, sizeof(Dataset))) : nullptr;
  if (!ks || !ds) {
    free(ks);
    free(ds);
    return ER_NO_MEMORY;
  }
  ks->pDataset = ds;
  DSC_Init(&ks->KSC);
  *ppKeySet = ks;
  return ER_SUCCESS;
}

void ks_FreeKeyVals(KeySet* pKeySet) {
  if (!pKeySet) return;
  if (pKeySet->pDataset) Dataset_Done(pKeySet->pDataset);
  free(pKeySet->rgfRowStatus);
  pKeySet->rgfRowStatus = nullptr;
  pKeySet->Position = 0;
  DSC_Close(&pKeySet->KSC);
}

void KS_Close(PKSET pKeySet) {
  if (!pKeySet) return;
  ks_FreeKeyVals(pKeySet);
  alist_Dealloc(&pKeySet->pLS_KeyCols, SCColDescDestroy);
  pKeySet->cRefdTables = 0;
}

void KS_Destroy(PKSET* ppKeySet) {
  if (!ppKeySet || !*ppKeySet) return;
  KS_Close(*ppKeySet);
  free((*ppKeySet)->pDataset);
  free(*ppKeySet);
  *ppKeySet = nullptr;
}
