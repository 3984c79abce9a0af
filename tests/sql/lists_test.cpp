// Lists, tree walks and the search tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sql/alist.h"
#include "sql/parse_tree.h"
#include "sql/symbol_table.h"
#include "sql/tree_walk.h"

namespace {

int at(alist_t* l, unsigned i) { return *static_cast<int*>(alist_At(l, i)); }

TEST(AList, GrowsByTenAndKeepsElements) {
  alist_t* l = alist_Alloc(sizeof(int));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->cAllocated, 10u);
  for (int i = 0; i < 11; i++) ASSERT_EQ(alist_Add(l, &i), 1);
  EXPECT_EQ(l->cAllocated, 20u);
  for (int i = 0; i < 11; i++) EXPECT_EQ(at(l, i), i);
  EXPECT_EQ(alist_Add(l, nullptr), 0);
  EXPECT_EQ(alist_Add(nullptr, &l), 0);
  alist_Dealloc(&l, nullptr);
  EXPECT_EQ(l, nullptr);
  EXPECT_EQ(alist_Alloc(0), nullptr);
}

TEST(AList, AppendCases) {
  alist_t* a = alist_Alloc(sizeof(int));
  alist_t* empty = alist_Alloc(sizeof(int));
  alist_t* other = alist_Alloc(sizeof(short));
  for (int i = 0; i < 7; i++) alist_Add(a, &i);
  EXPECT_EQ(alist_Append(a, empty), 1);
  EXPECT_EQ(a->cUsed, 7u);
  short s = 1;
  alist_Add(other, &s);
  EXPECT_EQ(alist_Append(a, other), 0);
  EXPECT_EQ(a->cUsed, 7u);
  // a list appended to itself doubles, even across a growth of its array
  EXPECT_EQ(alist_Append(a, a), 1);
  ASSERT_EQ(a->cUsed, 14u);
  for (int i = 0; i < 14; i++) EXPECT_EQ(at(a, i), i % 7);
  alist_Dealloc(&a, nullptr);
  alist_Dealloc(&empty, nullptr);
  alist_Dealloc(&other, nullptr);
}

int destroyed;
void countDestroy(void*) { destroyed++; }

TEST(AList, NullArgumentsAreRefused) {
  int v = 1;
  alist_t* l = alist_Alloc(sizeof(int));
  EXPECT_EQ(alist_Grow(nullptr), 0);
  EXPECT_EQ(alist_Append(nullptr, l), 0);
  EXPECT_EQ(alist_Append(l, nullptr), 0);
  EXPECT_EQ(alist_Delete(nullptr, 0, nullptr), 0);
  EXPECT_EQ(alist_Delete(l, 0, nullptr), 0);  // empty list
  alist_Dealloc(nullptr, nullptr);
  alist_t* none = nullptr;
  alist_Dealloc(&none, nullptr);
  ASSERT_EQ(alist_Add(l, &v), 1);
  EXPECT_EQ(l->cUsed, 1u);
  alist_Dealloc(&l, nullptr);
}

TEST(AList, DeleteAndDestructor) {
  alist_t* l = alist_Alloc(sizeof(int));
  for (int i = 0; i < 5; i++) alist_Add(l, &i);
  destroyed = 0;
  EXPECT_EQ(alist_Delete(l, 5, countDestroy), 0);
  EXPECT_EQ(alist_Delete(l, 4, countDestroy), 1);
  EXPECT_EQ(l->cUsed, 4u);
  EXPECT_EQ(alist_Delete(l, 0, countDestroy), 1);
  EXPECT_EQ(at(l, 0), 1);
  EXPECT_EQ(at(l, 2), 3);
  EXPECT_EQ(alist_Grow(l), 1);
  EXPECT_EQ(l->cAllocated, 20u);
  alist_Dealloc(&l, countDestroy);
  EXPECT_EQ(destroyed, 5);
}

// A small tree: r(a(c d) b)
struct Tree {
  PRSTR_NODE* c = pt_leaf(EXPR_LITERAL, "c");
  PRSTR_NODE* d = pt_leaf(EXPR_UNS_INT, "d");
  PRSTR_NODE* a = pt_node(EXPR_EXPRESSION, "\xff\x01\x01+\xff\x01\x02", 2, c, d);
  PRSTR_NODE* b = pt_leaf(EXPR_UNS_INT, "b");
  PRSTR_NODE* r = pt_node(EXPR_TERM, "[\xff\x01\x01|\xff\x01\x02]", 2, a, b);
  ~Tree() { pt_treeFree(&r); }
};

