// Datasets, descriptors and rowsets: making, sizing, emptying and freeing.
#include "model/dataset.h"

#include <malloc.h>

#include <cstring>

#include "model/wire_alloc.h"

namespace {

void* long_data(const char* cell) {
  void* data;
  std::memcpy(&data, cell + 8, sizeof data);
  return data;
}

}  // namespace

int Coldata_Init(Coldata* me, sgn32 nRows) {
  if (nRows <= 0) {
    me->values = nullptr;
    me->indicators = nullptr;
    return nRows == 0 ? ER_SUCCESS : ER_GENERAL_ERROR;
  }
  uint64_t bytes = wire_column_bytes(static_cast<uint64_t>(nRows), me->width);
  void* values = bytes == UINT64_MAX ? nullptr : wire_calloc(bytes, 1);
  indicator_t* ind =
      values ? static_cast<indicator_t*>(wire_malloc(uint64_t(nRows) * sizeof(indicator_t))) : nullptr;
  if (!values || !ind) {
    std::free(values);
    me->values = nullptr;
    me->indicators = nullptr;
    return ER_NO_MEMORY;
  }
  for (sgn32 i = 0; i < nRows; ++i) ind[i] = -1;
  me->values = values;
  me->indicators = ind;
  return ER_SUCCESS;
}

// A long cell owns its buffer whenever the pointer is set (a decoded empty text
// still has its terminator allocated), unless the buffer is in the column's block.
void Coldata_Done(Coldata* me, sgn32 nRows) {
  if (!me) return;
  if (me->values && ctype_is_long(me->cType) && me->width >= 16) {
    const char* v = static_cast<const char*>(me->values);
    const uint64_t w = me->width;
    const auto b = reinterpret_cast<uintptr_t>(v);
    const size_t usable = malloc_usable_size(me->values);
    for (sgn32 i = 0; i < nRows; ++i) {
      uintptr_t q;
      std::memcpy(&q, v + uint64_t(i) * w + 8, sizeof q);
      // Null, or in the block: nothing of its own to free.
      if (__builtin_expect(q - b >= usable && q != 0, 0)) std::free(reinterpret_cast<void*>(q));
    }
  }
  std::free(me->values);
  std::free(me->indicators);
  me->values = nullptr;
  me->indicators = nullptr;
}

bool Coldata_InBlock(const Coldata* me, const void* p) {
  if (!me->values || !p) return false;
  // No buffer of its own can start inside the live block, so the block's bounds
  // tell the two kinds apart without a mark in the record.
  auto b = reinterpret_cast<uintptr_t>(me->values);
  auto q = reinterpret_cast<uintptr_t>(p);
  return q >= b && q - b < malloc_usable_size(me->values);
}

errcode_t Coldata_DetachLongData(Coldata* me, sgn32 nRows) {
  if (!me || !me->values || !ctype_is_long(me->cType) || me->width < 16 || nRows <= 0) return ER_SUCCESS;
  void** fresh = static_cast<void**>(wire_calloc(uint64_t(nRows), sizeof(void*)));
  if (!fresh) return ER_NO_MEMORY;
  for (sgn32 r = 0; r < nRows; ++r) {
    const char* cell = Coldata_Cell(me, r);
    void* data = long_data(cell);
    if (!Coldata_InBlock(me, data)) continue;
    uns32 len;
    std::memcpy(&len, cell, 4);
    // The copy ends with a terminator of its own: the length may have been cut since.
    uint64_t bytes = me->cType == CTYPE_WLCHR ? uint64_t(len) * 4 : len;
    uint64_t term = me->cType == CTYPE_WLCHR ? 4 : me->cType == CTYPE_LCHR ? 1 : 0;
    fresh[r] = wire_calloc(bytes + term, 1);
    if (!fresh[r]) {
      for (sgn32 i = 0; i < r; ++i) std::free(fresh[i]);
      std::free(fresh);
      return ER_NO_MEMORY;
    }
    std::memcpy(fresh[r], data, bytes);
  }
  for (sgn32 r = 0; r < nRows; ++r)
    if (fresh[r]) std::memcpy(Coldata_Cell(me, r) + 8, &fresh[r], sizeof(void*));
  std::free(fresh);
  return ER_SUCCESS;
}

int Dataset_Init(Dataset* me, uns16 nCols) {
  me->allocCols = 0;
  me->allocRows = 0;
  me->nCols = 0;
  me->nRows = 0;
  me->col = nullptr;
  if (nCols > 0) {
    me->col = static_cast<Coldata*>(wire_calloc(nCols, sizeof(Coldata)));
    if (!me->col) return ER_NO_MEMORY;
  }
  me->allocCols = nCols;
  return ER_SUCCESS;
}

int Dataset_AllocColumns(Dataset* me, sgn32 nRows) {
  if (nRows < 0) return ER_GENERAL_ERROR;
  if (nRows == 0 || me->nCols == 0) {
    me->allocRows = nRows;
    return ER_SUCCESS;
  }
  if (me->allocCols < me->nCols || !me->col) return ER_NO_MEMORY;
  for (uns16 i = 0; i < me->nCols; ++i) {
    int rc = Coldata_Init(&me->col[i], nRows);
    if (rc != ER_SUCCESS) {
      // Columns already given rows would be freed with the wrong count: take them back.
      for (uns16 j = 0; j < i; ++j) Coldata_Done(&me->col[j], nRows);
      return rc;
    }
  }
  me->allocRows = nRows;
  return ER_SUCCESS;
}

