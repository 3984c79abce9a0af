#include "sql/tree_walk.h"

#include <cstdlib>
#include <vector>

namespace {

template <typename Step>
void walk(tr_node* cur, Step step) {
  std::vector<tr_node*> resume;  // where each open level continues
  for (;;) {
    while (cur) {
      if (!step(cur)) break;  // ends this sibling chain only
      if (cur->left) {
        resume.push_back(cur->right);
        cur = cur->left;
      } else {
        cur = cur->right;
      }
    }
    if (resume.empty()) return;
    cur = resume.back();
    resume.pop_back();
  }
}

}  // namespace

void tr_preorder(void* node, tr_process_fun process, int differentiator, void* yourPtr) {
  if (!node || !process) return;
  walk(static_cast<tr_node*>(node), [&](tr_node* n) { return process(n, differentiator, yourPtr); });
}

void tr_preorder2Id(void* node, tr_process2_fun process, int differentiator, int endId, void* yourPtr) {
  if (!node || !process) return;
  walk(static_cast<tr_node*>(node), [&](tr_node* n) { return process(n, differentiator, endId, yourPtr); });
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