std::vector<std::string> visited;
int record(void* n, int stopKind, void*) {
  PRSTR_NODE* p = static_cast<PRSTR_NODE*>(n);
  visited.push_back(p->symbl.szLabel ? p->symbl.szLabel : std::to_string(p->symbl.nType));
  return p->symbl.nType != stopKind;
}

TEST(TreeWalk, PreorderAndStops) {
  Tree t;
  visited.clear();
  tr_preorder(t.r, record, -1, nullptr);
  EXPECT_EQ(visited, (std::vector<std::string>{"91", "23", "c", "d", "b"}));
  // stopping at the expression skips its subtree and its later siblings
  visited.clear();
  tr_preorder(t.r, record, EXPR_EXPRESSION, nullptr);
  EXPECT_EQ(visited, (std::vector<std::string>{"91", "23"}));
  // stopping at a leaf skips its later siblings
  visited.clear();
  tr_preorder(t.r, record, EXPR_LITERAL, nullptr);
  EXPECT_EQ(visited, (std::vector<std::string>{"91", "23", "c", "b"}));

  void* found = nullptr;
  tr_preorder(t.r, ptn_FindFirst, EXPR_UNS_INT, &found);
  EXPECT_EQ(found, t.d);
  found = nullptr;
  tr_preorder(t.r, ptn_FindFirst, EXPR_TERM, &found);
  EXPECT_EQ(found, t.r);
  found = nullptr;
  tr_preorder2Id(t.r, ptn_FindFirst2Id, EXPR_UNS_INT, EXPR_LITERAL, &found);
  EXPECT_EQ(found, t.b);  // d, after the end kind, is not searched
  found = nullptr;
  tr_preorder2Id(t.r, ptn_FindFirst2Id, EXPR_UNS_INT, EXPR_EXPRESSION, &found);
  EXPECT_EQ(found, nullptr);

  alist_t* all = alist_Alloc(sizeof(void*));
  tr_preorder(t.r, ptn_FindAll, EXPR_UNS_INT, all);
  EXPECT_EQ(all->cUsed, 2u);
  alist_Dealloc(&all, nullptr);

  EXPECT_EQ(pt_Expand(t.r), 1);
  EXPECT_STREQ(pt_Label(t.r), "[c+d|b]");
  // changing a leaf changes its ancestors' texts only
  pt_SetLabel(t.d, "e");
  pt_Expand(t.r);
  EXPECT_STREQ(pt_Label(t.a), "c+e");
  EXPECT_STREQ(pt_Label(t.r), "[c+e|b]");
  EXPECT_STREQ(pt_Label(t.b), "b");
}

// A tree whose matches nest: r(m1(x m2(y)) m3), kinds 1 for m*, 2 for the rest.
TEST(TreeWalk, SearchStepsOnNestedMatches) {
  PRSTR_NODE* y = pt_leaf(EXPR_AMMSC, "y");
  PRSTR_NODE* m2 = pt_unary(EXPR_OTHER, "\xff\x01\x01", y);
  PRSTR_NODE* x = pt_leaf(EXPR_AMMSC, "x");
  PRSTR_NODE* m1 = pt_node(EXPR_OTHER, "\xff\x01\x01\xff\x01\x02", 2, x, m2);
  PRSTR_NODE* m3 = pt_leaf(EXPR_OTHER, "m3");
  PRSTR_NODE* r = pt_node(EXPR_ANY_ALL, "\xff\x01\x01\xff\x01\x02", 2, m1, m3);
  struct Case {
    const char* what;
    bool twoId;
    int kind, endId;
    std::vector<PRSTR_NODE*> want;
  } cases[] = {
      // a match's own subtree is searched too
      {"all", false, EXPR_OTHER, 0, {m1, m2, m3}},
      // the end kind is neither matched nor entered, and ends its sibling chain
      // (x stops the walk before its sibling m2)
      {"all2", true, EXPR_OTHER, EXPR_AMMSC, {m1, m3}},
      {"all2 stop at x", true, EXPR_AMMSC, EXPR_OTHER, {}},
      {"all2 stop below", true, EXPR_OTHER, EXPR_OTHER, {}},
  };
  for (const auto& c : cases) {
    alist_t* l = alist_Alloc(sizeof(void*));
    if (c.twoId)
      tr_preorder2Id(r, ptn_FindAll2Id, c.kind, c.endId, l);
    else
      tr_preorder(r, ptn_FindAll, c.kind, l);
    std::vector<PRSTR_NODE*> got;
    for (unsigned i = 0; i < l->cUsed; i++) got.push_back(*static_cast<PRSTR_NODE**>(alist_At(l, i)));
    EXPECT_EQ(got, c.want) << c.what;
    alist_Dealloc(&l, nullptr);
  }
  // tr_preorderLeft: the node itself and its children, never its siblings
  void* found = nullptr;
  tr_preorderLeft(m1, ptn_FindFirst, EXPR_OTHER, &found);
  EXPECT_EQ(found, m1);
  found = nullptr;
  tr_preorderLeft(x, ptn_FindFirst, EXPR_OTHER, &found);
  EXPECT_EQ(found, nullptr);  // m2, x's sibling, is not visited
  found = nullptr;
  tr_preorderLeft(m2, ptn_FindFirst, EXPR_AMMSC, &found);
  EXPECT_EQ(found, y);
  visited.clear();
  tr_preorderLeft(m1, record, EXPR_OTHER, nullptr);  // a stop at the node itself ends the walk
  EXPECT_EQ(visited.size(), 1u);
  // search steps refuse missing arguments and a filled result
  found = m3;
  EXPECT_EQ(ptn_FindFirst(m1, EXPR_OTHER, &found), 0);
  EXPECT_EQ(found, m3);
  EXPECT_EQ(ptn_FindFirst(nullptr, EXPR_OTHER, &found), 0);
  EXPECT_EQ(ptn_FindFirst(m1, EXPR_OTHER, nullptr), 0);
  EXPECT_EQ(ptn_FindAll(m1, EXPR_OTHER, nullptr), 0);
  EXPECT_EQ(ptn_FindAll2Id(nullptr, EXPR_OTHER, 0, nullptr), 0);
  tr_preorder(nullptr, ptn_FindFirst, 0, &found);
  pt_treeFree(&r);
  EXPECT_EQ(r, nullptr);
}

