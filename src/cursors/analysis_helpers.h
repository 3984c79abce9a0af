// Small helpers of the statement analysis, shared by analysis.cpp,
// statement_columns.cpp and statement_rewrite.cpp (and included by nothing
// else): the element i of a list, a list's length, the statement's table
// count and key columns, a fresh list, the same base column, and DISTINCT.
#pragma once

#include <cstring>

#include "backend/sccl.h"
#include "cursors/keyset_store.h"

template <class T>
inline T* At(alist_t* l, unsigned i) {
  return static_cast<T*>(alist_At(l, i));
}

inline unsigned Count(const alist_t* l) { return l ? l->cUsed : 0; }

inline uns8 TableCount(PSCCL me) {
  unsigned n = Count(me->pLS_RefdTables);
  return uns8(n > 255 ? 255 : n);
}

inline alist_t* KeyCols(PSCCL me) { return me->pKeySet ? me->pKeySet->pLS_KeyCols : nullptr; }

inline void FreeList(alist_t** pp, alist_destroy_fun destroy) {
  if (*pp) alist_Dealloc(pp, destroy);
  *pp = nullptr;
}

// A fresh empty list in *pp (the old one freed); false when memory fails.
inline bool NewList(alist_t** pp, size_t elem, alist_destroy_fun destroy) {
  FreeList(pp, destroy);
  *pp = alist_Alloc(elem);
  return *pp != nullptr;
}

// Same base column: every name part equal.
inline bool SameColumn(const SCColDesc& a, const SCColDesc& b) {
  return strcmp(a.col_name, b.col_name) == 0 && strcmp(a.tbl_name, b.tbl_name) == 0 &&
         strcmp(a.owner_name, b.owner_name) == 0 && strcmp(a.qualifier, b.qualifier) == 0;
}

// SELECT DISTINCT: its rows are not rows of its tables either.
inline bool IsDistinct(SC_Request* r) {
  PRSTR_NODE* sel = scr_OuterSelectExp(r->pParsTree);
  PRSTR_NODE* top = pt_Child(sel, 1);
  PRSTR_NODE* all = top && top->symbl.nType == EXPR_OPT_TOP ? (pt_IsInner(top) ? top->left : top) : nullptr;
  return all && all->symbl.nType == EXPR_OPT_ALL_DISTINCT && strcmp(pt_Label(all), "DISTINCT") == 0;
}
