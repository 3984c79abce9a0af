// Growable array of fixed-size elements that are copied in. The SQL analysis
// and the cursor engine collect nodes, tables, select items and sort columns
// in these lists. Failures are reported by returning 0 (or null) and leave the
// list as it was.
#pragma once

#include <cstddef>

struct _alist {
  unsigned int cUsed;       // elements in use
  unsigned int cAllocated;  // element slots; starts at 10, grows by 10
  void* rElemnts;           // the element array, zero-filled when allocated
  size_t ElemntSize;        // size of one element
};
typedef struct _alist alist_t;

// Destructor of one element: receives the element's address in the array.
typedef void (*alist_destroy_fun)(void* pElement);

alist_t* alist_Alloc(size_t ElemntSize);
void alist_Dealloc(alist_t** ppList, alist_destroy_fun destroy);
int alist_Add(alist_t* pList, const void* pElement);
// Appending a list to itself doubles it.
int alist_Append(alist_t* pList, const alist_t* pSubList);
int alist_Grow(alist_t* pList);
int alist_Delete(alist_t* pList, unsigned int iElement, alist_destroy_fun destroy);

// Address of element i (no bounds check; the caller keeps i below cUsed).
inline void* alist_At(const alist_t* pList, unsigned int i) {
  return static_cast<char*>(pList->rElemnts) + static_cast<size_t>(i) * pList->ElemntSize;
}
