// The keyset-driven and static fetch engines (fetch_engines.h): the
// keyset-driven engine re-reads each rowset by its keys on the client's own
// cursor and tags the rows whose keys have gone; the static engine reads the
// whole result into the snapshot once and copies rowsets from it. Both then
// read the old values or lock the rows their concurrency asks for. Dispatched
// by fetch_dispatch.cpp; the mixed engine calls the keyset-driven one.
#include "cursors/fetch_engines.h"

#include <algorithm>
#include <cstdint>

#include "cursors/cursor_state.h"
#include "cursors/deleted_rows.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/old_values.h"
#include "cursors/row_locks.h"
#include "cursors/rowset_reads.h"
#include "cursors/snapshot.h"
#include "model/dataset_util.h"

namespace {

constexpr uns16 kNoRowsetReread = SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_UNION | SCR_F_AGGREGATE;

bool RereadsRows(PSCCL s) { return !(s->SelectRqstFlags & kNoRowsetReread); }

// The 0-based row of an absolute fetch over a result of RsltSetSize rows.
errcode_t RowFromAbsolute(PSCCL s, sgn32 irow, sgn32* pRow) {
  sgn32 row;
  if (irow > 0) {
    row = irow - 1;
  } else if (irow < 0) {
    row = s->RsltSetSize + irow;
    if (row < 0) {
      SC_RowPositionSet(s, 0);
      return ER_SCRL_RSLTSET_START;
    }
  } else {
    row = std::max<sgn32>(0, s->RsltSetSize - s->RSSize);
  }
  if (row >= s->RsltSetSize) {
    SC_RowPositionSet(s, RSP_AFTER_END);
    return ER_SCRL_RSLTSET_END;
  }
  *pRow = row;
  return ER_SUCCESS;
}

// Copies keyset statuses into the rowset's; errors (and, with bUpdatesOnce,
// updates) are reported once.
void StatusesFromKeyset(uns16* rgfKeys, sgn32 row, sgn32 n, PRSET pRowSet, bool bUpdatesOnce) {
  for (sgn32 i = 0; i < n; i++) {
    uns16& k = rgfKeys[row + i];
    pRowSet->rgfRowStatus[i] = k;
    if (k == SQL_ROW_ERROR || (bUpdatesOnce && k == SQL_ROW_UPDATED)) k = SQL_ROW_SUCCESS;
  }
}

}  // namespace

errcode_t scs_p_ExtendedFetch_KSD(PSCCL s, PRSET pRowSet, sgn32 irow) {
  KeySet* ks = s ? s->pKeySet : nullptr;
  if (!ks || !ks->pDataset || !pRowSet || !pRowSet->pDataset) return ER_GENERAL_ERROR;
  sgn32 row = irow;
  errcode_t rc;
  if (s->KSSize <= 0) {
    rc = RowFromAbsolute(s, irow, &row);
    if (rc != ER_SUCCESS) return rc;
  }
  s->RSPosition = row + 1;
  sgn32 cSelects = 0, cLast = 0, cPerSelect = 0;
  rc = scs_p_GetSelectConstraints(s, &cSelects, &cLast, &cPerSelect);
  if (rc != ER_SUCCESS) return rc;
  if (!(s->f_state & SCCL_ROWSET_SELECT) || (s->f_state & SCCL_RSSIZE_SET)) {
    rc = scs_p_RowSetSelectPrepare(s, cPerSelect, s->f_state & SCCL_ROWSET_SELECT, nullptr);
    if (rc != ER_SUCCESS) return rc;
  }
  if (s->KSSize <= 0) {
    rc = DSC_SyncWindowPos(&ks->KSC, row, uns32(s->RSSize), &ks->Position, ks->pDataset);
    if (rc != ER_SUCCESS) return rc;
  }
  const sgn32 winStart = std::max<sgn32>(ks->Position, 0);
  Dataset* lastParams = nullptr;
  Dataset* pRows = pRowSet->pDataset;
  // Only the old values' read takes the last parameter row again.
  const bool oldValues = RereadsRows(s) && s->ConcType == SQL_CONCUR_VALUES &&
                         s->fOptConcValExtent != SCCL_OCV_SELECT_COLS && cSelects == 1;
  rc = scs_p_RowSetKeyedRead(s, s->hCursor, ks->pDataset, uns32(row - winStart), cSelects, cPerSelect, cLast,
                             nullptr, pRows, oldValues ? &lastParams : nullptr);
  if (rc == ER_SUCCESS && s->ConcType != SQL_CONCUR_LOCK) rc = SCs_Inner(s->pDrv).close(s->hCursor);
  const sgn32 keys = scs_p_KeysFromRow(s, row);
  if (rc == ER_SUCCESS && pRows->nRows < std::min(s->RSSize, keys))
    rc = scs_p_DeletedRowsTag(s, pRows, ks->pDataset, row, winStart, ks->rgfRowStatus);
  if (rc == ER_SUCCESS && RereadsRows(s)) {
    if (s->ConcType == SQL_CONCUR_VALUES) {
      if (s->fOptConcValExtent == SCCL_OCV_SELECT_COLS) {
        rc = scs_p_OptConcValsCopy(s, pRows);
      } else {
        rc = scs_p_GetOptConcColVals(s, lastParams, row, cSelects, cPerSelect, cLast);
        lastParams = nullptr;  // taken over
      }
    } else if (s->ConcType == SQL_CONCUR_LOCK && s->bLockByUpdate) {
      rc = scs_p_LockRows(s, uns32(s->RSPosition - 1), uns32(s->RSSize));
    }
  }
  scs_p_DatasetFree(&lastParams);
  if (rc != ER_SUCCESS) return rc;
  const sgn32 n = std::min({s->RSSize, pRows->nRows, keys});
  if (ks->rgfRowStatus) StatusesFromKeyset(ks->rgfRowStatus, row, n, pRowSet, false);
  return ER_SUCCESS;
}