TEST(TreeWalk, ConditionalFormatsAndMissingArguments) {
  PRSTR_NODE* x = pt_leaf(EXPR_LITERAL, "   ");
  PRSTR_NODE* n = pt_unary(EXPR_EXPRESSION,
                           "<\xff\x02\x01\x01\x01"
                           "blank\xff\x04\x01"
                           "text\xff\x05\x01|\xff\x01\x05>",
                           x);
  pt_Expand(n);
  EXPECT_STREQ(pt_Label(n), "<blank|NULL>");
  pt_treeFree(&n);
}

TEST(TreeWalk, CloseFreesDeepChainsIteratively) {
  PRSTR_NODE* root = pt_leaf(EXPR_UNS_INT, "0");
  for (int i = 1; i < 200000; i++)
    root = pt_node(EXPR_VALUE_COMMALIST, "\xff\x01\x01,\xff\x01\x02", 2, root, pt_leaf(EXPR_UNS_INT, "1"));
  EXPECT_EQ(pt_Expand(root), 1);
  EXPECT_EQ(strlen(pt_Label(root)), 1u + 2u * 199999u);
  pt_treeFree(&root);
  EXPECT_EQ(root, nullptr);
}

TEST(SearchTree, InsertFindWalkDestroy) {
  PBST t = BST_create(symblComp, symblClone, symblDestroy);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(BST_create(nullptr, symblClone, symblDestroy), nullptr);
  char m[] = "m", a[] = "a", z[] = "z", A[] = "A", m2[] = "m";
  PBSTN first = BST_insert(t, m);
  BST_insert(t, a);
  BST_insert(t, z);
  BST_insert(t, A);  // exact comparison: "A" and "a" are two entries
  EXPECT_EQ(BST_insert(t, m2), first);
  EXPECT_EQ(t->cItems, 4);
  EXPECT_NE(BST_find(t, A), nullptr);
  char q[] = "q";
  EXPECT_EQ(BST_find(t, q), nullptr);
  static std::string order;
  order.clear();
  BST_inOrder(t, [](void* d) { order += static_cast<symbol_t*>(d)->szLabel; });
  EXPECT_EQ(order.size(), 4u);
  BST_destroy(t);
  BST_destroy(nullptr);
  EXPECT_EQ(BST_insert(nullptr, m), nullptr);
  EXPECT_EQ(BST_find(nullptr, m), nullptr);
  void* clone = &order;
  EXPECT_EQ(symblClone(&clone, nullptr), 0);
  EXPECT_EQ(symblClone(nullptr, m), 0);
  EXPECT_EQ(symblComp(nullptr, m), 0);
}

}  // namespace
