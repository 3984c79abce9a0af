// The mixed and dynamic fetch engines (fetch_dynamic.h): rowsets read through
// key slices that move with the client's scrolling. A mixed cursor holds a
// window of KSSize keys and moves it only when a fetch leaves it; a dynamic
// cursor reads its slice (the rowset itself) again on every fetch and then its
// rows by key on the client's cursor.
#include "cursors/fetch_dynamic.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/fetch_engines.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/old_values.h"
#include "cursors/row_locks.h"
#include "cursors/rowset_reads.h"
#include "cursors/rvc.h"
#include "cursors/slices.h"
#include "model/dataset_util.h"

namespace {

sgn32 KeysHeld(PSCCL me) { return me->pKeySet && me->pKeySet->pDataset ? me->pKeySet->pDataset->nRows : 0; }

sgn32 RowsIn(PRSET rs) { return rs && rs->pDataset ? rs->pDataset->nRows : 0; }

// No rowset has been read since the statement ran, or the cursor stands
// before its first row: a fetch starts from the beginning.
bool BeforeStart(PSCCL me) { return me->RSPosition == 0 || !me->pDSKeyBoundaryVals; }

// Rows of a single table without grouping: they can be locked one by one.
bool RowsLockable(PSCCL me) {
  return !(me->SelectRqstFlags & (SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_UNION | SCR_F_AGGREGATE));
}

void RowSetEmpty(PRSET rs) {
  if (rs->pDataset) Dataset_Done(rs->pDataset);
  for (sgn32 i = 0; i < rs->RSSize && rs->rgfRowStatus; i++) rs->rgfRowStatus[i] = SQL_ROW_NOROW;
}

errcode_t BeforeStartAnswer(PSCCL me) {
  SC_RowPositionSet(me, 0);
  return ER_SCRL_RSLTSET_START;
}

// How the nKeys keys of the slice split into keyed SELECTs of r rows.
struct Split {
  sgn32 s = 0, r = 0, l = 0;
};

errcode_t SplitFor(PSCCL me, sgn32 nKeys, Split* sp) {
  sgn32 s = 0, l = 0, r = 0;
  errcode_t rc = scs_p_GetSelectConstraints(me, &s, &l, &r);
  if (rc != ER_SUCCESS) return rc;
  if (r <= 0) return ER_GENERAL_ERROR;
  sp->r = r;
  sp->s = (nKeys + r - 1) / r;
  sp->l = nKeys - (sp->s - 1) * r;
  return ER_SUCCESS;
}

void DatasetRelease(Dataset** pp) {
  if (!*pp) return;
  Dataset_Done(*pp);
  free(*pp);
  *pp = nullptr;
}

}  // namespace