bool scs_p_SnapshotKeepsResult(PSCCL s) {
  return s->Rqst.reqType == EXPR_PROCCALL || s->ConcType == SQL_CONCUR_LOCK;
}

errcode_t scs_p_ExtendedFetch_Static(PSCCL s, PRSET pRowSet, sgn32 irow) {
  if (!s || !s->pSnapShot || !pRowSet) return ER_GENERAL_ERROR;
  errcode_t rc = ER_SUCCESS;
  _Cursor* pc = static_cast<_Cursor*>(s->pParent);
  // A result the client started again without closing replaces the snapshot.
  if ((s->f_state & SCCL_SNAPSHOT_READ) && !scs_p_SnapshotKeepsResult(s) && pc && (pc->flags & CURSF_OPEN)) {
    s->f_state = uns16(s->f_state & ~SCCL_SNAPSHOT_READ);
    SS_Close(s->pSnapShot);
  }
  if (!(s->f_state & SCCL_SNAPSHOT_READ)) {
    ErrorQ saved;
    scs_p_DiagSave(s->hCursor, &saved);
    rc = SS_GetRsltSet(s->pSnapShot, s->pDrv, s->hCursor, &s->RsltSetSize);
    rc = scs_p_DiagCheck(s->hCursor, &saved, rc);
    if (rc == ER_SUCCESS && RereadsRows(s)) {
      if (s->ConcType == SQL_CONCUR_VALUES && s->fOptConcValExtent != SCCL_OCV_SELECT_COLS) {
        Dataset* params = nullptr;
        if ((s->f_state & SCCL_HAS_PARAMS) && s->parameters) rc = Dataset_Copy(&params, s->parameters);
        if (rc == ER_SUCCESS) rc = scs_p_GetOptConcColVals(s, params, 0, 0, 0, 0);
      } else if (s->ConcType == SQL_CONCUR_LOCK && s->bLockByUpdate && s->RsltSetSize > 0) {
        rc = scs_p_LockRows(s, 0, uns32(s->RsltSetSize));
      }
    }
    if (!scs_p_SnapshotKeepsResult(s)) {
      errcode_t rcClose = SCs_Inner(s->pDrv).close(s->hCursor);
      if (rc == ER_SUCCESS) rc = rcClose;
    }
    if (rc != ER_SUCCESS) {
      // Nothing half-read is served: the next fetch reads again (and fails on a closed cursor).
      SS_Close(s->pSnapShot);
      return rc;
    }
    s->f_state |= SCCL_SNAPSHOT_READ;
  }
  sgn32 row = 0;
  rc = RowFromAbsolute(s, irow, &row);
  if (rc != ER_SUCCESS) return rc;
  s->RSPosition = row + 1;
  KeySet* ks = s->pKeySet;
  const bool keyed = ks && ks->pDataset && (ks->KSC.fState == DSC_SPILLED || ks->pDataset->nRows > 0);
  if (keyed) {
    rc = DSC_SyncWindowPos(&ks->KSC, row, uns32(s->RSSize), &ks->Position, ks->pDataset);
    if (rc != ER_SUCCESS) return rc;
  }
  if (s->ConcType == SQL_CONCUR_VALUES && s->OCVC.fState == DSC_SPILLED && s->pDSOptConcColVals) {
    rc = DSC_SyncWindowPos(&s->OCVC, row, uns32(s->RSSize), &s->OCVPosition, s->pDSOptConcColVals);
    if (rc != ER_SUCCESS) return rc;
  }
  rc = SS_Fetch(s->pSnapShot, row, uns32(s->RSSize), &pRowSet->pDataset);
  if (rc != ER_SUCCESS) return rc;
  const sgn32 n = std::min(pRowSet->pDataset->nRows, s->RsltSetSize - row);
  // The keys were read by a statement of their own, before the snapshot's: rows
  // added in between have no key, and no status of theirs.
  sgn32 withKeys = 0;
  if (keyed && ks->rgfRowStatus)
    withKeys = ks->KSC.fState == DSC_SPILLED ? n : std::clamp<sgn32>(ks->pDataset->nRows - row, 0, n);
  StatusesFromKeyset(ks ? ks->rgfRowStatus : nullptr, row, withKeys, pRowSet, true);
  for (sgn32 i = withKeys; i < n; i++) pRowSet->rgfRowStatus[i] = SQL_ROW_SUCCESS;
  if (s->ConcType == SQL_CONCUR_VALUES && s->fOptConcValExtent == SCCL_OCV_SELECT_COLS)
    return scs_p_OptConcValsCopy(s, pRowSet->pDataset);
  return ER_SUCCESS;
}
