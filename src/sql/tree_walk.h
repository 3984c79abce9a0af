// Generic walks over first-child/next-sibling trees. A parse-tree node begins
// with the two links of tr_node and is walked as one. Walks and destruction are
// iterative, so trees of any depth (a list of 100,000 values is a left-deep
// chain) never exhaust the C stack.
#pragma once

#include "sql/small_stack.h"

struct tr_node {
  tr_node* left;   // first child
  tr_node* right;  // next sibling
};

// A walk step: nonzero to go on, 0 to stop the current sibling chain (the
// node's children and later siblings are skipped; enclosing levels go on).
typedef int (*tr_process_fun)(void* node, int differentiator, void* yourPtr);
typedef int (*tr_process2_fun)(void* node, int differentiator, int endId, void* yourPtr);
typedef void (*tr_destroy_fun)(void* node);

// Pre-order over the node, its children, and its later siblings.
void tr_preorder(void* node, tr_process_fun process, int differentiator, void* yourPtr);
void tr_preorder2Id(void* node, tr_process2_fun process, int differentiator, int endId, void* yourPtr);
// The node alone (not its siblings), then its children when process said go on.
void tr_preorderLeft(void* node, tr_process_fun process, int differentiator, void* yourPtr);
// Frees the node, everything below it and its later siblings; calls destroy on
// each node first; sets *ppRoot to null.
void tr_close(void* ppRoot, tr_destroy_fun destroy);

// What a step of tr_walk answers for its node.
enum tr_step {
  TR_ENTER,      // go on with the node's children, then its later siblings
  TR_SKIP,       // go on with its later siblings, not its children
  TR_END_CHAIN,  // skip its children and later siblings; enclosing levels go on
  TR_STOP,       // end the walk
};

// The pre-order walk behind the walks above and the parse tree's searches:
// from cur over its later siblings and, where step enters, their children.
// Node is any record that begins with the two links of tr_node.
template <typename Node, typename Step>
void tr_walk(Node* cur, Step step) {
  SmallStack<Node*, 64> resume;  // where each open level continues
  for (;;) {
    while (cur) {
      const tr_step s = step(cur);
      if (s == TR_STOP) return;
      if (s == TR_END_CHAIN) break;
      if (s == TR_ENTER && cur->left) {
        if (cur->right) resume.push(cur->right);
        cur = cur->left;
      } else {
        cur = cur->right;
      }
    }
    if (resume.empty()) return;
    cur = resume.top();
    resume.pop();
  }
}
