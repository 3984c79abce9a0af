// Search tree with symbol entries compared exactly: 'abc' and 'ABC', or
// "Name" and "NAME", stay distinct. The parser itself does not intern its
// tokens in this tree: every token gets its own exact entry from a per-parse
// arena, so that a statement with a long sorted list (an IN list of 100,000
// numbers) is read in linear time, where this unbalanced tree would degrade to
// a list. Labels are copies either way, so nothing observable differs.
#pragma once

typedef int (*bst_comp_fun)(void* pDataItem, void* pToMatch);
typedef int (*bst_clone_fun)(void** ppClone, void* pSrc);
typedef void (*bst_destroy_fun)(void* pData);
typedef void (*bst_process_fun)(void* pData);

struct _BST;
struct _BSTN {
  _BSTN* pLeft;
  _BSTN* pRight;
  _BST* pHead;  // the owning tree
  void* pData;  // item made by the clone function, owned by the node
};
struct _BST {
  _BSTN* pBSTN;  // root or NULL
  bst_comp_fun pCompareFunc;
  bst_clone_fun pCloneFunc;
  bst_destroy_fun pDestroyFunc;
  long cItems;
};
typedef _BST* PBST;
typedef _BSTN* PBSTN;

PBST BST_create(bst_comp_fun comp, bst_clone_fun clone, bst_destroy_fun destroy);
// The node holding a key equal to pData (unchanged), or a new node with a
// clone of it; NULL for a NULL tree or when memory fails.
PBSTN BST_insert(PBST pBST, void* pData);
PBSTN BST_find(PBST pBST, void* pData);
void BST_inOrder(PBST pBST, bst_process_fun process);
void BST_destroy(PBST pBST);

// Symbol entries (symbol_t with a heap copy of the text in szLabel).
int symblClone(void** ppClone, void* pSrc);
int symblComp(void* pDataItem, void* pToMatch);  // exact comparison
void symblDestroy(void* pData);