errcode_t scs_p_ExtendedFetch_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow, PRSET pRowSet) {
  if (!psccl || !pRowSet || !pRowSet->pDataset || !psccl->pKeySet || !psccl->pDrv) return ER_GENERAL_ERROR;
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  for (int attempt = 1;; attempt++) {
    ops->close(psccl->hCursor);
    errcode_t rc = attempt == 1
                       ? KS_GetKeySet_Dyn(psccl, fFetchType, fFetchType == SQL_FETCH_RELATIVE ? irow : 0)
                       : KS_GetKeySet_Dyn(psccl, SQL_FETCH_RELATIVE, 0);
    if (rc != ER_SUCCESS) {
      if (rc == ER_NO_DATA_FOUND) RowSetEmpty(pRowSet);
      return rc;
    }
    const sgn32 nKeys = KeysHeld(psccl);
    Split sp;
    size_t cbForUpdate = 0;
    rc = SplitFor(psccl, nKeys, &sp);
    if (rc == ER_SUCCESS) rc = scs_p_RowSetSelectPrepare(psccl, sp.r, 1, &cbForUpdate);
    Dataset* lastParams = nullptr;
    if (rc == ER_SUCCESS) {
      // A driver error during the read fails it: a short rowset must mean changed rows.
      ErrorQ saved;
      Dataset_Done(pRowSet->pDataset);
      scs_p_DiagSave(psccl->hCursor, &saved);
      rc = scs_p_RowSetKeyedRead(psccl, psccl->hCursor, psccl->pKeySet->pDataset, 0, sp.s, sp.r, sp.l,
                                 nullptr, pRowSet->pDataset, &lastParams);
      rc = scs_p_DiagCheck(psccl->hCursor, &saved, rc);
    }
    if (rc == ER_SUCCESS && RowsIn(pRowSet) == nKeys) {
      scs_p_ForUpdateCut(psccl, cbForUpdate);
      rc = scs_p_GetOptConcColVals(psccl, lastParams, 0, sp.s, sp.r, sp.l);
      lastParams = nullptr;  // taken over by the values' read
      if (rc == ER_SUCCESS && (!psccl->pDSOptConcColVals || psccl->pDSOptConcColVals->nRows < nKeys))
        rc = ER_ROW_ERROR;
      // Only the select list is compared: its old values are the rowset's.
      if (rc == ER_SUCCESS && psccl->ConcType == SQL_CONCUR_VALUES &&
          psccl->fOptConcValExtent == SCCL_OCV_SELECT_COLS)
        rc = scs_p_OptConcValsCopy(psccl, pRowSet->pDataset);
      if (rc == ER_SUCCESS && psccl->ConcType != SQL_CONCUR_LOCK) ops->close(psccl->hCursor);
      if (rc == ER_SUCCESS && RowsLockable(psccl) && psccl->ConcType == SQL_CONCUR_LOCK &&
          psccl->bLockByUpdate)
        rc = scs_p_LockRows(psccl, 0, uns32(nKeys));
      if (rc != ER_SUCCESS) return rc;
      for (sgn32 i = 0; i < pRowSet->RSSize; i++) pRowSet->rgfRowStatus[i] = i < nKeys ? 0 : SQL_ROW_NOROW;
      if (psccl->bUseRVC)
        return RVC_Write(&psccl->RVC, psccl->pKeySet, psccl->pDSOptConcColVals, pRowSet->rgfRowStatus);
      return ER_SUCCESS;
    }
    DatasetRelease(&lastParams);
    if (rc != ER_SUCCESS) return rc;
    // A row of the slice changed or went between the key read and the row read.
    if (attempt == 3) return ER_EXCESS_CHANGES;
  }
}

errcode_t scs_p_ExtendedFetch_Dynamic(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet) {
  if (!psccl || !pRowSet) return ER_GENERAL_ERROR;
  if (fFetchType != SQL_FETCH_NEXT && fFetchType != SQL_FETCH_FIRST && fFetchType != SQL_FETCH_LAST &&
      fFetchType != SQL_FETCH_PRIOR && fFetchType != SQL_FETCH_RELATIVE)
    return ER_INVALID_FETCHTYPE;
  psccl->KSSize = psccl->RSSize;
  const sgn32 R = psccl->RSSize;
  const sgn32 h0 = KeysHeld(psccl);
  const positn_t oldRSPos = psccl->RSPosition;
  uns16 ft = fFetchType;
  // Nothing read yet (or before the first row): NEXT reads the first rowset,
  // RELATIVE k the rowset at row k, PRIOR and RELATIVE k <= 0 stay before it.
  if (BeforeStart(psccl)) {
    if (ft == SQL_FETCH_PRIOR || (ft == SQL_FETCH_RELATIVE && irow <= 0)) return BeforeStartAnswer(psccl);
    if (ft == SQL_FETCH_NEXT || (ft == SQL_FETCH_RELATIVE && irow == 1)) ft = SQL_FETCH_FIRST;
    if (ft == SQL_FETCH_RELATIVE) {
      errcode_t rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_FIRST, 0);
      if (rc == ER_NO_DATA_FOUND) {
        SC_RowPositionSet(psccl, RSP_AFTER_END);
        return ER_SCRL_RSLTSET_END;
      }
      if (rc != ER_SUCCESS) return rc;
      irow -= 1;
    }
  } else if (ft == SQL_FETCH_PRIOR && oldRSPos == RSP_AFTER_END) {
    // After the end the rowset before it is the last one.
    ft = SQL_FETCH_LAST;
  }
  errcode_t rc = scs_p_ExtendedFetch_Dyn(psccl, ft, irow, pRowSet);
  if (rc != ER_SUCCESS && rc != ER_NO_DATA_FOUND) return rc;
  const sgn32 rows = RowsIn(pRowSet);
  auto readFirst = [&]() {
    RowSetEmpty(pRowSet);
    errcode_t e = scs_p_ExtendedFetch_Dyn(psccl, SQL_FETCH_FIRST, 0, pRowSet);
    psccl->RSPosition = RSP_SOMEWHERE;
    return e == ER_NO_DATA_FOUND ? ER_SUCCESS : e;
  };
  switch (ft) {
    case SQL_FETCH_NEXT:
      if (rows == 0) {
        SC_RowPositionSet(psccl, RSP_AFTER_END);
        return ER_SCRL_RSLTSET_END;
      }
      psccl->RSPosition = rows < R ? RSP_PARTIAL_END : RSP_SOMEWHERE;
      return ER_SUCCESS;
    case SQL_FETCH_FIRST:
    case SQL_FETCH_LAST:
      psccl->RSPosition = RSP_SOMEWHERE;
      if (rows < R) psccl->RsltSetSize = rows;
      return ER_SUCCESS;
    case SQL_FETCH_PRIOR:
      psccl->RSPosition = RSP_SOMEWHERE;
      if (rows == 0) return BeforeStartAnswer(psccl);
      return rows < R ? readFirst() : ER_SUCCESS;
    default:  // RELATIVE
      if (rows == 0) {
        if (irow < 0) return BeforeStartAnswer(psccl);
        SC_RowPositionSet(psccl, RSP_AFTER_END);
        return ER_SCRL_RSLTSET_END;
      }
      if (rows == R) {
        psccl->RSPosition = RSP_SOMEWHERE;
        return ER_SUCCESS;
      }
      if (irow >= 0) {
        psccl->RSPosition = RSP_PARTIAL_END;
        return ER_SUCCESS;
      }
      {
        const sgn32 RS = psccl->RsltSetSize;
        const int64_t back = -int64_t(irow);  // the client's irow: no sum of it may overflow
        // Back from a rowset that reached the end: short for the end only when
        // every row counted back came, else the start was passed.
        const bool fromEnd = oldRSPos == RSP_PARTIAL_END || oldRSPos == RSP_AFTER_END;
        const bool stays =
            fromEnd && ((RS < R && (RS != SCCL_RSLT_SIZE_UNKNOWN || back < R - 1) && h0 + back <= RS) ||
                        (RS >= R && back < R - 1) || rows == h0 + back);
        if (stays) {
          psccl->RSPosition = RSP_PARTIAL_END;
          return ER_SUCCESS;
        }
      }
      return readFirst();
  }
}

