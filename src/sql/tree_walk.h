// Generic walks over first-child/next-sibling trees. A parse-tree node begins
// with the two links of tr_node and is walked as one. Walks and destruction are
// iterative, so trees of any depth (a list of 100,000 values is a left-deep
// chain) never exhaust the C stack.
#pragma once

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
