// Reading catalog rows (catalog_rows.h): the whole result of a catalog call
// on the first auxiliary cursor, and its cells as names and integers. Called
// by table and column discovery and by the key-column search.
#include "cursors/catalog_rows.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cursors/inner.h"
#include "model/dataset_util.h"
#include "util/log.h"
#include "util/strutil.h"

errcode_t scs_p_GetTblAttribs_GetNameCellAttr(const char* cell, ctype_t cType, precision_t width,
                                              const char** ppText, const wchar_t** ppWText, size_t* pLen) {
  if (!Dataset_CellTextSpan(cell, cType, width, ppText, ppWText, pLen)) return ER_GENERAL_ERROR;
  if (*pLen > SCS_IDENT_MAX) *pLen = SCS_IDENT_MAX;
  return ER_SUCCESS;
}

// Rows of the auxiliary cursor's result, read until a fetch brings none (a
// driver may hand out fewer rows per fetch than asked for).
errcode_t scs_p_FetchCatalogRows(PSCCL me, Dataset* all) {
  *all = Dataset{};
  for (;;) {
    Dataset batch{};
    errcode_t rc = SCs_Inner(me->pDrv).fetch(me->hSCCurs, 10, &batch);
    if (rc != ER_SUCCESS) {
      Dataset_Done(&batch);
      return rc;
    }
    if (batch.nRows <= 0) {
      if (all->nCols == 0) {
        Dataset_Done(all);
        *all = batch;
      } else {
        Dataset_Done(&batch);
      }
      return ER_SUCCESS;
    }
    if (all->nRows == 0) {
      Dataset_Done(all);
      *all = batch;
      continue;
    }
    rc = Dataset_Grow(all, &batch);
    Dataset_Done(&batch);
    if (rc != ER_SUCCESS) return rc;
  }
}

errcode_t scs_p_CatalogRows(PSCCL me, errcode_t callRc, const char* callFailed, const char* fetchFailed,
                            Dataset* rows) {
  *rows = Dataset{};
  if (callRc != ER_SUCCESS) {
    logit(LOG_ERR, __FILE__, __LINE__, "%s", callFailed);
    return callRc;
  }
  errcode_t rc = scs_p_FetchCatalogRows(me, rows);
  if (rc != ER_SUCCESS) {
    Dataset_Done(rows);
    logit(LOG_ERR, __FILE__, __LINE__, "%s", fetchFailed);
  }
  return rc;
}

errcode_t scs_p_CatalogColumns(PSCCL me, DDColumns* args, const char* who, Dataset* rows) {
  errcode_t rc = ER_NO_MEMORY;
  if (args->tableOwner && args->tableName && args->columnName)
    rc = SCs_Inner(me->pDrv).ddColumns(me->hSCCurs, args);
  free(args->tableQualifier);
  free(args->tableOwner);
  free(args->tableName);
  free(args->columnName);
  *args = DDColumns{};
  const std::string callFailed = std::string(who) + ": DRV_DDColumns failed.";
  const std::string fetchFailed = std::string(who) + ": Couldn't fetch column descriptors.";
  return scs_p_CatalogRows(me, rc, callFailed.c_str(), fetchFailed.c_str(), rows);
}

bool CellText(const Coldata* c, sgn32 row, int unicode, std::string* out) {
  return Dataset_CellText(c, uint64_t(row), unicode != 0, SCS_IDENT_MAX, SCS_IDENT_MAX, out);
}

bool CellNull(const Coldata* c, sgn32 row) { return c->indicators[row] != 0; }

bool CellNull(const Dataset& ds, unsigned col, sgn32 row) {
  return col >= ds.nCols || ds.col[col].indicators[row] == IND_NULL;
}

bool CellInt(const Coldata* c, sgn32 row, sgn32* pValue) {
  const char* p = Coldata_Cell(c, uint64_t(row));
  switch (c->cType) {
    case CTYPE_SGN8:
      *pValue = sgn8(p[0]);
      return true;
    case CTYPE_UNS8:
      *pValue = uns8(p[0]);
      return true;
    case CTYPE_SGN16: {
      sgn16 v;
      memcpy(&v, p, 2);
      *pValue = v;
      return true;
    }
    case CTYPE_UNS16: {
      uns16 v;
      memcpy(&v, p, 2);
      *pValue = v;
      return true;
    }
    case CTYPE_SGN32:
    case CTYPE_UNS32: {
      sgn32 v;
      memcpy(&v, p, 4);
      *pValue = v;
      return true;
    }
    default:
      return false;
  }
}

sgn32 CellInt(const Coldata* c, sgn32 row) {
  sgn32 v = 0;
  return CellInt(c, row, &v) ? v : 0;
}

bool CellInt(const Dataset& ds, unsigned col, sgn32 row, sgn32* pValue) {
  return col < ds.nCols && CellInt(&ds.col[col], row, pValue);
}

sgn32 CellIntOr0(const Dataset& ds, unsigned col, sgn32 row) {
  sgn32 v = 0;
  if (CellNull(ds, col, row) || !CellInt(ds, col, row, &v)) return 0;
  return v;
}

errcode_t CellName(PSCCL me, const Dataset& ds, unsigned col, sgn32 row, std::string* out) {
  out->clear();
  if (CellNull(ds, col, row)) return ER_SUCCESS;
  if (!CellText(&ds.col[col], row, me->unicode, out)) return ER_GENERAL_ERROR;
  if (out->size() > SCR_NAME_MAX) out->resize(SCR_NAME_MAX);
  return ER_SUCCESS;
}
