// Column attributes: copy, compare, free and pack for the wire.
#include "model/colattr.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

#include "util/hashtab.h"
#include "model/wire_alloc.h"

ColAttrib* ColAttribCopy(ColAttrib* pDst, ColAttrib* pSrc, int fCopyType) {
  *pDst = *pSrc;
  if (fCopyType == 2 && pSrc->attribVal.attribType == ATTR_STRING && pSrc->attribVal.u.s) {
    size_t n = std::strlen(pSrc->attribVal.u.s) + 1;
    char* copy = static_cast<char*>(wire_malloc(n));
    if (copy) std::memcpy(copy, pSrc->attribVal.u.s, n);
    pDst->attribVal.u.s = copy;
  }
  return pDst;
}

int ColAttribEqual(ColAttrib* pA1, ColAttrib* pA2) {
  if (pA1->attribVal.attribType != pA2->attribVal.attribType) return 0;
  switch (pA1->attribVal.attribType) {
    case ATTR_STRING:
      return pA1->attribVal.u.s == pA2->attribVal.u.s;
    case ATTR_SGN32:
    case ATTR_UNS32:
      return pA1->attribVal.u.l == pA2->attribVal.u.l;
    case ATTR_FLT64:
      return pA1->attribVal.u.f == pA2->attribVal.u.f;
    default:
      return 0;
  }
}

void ColAttribFree(ColAttrib* pColAttrib) {
  if (pColAttrib && pColAttrib->attribVal.attribType == ATTR_STRING) {
    std::free(pColAttrib->attribVal.u.s);
    pColAttrib->attribVal.u.s = nullptr;
  }
}

uns16 ColAttribPack_Scan(uns16 nAttribs, ColAttrib* rAttrib, uns16 nPackedAttribs, ColAttrib* rPackedAttrib,
                         int fCopyType) {
  if (rPackedAttrib && nPackedAttribs == 0) return 0;
  if (!rAttrib || nAttribs == 0) return 0;
  int current = rAttrib[0].attribId < 0 ? -rAttrib[0].attribId : rAttrib[0].attribId;
  ColAttrib* base = nullptr;
  uns16 count = 0;
  for (uns16 i = 0; i < nAttribs; ++i) {
    ColAttrib* e = &rAttrib[i];
    if (e->attribId < 0) continue;
    if (e->col == 0) {
      base = e;
      current = e->attribId;
    } else if (e->attribId != current) {
      current = e->attribId;
      base = nullptr;
    } else if (base && ColAttribEqual(base, e)) {
      continue;
    }
    if (rPackedAttrib) ColAttribCopy(&rPackedAttrib[count], e, fCopyType);
    ++count;
    if (rPackedAttrib && count >= nPackedAttribs) break;
  }
  return count;
}

namespace {
// Frees the working array and each distinct string in it once: the producer may let
// several entries share one string.
void free_working_array(uns16 n, ColAttrib* a) {
  if (!a) return;
  std::vector<char*> strings;
  for (uns16 i = 0; i < n; ++i)
    if (a[i].attribVal.attribType == ATTR_STRING && a[i].attribVal.u.s) strings.push_back(a[i].attribVal.u.s);
  std::sort(strings.begin(), strings.end());
  strings.erase(std::unique(strings.begin(), strings.end()), strings.end());
  for (char* s : strings) std::free(s);
  std::free(a);
}
}  // namespace

errcode_t ColAttribPack(uns16 nAttribs, ColAttrib* rAttrib, uns16* pnPackedAttribs,
                        ColAttrib** prPackedAttrib, int fCopyType) {
  (void)fCopyType;  // the packed array always owns copies of its strings
  *pnPackedAttribs = 0;
  *prPackedAttrib = nullptr;
  if (nAttribs == 0 || !rAttrib) {
    free_working_array(nAttribs, rAttrib);
    return ER_SUCCESS;
  }
  uns16 n = ColAttribPack_Scan(nAttribs, rAttrib, 0, nullptr, 2);
  if (n == 0) {
    free_working_array(nAttribs, rAttrib);
    return ER_SUCCESS;
  }
  ColAttrib* packed = static_cast<ColAttrib*>(wire_calloc(n, sizeof(ColAttrib)));
  errcode_t rc = ER_SUCCESS;
  uns16 got = 0;
  if (!packed) {
    rc = ER_NO_MEMORY;
  } else {
    got = ColAttribPack_Scan(nAttribs, rAttrib, n, packed, 2);
    for (uns16 i = 0; i < got; ++i) {
      // A string whose copy failed: the whole packing fails rather than send a hole.
      if (packed[i].attribVal.attribType == ATTR_STRING && !packed[i].attribVal.u.s) {
        bool had = false;
        for (uns16 j = 0; j < nAttribs && !had; ++j)
          had = rAttrib[j].col == packed[i].col && rAttrib[j].attribId == packed[i].attribId &&
                rAttrib[j].attribVal.attribType == ATTR_STRING && rAttrib[j].attribVal.u.s;
        if (had) rc = ER_NO_MEMORY;
      }
    }
    if (rc != ER_SUCCESS) {
      for (uns16 i = 0; i < got; ++i) ColAttribFree(&packed[i]);
      std::free(packed);
    }
  }
  free_working_array(nAttribs, rAttrib);
  if (rc == ER_SUCCESS) {
    *pnPackedAttribs = got;
    *prPackedAttrib = packed;
  }
  return rc;
}

int ColAttribLookup(HTTABLE* pHt, uns16 AttribId, uns16 iCol, sgn32* pInt32, char** ppStr, flt64* pFlt64) {
  if (!pHt) return 0;
  colAttribKey_t key = colAttribKey_t((uint32_t(AttribId) << 16) | iCol);
  ColAttrib* e = static_cast<ColAttrib*>(VYR_htgetdata(pHt, &key));
  if (!e) {
    key = colAttribKey_t(uint32_t(AttribId) << 16);  // the value for all columns
    e = static_cast<ColAttrib*>(VYR_htgetdata(pHt, &key));
  }
  if (!e || (e->col != iCol && e->col != 0) || e->attribId < 0 || uns16(e->attribId) != AttribId) return 0;
  switch (e->attribVal.attribType) {
    case ATTR_STRING:
      if (!ppStr) return 0;
      *ppStr = e->attribVal.u.s;
      return 1;
    case ATTR_SGN32:
    case ATTR_UNS32:
      if (!pInt32) return 0;
      *pInt32 = e->attribVal.u.l;
      return 1;
    case ATTR_FLT64:
      if (!pFlt64) return 0;
      *pFlt64 = e->attribVal.u.f;
      return 1;
    default:
      return 0;
  }
}

int ColAttribHtEntryDestroy(void* data, void*, void*) {
  ColAttrib* e = static_cast<ColAttrib*>(data);
  if (e) {
    ColAttribFree(e);
    std::free(e);
  }
  return 0;
}
