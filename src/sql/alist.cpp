// The growable array (alist.h): elements copied in, grown by doubling.
#include "sql/alist.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned int kStep = 10;

// Replaces the array by a zero-filled one with kStep more slots, keeping the
// first `keep` elements. 0 when memory or the size arithmetic fails.
int regrow(alist_t* l, unsigned int keep) {
  uint64_t slots = static_cast<uint64_t>(l->cAllocated) + kStep;
  if (slots > UINT32_MAX || slots > SIZE_MAX / l->ElemntSize) return 0;
  void* a = calloc(static_cast<size_t>(slots), l->ElemntSize);
  if (!a) return 0;
  if (l->rElemnts && keep) memcpy(a, l->rElemnts, keep * l->ElemntSize);
  free(l->rElemnts);
  l->rElemnts = a;
  l->cAllocated = static_cast<unsigned int>(slots);
  return 1;
}

}  // namespace

alist_t* alist_Alloc(size_t ElemntSize) {
  if (ElemntSize == 0 || ElemntSize > SIZE_MAX / kStep) return nullptr;
  alist_t* l = static_cast<alist_t*>(calloc(1, sizeof(alist_t)));
  if (!l) return nullptr;
  l->rElemnts = calloc(kStep, ElemntSize);
  if (!l->rElemnts) {
    free(l);
    return nullptr;
  }
  l->cAllocated = kStep;
  l->ElemntSize = ElemntSize;
  return l;
}

void alist_Dealloc(alist_t** ppList, alist_destroy_fun destroy) {
  if (!ppList || !*ppList) return;
  alist_t* l = *ppList;
  if (destroy && l->rElemnts)
    for (unsigned int i = 0; i < l->cUsed; i++) destroy(alist_At(l, i));
  free(l->rElemnts);
  free(l);
  *ppList = nullptr;
}

int alist_Add(alist_t* pList, const void* pElement) {
  if (!pList || !pElement) return 0;
  const void* src = pElement;
  if (pList->cUsed >= pList->cAllocated) {
    // The element may live inside the array being replaced (a list appended
    // to itself): find it again in the new array by its offset.
    uintptr_t base = reinterpret_cast<uintptr_t>(pList->rElemnts);
    uintptr_t e = reinterpret_cast<uintptr_t>(pElement);
    size_t bytes = static_cast<size_t>(pList->cAllocated) * pList->ElemntSize;
    bool inside = base && e >= base && e - base < bytes;
    size_t off = inside ? static_cast<size_t>(e - base) : 0;
    if (!regrow(pList, pList->cUsed)) return 0;
    if (inside) src = static_cast<char*>(pList->rElemnts) + off;
  }
  memcpy(alist_At(pList, pList->cUsed), src, pList->ElemntSize);
  pList->cUsed++;
  return 1;
}

int alist_Append(alist_t* pList, const alist_t* pSubList) {
  if (!pList || !pSubList || pList->ElemntSize != pSubList->ElemntSize) return 0;
  unsigned int n = pSubList->cUsed;  // fixed first: the sublist may be the list itself
  for (unsigned int i = 0; i < n; i++)
    if (!alist_Add(pList, alist_At(pSubList, i))) return 0;
  return 1;
}

int alist_Grow(alist_t* pList) {
  if (!pList || !pList->rElemnts) return 0;
  return regrow(pList, pList->cAllocated);
}

int alist_Delete(alist_t* pList, unsigned int iElement, alist_destroy_fun destroy) {
  if (!pList || iElement >= pList->cUsed) return 0;
  if (destroy) destroy(alist_At(pList, iElement));
  unsigned int after = pList->cUsed - iElement - 1;
  if (after) memmove(alist_At(pList, iElement), alist_At(pList, iElement + 1), after * pList->ElemntSize);
  pList->cUsed--;
  memset(alist_At(pList, pList->cUsed), 0, pList->ElemntSize);
  return 1;
}