void Dataset_Done(Dataset* me) {
  if (!me) return;
  if (me->col) {
    for (uns16 i = 0; i < me->allocCols; ++i) Coldata_Done(&me->col[i], me->allocRows);
    std::free(me->col);
  }
  me->col = nullptr;
  me->allocCols = 0;
  me->allocRows = 0;
  me->nCols = 0;
  me->nRows = 0;
}

precision_t Dataset_SizeCol(ctype_t cType, precision_t maxDataLength) {
  uint64_t n = maxDataLength;
  uint64_t w;
  switch (cType) {
    case CTYPE_VOID:
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
      w = 1;
      break;
    case CTYPE_SGN16:
    case CTYPE_UNS16:
      w = 2;
      break;
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      w = 4;
      break;
    case CTYPE_FLT64:
      w = 8;
      break;
    case CTYPE_DATE:
    case CTYPE_TIME:
      w = 6;
      break;
    case CTYPE_TIMESTAMP:
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR:
      w = 16;
      break;
    case CTYPE_VCHR:
    case CTYPE_VCHR8:
    case CTYPE_VBIN8:
      w = n + 1;
      break;
    case CTYPE_VCHR16:
    case CTYPE_VBIN16:
      w = (n + 3) & ~uint64_t(1);
      break;
    case CTYPE_VCHR32:
    case CTYPE_VBIN32:
      w = (n + 7) & ~uint64_t(3);
      break;
    case CTYPE_WCHR:
      w = 4 * n;
      break;
    case CTYPE_WVCHR:
    case CTYPE_WVCHR32:
      w = 4 * n + 4;
      break;
    default:  // CTYPE_CHR, CTYPE_BIN and anything unknown
      w = n;
      break;
  }
  // A width that cannot be represented saturates; allocating it then fails cleanly.
  return w > UINT32_MAX ? UINT32_MAX : static_cast<precision_t>(w);
}

errcode_t AllocDataset(Coldesc* pDesc, uns16 nCols, sgn32 maxRows, Dataset* pBind) {
  if (!pBind || maxRows < 0 || (nCols > 0 && !pDesc)) return ER_GENERAL_ERROR;
  if (Dataset_Init(pBind, nCols) != ER_SUCCESS) return ER_NO_MEMORY;
  pBind->nCols = nCols;
  for (uns16 i = 0; i < nCols; ++i) {
    pBind->col[i].cType = pDesc[i].fetchType;
    pBind->col[i].width = Dataset_SizeCol(pDesc[i].fetchType, pDesc[i].fetchLength);
  }
  if (nCols == 0) {
    pBind->allocRows = maxRows;
    return ER_SUCCESS;
  }
  if (maxRows != 0 && Dataset_AllocColumns(pBind, maxRows) != ER_SUCCESS) {
    Dataset_Done(pBind);
    return ER_NO_MEMORY;
  }
  pBind->allocRows = maxRows;
  return ER_SUCCESS;
}

Coldesc* AllocColdesc(uns16 nCols) {
  return static_cast<Coldesc*>(wire_calloc(nCols ? nCols : 1, sizeof(Coldesc)));
}

void FreeColdesc(Coldesc* pColdesc, uns16 nCols) {
  if (!pColdesc) return;
  for (uns16 i = 0; i < nCols; ++i) {
    std::free(pColdesc[i].qualifierName);
    std::free(pColdesc[i].ownerName);
    std::free(pColdesc[i].tableName);
    std::free(pColdesc[i].columnName);
  }
  std::free(pColdesc);
}

Bindesc* AllocBindesc(uns16 nCols) {
  return static_cast<Bindesc*>(wire_calloc(nCols ? nCols : 1, sizeof(Bindesc)));
}

errcode_t RS_Alloc(PRSET pRowSet, sgn32 RSSize) {
  if (!pRowSet || RSSize <= 0) return ER_GENERAL_ERROR;
  RS_Done(pRowSet);
  pRowSet->RSSize = 0;
  uns16* status = static_cast<uns16*>(wire_calloc(uint64_t(RSSize), sizeof(uns16)));
  Dataset* ds = status ? static_cast<Dataset*>(wire_calloc(1, sizeof(Dataset))) : nullptr;
  if (!status || !ds || Dataset_Init(ds, 0) != ER_SUCCESS) {
    std::free(status);
    std::free(ds);
    return ER_NO_MEMORY;
  }
  for (sgn32 i = 0; i < RSSize; ++i) status[i] = 3;  // no row
  pRowSet->rgfRowStatus = status;
  pRowSet->pDataset = ds;
  pRowSet->RSSize = RSSize;
  return ER_SUCCESS;
}

errcode_t RS_Create(PRSET* ppRowSet, sgn32 RSSize) {
  if (!ppRowSet || RSSize <= 0) return ER_GENERAL_ERROR;
  RowSet* rs = static_cast<RowSet*>(wire_calloc(1, sizeof(RowSet)));
  if (!rs) return ER_NO_MEMORY;
  errcode_t rc = RS_Alloc(rs, RSSize);
  if (rc != ER_SUCCESS) {
    std::free(rs);
    return rc;
  }
  *ppRowSet = rs;
  return ER_SUCCESS;
}

void RS_Done(PRSET pRowSet) {
  if (!pRowSet) return;
  if (pRowSet->pDataset) {
    Dataset_Done(pRowSet->pDataset);
    std::free(pRowSet->pDataset);
    pRowSet->pDataset = nullptr;
  }
  std::free(pRowSet->rgfRowStatus);
  pRowSet->rgfRowStatus = nullptr;
}

void RS_Destroy(PRSET* ppRowSet) {
  if (!ppRowSet) return;
  if (*ppRowSet) {
    RS_Done(*ppRowSet);
    std::free(*ppRowSet);
  }
  *ppRowSet = nullptr;
}
