// The symbol search tree (symbol_table.h): entries found by exact comparison.
#include "sql/symbol_table.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "sql/parse_tree.h"

PBST BST_create(bst_comp_fun comp, bst_clone_fun clone, bst_destroy_fun destroy) {
  if (!comp || !clone || !destroy) return nullptr;
  PBST t = static_cast<PBST>(calloc(1, sizeof(_BST)));
  if (!t) return nullptr;
  t->pCompareFunc = comp;
  t->pCloneFunc = clone;
  t->pDestroyFunc = destroy;
  return t;
}

PBSTN BST_insert(PBST t, void* pData) {
  if (!t) return nullptr;
  PBSTN* link = &t->pBSTN;
  while (*link) {
    int c = t->pCompareFunc((*link)->pData, pData);
    if (c == 0) return *link;
    link = c < 0 ? &(*link)->pLeft : &(*link)->pRight;
  }
  PBSTN n = static_cast<PBSTN>(calloc(1, sizeof(_BSTN)));
  if (!n) return nullptr;
  n->pHead = t;
  if (!t->pCloneFunc(&n->pData, pData)) {
    free(n);
    return nullptr;
  }
  *link = n;
  t->cItems++;
  return n;
}

PBSTN BST_find(PBST t, void* pData) {
  if (!t) return nullptr;
  PBSTN n = t->pBSTN;
  while (n) {
    int c = t->pCompareFunc(n->pData, pData);
    if (c == 0) return n;
    n = c < 0 ? n->pLeft : n->pRight;
  }
  return nullptr;
}

void BST_inOrder(PBST t, bst_process_fun process) {
  if (!t || !process) return;
  std::vector<PBSTN> stack;
  PBSTN n = t->pBSTN;
  while (n || !stack.empty()) {
    while (n) {
      stack.push_back(n);
      n = n->pLeft;
    }
    n = stack.back();
    stack.pop_back();
    process(n->pData);
    n = n->pRight;
  }
}

void BST_destroy(PBST t) {
  if (!t) return;
  std::vector<PBSTN> todo;
  if (t->pBSTN) todo.push_back(t->pBSTN);
  while (!todo.empty()) {
    PBSTN n = todo.back();
    todo.pop_back();
    if (n->pLeft) todo.push_back(n->pLeft);
    if (n->pRight) todo.push_back(n->pRight);
    t->pDestroyFunc(n->pData);
    free(n->pData);
    t->cItems--;
    free(n);
  }
  free(t);
}

int symblClone(void** ppClone, void* pSrc) {
  if (!ppClone || !pSrc) return 0;
  *ppClone = nullptr;
  symbol_t* s = static_cast<symbol_t*>(calloc(1, sizeof(symbol_t)));
  if (!s) return 0;
  size_t n = strlen(static_cast<char*>(pSrc)) + 1;
  s->szLabel = static_cast<char*>(malloc(n));
  if (!s->szLabel) {
    free(s);
    return 0;
  }
  memcpy(s->szLabel, pSrc, n);
  *ppClone = s;
  return 1;
}

int symblComp(void* pDataItem, void* pToMatch) {
  symbol_t* s = static_cast<symbol_t*>(pDataItem);
  if (!s || !s->szLabel || !pToMatch) return 0;
  return strcmp(s->szLabel, static_cast<char*>(pToMatch));
}

void symblDestroy(void* pData) {
  if (!pData) return;
  symbol_t* s = static_cast<symbol_t*>(pData);
  free(s->szLabel);
  s->szLabel = nullptr;
}
