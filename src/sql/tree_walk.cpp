// The callback walks and the destruction of trees (tree_walk.h), over its tr_walk.
#include "sql/tree_walk.h"

#include <cstdlib>
#include <vector>

void tr_preorder(void* node, tr_process_fun process, int differentiator, void* yourPtr) {
  if (!node || !process) return;
  tr_walk(static_cast<tr_node*>(node),
          [&](tr_node* n) { return process(n, differentiator, yourPtr) ? TR_ENTER : TR_END_CHAIN; });
}

void tr_preorder2Id(void* node, tr_process2_fun process, int differentiator, int endId, void* yourPtr) {
  if (!node || !process) return;
  tr_walk(static_cast<tr_node*>(node),
          [&](tr_node* n) { return process(n, differentiator, endId, yourPtr) ? TR_ENTER : TR_END_CHAIN; });
}

void tr_preorderLeft(void* node, tr_process_fun process, int differentiator, void* yourPtr) {
  if (!node || !process) return;
  tr_node* n = static_cast<tr_node*>(node);
  if (process(n, differentiator, yourPtr) && n->left) tr_preorder(n->left, process, differentiator, yourPtr);
}

void tr_close(void* ppRoot, tr_destroy_fun destroy) {
  tr_node** pp = static_cast<tr_node**>(ppRoot);
  if (!pp || !*pp) return;
  std::vector<tr_node*> todo{*pp};
  while (!todo.empty()) {
    tr_node* n = todo.back();
    todo.pop_back();
    if (n->left) todo.push_back(n->left);
    if (n->right) todo.push_back(n->right);
    if (destroy) destroy(n);
    free(n);
  }
  *pp = nullptr;
}