errcode_t scs_p_ExtendedFetch_Mixed(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet) {
  if (!psccl || !pRowSet) return ER_GENERAL_ERROR;
  if (psccl->f_state & SCCL_KSSIZE_SET) {
    psccl->KSPosition = KSP_INVALID;
    psccl->f_state = uns16(psccl->f_state & ~SCCL_KSSIZE_SET);
  }
  const sgn32 R = psccl->RSSize, N = psccl->KSSize;
  auto held = [&] { return KeysHeld(psccl); };
  auto usable = [&] {
    return psccl->KSPosition == KSP_SOMEWHERE || psccl->KSPosition == KSP_AT_START ||
           psccl->KSPosition == KSP_AT_END;
  };
  auto read = [&](uns16 ft, sgn32 by, positn_t state) {
    errcode_t e = KS_GetKeySet_Dyn(psccl, ft, by);
    if (e == ER_SUCCESS) psccl->KSPosition = state;
    return e;
  };
  errcode_t rc = ER_SUCCESS;
  sgn32 a = 0;
  uns16 ft = fFetchType;
  if (ft != SQL_FETCH_NEXT && ft != SQL_FETCH_FIRST && ft != SQL_FETCH_LAST && ft != SQL_FETCH_PRIOR &&
      ft != SQL_FETCH_RELATIVE)
    return ER_INVALID_FETCHTYPE;
  // From before the first row: NEXT is FIRST, RELATIVE k counts from row 1,
  // PRIOR and RELATIVE k <= 0 stay before it.
  const bool beforeStart = BeforeStart(psccl);
  if (beforeStart) {
    if (ft == SQL_FETCH_PRIOR || (ft == SQL_FETCH_RELATIVE && irow <= 0)) return BeforeStartAnswer(psccl);
    if (ft == SQL_FETCH_NEXT) ft = SQL_FETCH_FIRST;
  }
  switch (ft) {
    case SQL_FETCH_NEXT:
      if (usable() && held() >= int64_t(psccl->RSPosition) - 1 + 2 * int64_t(R)) {
        a = psccl->RSPosition - 1 + R;
        break;
      }
      // Past the end the slice held is the empty one after the last key. A
      // rowset that ends the window goes on after the window's last key, so
      // rows changed inside the window do not move it; else the window moves
      // to the next rowset's first row.
      if (psccl->KSPosition == KSP_PAST_END)
        rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_RELATIVE, 0);
      else if (int64_t(psccl->RSPosition) - 1 + R == held())
        rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_NEXT, 0);
      else
        rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_RELATIVE, psccl->RSPosition - 1 + R);
      if (rc == ER_NO_DATA_FOUND) {
        psccl->KSPosition = KSP_PAST_END;
        return rc;
      }
      if (rc != ER_SUCCESS) return rc;
      psccl->KSPosition = KSP_SOMEWHERE;
      a = 0;
      break;
    case SQL_FETCH_FIRST:
      if (!(psccl->KSPosition == KSP_AT_START || (psccl->KSPosition == KSP_AT_END && held() < N)))
        rc = read(SQL_FETCH_FIRST, 0, KSP_AT_START);
      a = 0;
      break;
    case SQL_FETCH_LAST:
      if (psccl->KSPosition != KSP_AT_END) rc = read(SQL_FETCH_LAST, 0, KSP_AT_END);
      a = std::max<sgn32>(0, held() - R);
      break;
    case SQL_FETCH_PRIOR:
      if (psccl->KSPosition == KSP_PAST_END) {
        rc = read(SQL_FETCH_LAST, 0, KSP_AT_END);
        a = std::max<sgn32>(0, held() - R);
        break;
      }
      if (usable() && psccl->RSPosition - 1 - R >= 0) {
        a = psccl->RSPosition - 1 - R;
        break;
      }
      if (usable() && psccl->KSPosition == KSP_AT_START) {
        // The window begins the result: a rowset inside it goes back to the
        // first row, one at its start has nothing before it.
        if (psccl->RSPosition > 1) {
          a = 0;
          break;
        }
        return BeforeStartAnswer(psccl);
      }
      rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_RELATIVE, psccl->RSPosition - N - 1);
      if (rc == ER_NO_DATA_FOUND) {
        psccl->KSPosition = KSP_INVALID;
        return BeforeStartAnswer(psccl);
      }
      if (rc != ER_SUCCESS) return rc;
      psccl->KSPosition = KSP_SOMEWHERE;
      a = held() - R;
      if (held() < N) {
        rc = read(SQL_FETCH_FIRST, 0, KSP_AT_START);
        a = std::max<sgn32>(0, a);
      }
      break;
    default: {  // RELATIVE
      if (beforeStart) {
        // Row irow of the result: the first window, or a slice moved from it.
        if (psccl->KSPosition != KSP_AT_START || !psccl->pDSKeyBoundaryVals)
          rc = read(SQL_FETCH_FIRST, 0, KSP_AT_START);
        if (rc != ER_SUCCESS) break;
        a = irow - 1;
      } else if (psccl->KSPosition == KSP_PAST_END) {
        a = irow;  // counted from the empty slice after the last key
      } else {
        // The client's irow: past either end of any result it is the farthest row.
        a = sgn32(std::clamp<int64_t>(int64_t(irow) + psccl->RSPosition - 1, -INT32_MAX, INT32_MAX));
      }
      if (usable() && a >= 0 && held() >= int64_t(a) + R) break;
      const sgn32 h0 = held();
      rc = KS_GetKeySet_Dyn(psccl, SQL_FETCH_RELATIVE, a);
      if (rc == ER_NO_DATA_FOUND) {
        // Moved wholly past one end: the next fetch counts from there.
        if (a < 0) {
          psccl->KSPosition = KSP_INVALID;
          SC_RowPositionSet(psccl, 0);
        } else {
          psccl->KSPosition = KSP_PAST_END;
        }
      }
      if (rc != ER_SUCCESS) break;
      psccl->KSPosition = KSP_SOMEWHERE;
      a = 0;
      if (held() < R && irow < 0 && (-int64_t(irow) > R || held() < h0))
        rc = read(SQL_FETCH_FIRST, 0, KSP_AT_START);
      break;
    }
  }
  if (rc != ER_SUCCESS) return rc;
  rc = scs_p_ExtendedFetch_KSD(psccl, pRowSet, a);
  if (rc != ER_SUCCESS) return rc;
  if (psccl->RsltSetSize == SCCL_RSLT_SIZE_UNKNOWN) {
    // A short rowset ends the result; its size is known where the window
    // begins at the first row.
    if (RowsIn(pRowSet) < R && psccl->KSPosition == KSP_AT_START)
      psccl->RsltSetSize = a + RowsIn(pRowSet);
    else if (held() < N && (psccl->KSPosition == KSP_AT_START || psccl->KSPosition == KSP_AT_END))
      psccl->RsltSetSize = held();
  }
  return ER_SUCCESS;
}
