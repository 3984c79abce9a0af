// Parse-tree nodes: construction, storage, expansion and searches.
#include "sql/parse_tree.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sql/parser.h"
#include "sql/small_stack.h"
#include "sql/sql_template.h"
#include "sql/tree_walk.h"
#include "util/fault.h"

namespace {

constexpr int kLabelShared = PT_STORE_LABEL_SHARED;
constexpr int kFormatShared = PT_STORE_FORMAT_SHARED;

char* heapCopy(const char* s, size_t n) {
  char* d = static_cast<char*>(malloc(n + 1));
  if (!d) return nullptr;
  memcpy(d, s, n);
  d[n] = 0;
  return d;
}

bool isLeaf(const PRSTR_NODE* n) { return n->symbl.cArgs <= 0 || !n->left; }

bool inArena(const PRSTR_NODE* n) { return (n->symbl.nStore & PT_STORE_ARENA) != 0; }

// A node made in an arena is followed by the arena's address.
PtArena*& arenaOf(PRSTR_NODE* n) { return *reinterpret_cast<PtArena**>(n + 1); }

constexpr size_t kArenaNodeSize = sizeof(PRSTR_NODE) + sizeof(PtArena*);

void dropLabel(PRSTR_NODE* n) {
  if (n->symbl.szLabel && !(n->symbl.nStore & kLabelShared)) free(n->symbl.szLabel);
  n->symbl.szLabel = nullptr;
  n->symbl.nStore &= ~kLabelShared;
}

void dropFormat(PRSTR_NODE* n) {
  if (n->symbl.szFormat && !(n->symbl.nStore & kFormatShared)) free(n->symbl.szFormat);
  n->symbl.szFormat = nullptr;
  n->symbl.nStore &= ~kFormatShared;
}

// Replaces n's label by a copy of text[0, len): in the node's arena when it
// has not had an arena label yet, else on the heap. false when memory fails
// (the label is then unchanged).
bool putLabel(PRSTR_NODE* n, const char* text, size_t len) {
  if (inArena(n) && !(n->symbl.nStore & PT_STORE_LABEL_SPENT)) {
    char* d = pta_Copy(arenaOf(n), text, len);
    if (!d) return false;
    dropLabel(n);
    n->symbl.szLabel = d;
    n->symbl.nStore |= kLabelShared | PT_STORE_LABEL_SPENT;
    return true;
  }
  char* d = heapCopy(text, len);
  if (!d) return false;
  dropLabel(n);
  n->symbl.szLabel = d;
  return true;
}

// A zeroed node with room for a copy of text after it, pointed to by its label
// (asLabel) or its format: one allocation per node.
PRSTR_NODE* newNode(const char* text, bool asLabel) {
  size_t len = strlen(text);
  if (vyr_fault_alloc()) return nullptr;  // tests make node allocations fail
  PRSTR_NODE* n = static_cast<PRSTR_NODE*>(malloc(sizeof(PRSTR_NODE) + len + 1));
  if (!n) return nullptr;
  memset(n, 0, sizeof(PRSTR_NODE));
  char* copy = reinterpret_cast<char*>(n + 1);
  memcpy(copy, text, len + 1);
  if (asLabel) {
    n->symbl.szLabel = copy;
    n->symbl.nStore = kLabelShared;
  } else {
    n->symbl.szFormat = copy;
    n->symbl.nStore = kFormatShared;
  }
  return n;
}

// The same in an arena: the node, its arena's address and the copied text in
// one allocation.
PRSTR_NODE* newArenaNode(PtArena* arena, const char* text, size_t len, bool asLabel) {
  PRSTR_NODE* n = static_cast<PRSTR_NODE*>(pta_Alloc(arena, kArenaNodeSize + len + 1));
  if (!n) return nullptr;
  memset(n, 0, sizeof(PRSTR_NODE));
  arenaOf(n) = arena;
  char* copy = reinterpret_cast<char*>(n) + kArenaNodeSize;
  memcpy(copy, text, len);
  copy[len] = 0;
  if (asLabel) {
    n->symbl.szLabel = copy;
    n->symbl.nStore = PT_STORE_ARENA | kLabelShared | PT_STORE_LABEL_SPENT;
  } else {
    n->symbl.szFormat = copy;
    n->symbl.nStore = PT_STORE_ARENA | kFormatShared;
  }
  return n;
}

// Gives a new node (or NULL) its kind and children; returns it.
PRSTR_NODE* withChildren(PRSTR_NODE* n, expr_t eExprType, int cChildren, va_list ap) {
  if (!n) return nullptr;
  n->symbl.nType = eExprType;
  n->symbl.cArgs = cChildren;
  PRSTR_NODE* prev = nullptr;
  for (int i = 0; i < cChildren; i++) {
    PRSTR_NODE* c = va_arg(ap, PRSTR_NODE*);
    if (i == 0)
      n->left = c;
    else if (prev)
      prev->right = c;
    prev = c;
  }
  return n;
}

// Frees what the subtree at root (with its later siblings) holds on the heap:
// heap strings, and nodes that are blocks of their own. The links are used up
// (each left subtree is rotated onto the right chain, so no stack is needed).
// Arenas owned by roots among the nodes are released at the end.
void freeSubtree(PRSTR_NODE* root) {
  PtArena* owned[4];
  size_t nOwned = 0;
  std::vector<PtArena*> moreOwned;
  PRSTR_NODE* cur = root;
  while (cur) {
    if (cur->left) {
      PRSTR_NODE* l = cur->left;
      cur->left = l->right;
      l->right = cur;
      cur = l;
      continue;
    }
    PRSTR_NODE* next = cur->right;
    pt_nodeDestroy(cur);
    if (!inArena(cur)) {
      free(cur);
    } else if (cur->symbl.nStore & PT_STORE_ARENA_OWNER) {
      PtArena* a = arenaOf(cur);
      if (nOwned < 4)
        owned[nOwned++] = a;
      else
        moreOwned.push_back(a);  // trees grafted onto trees: not expected
    }
    cur = next;
  }
  for (size_t i = 0; i < nOwned; i++) pta_Destroy(owned[i]);
  for (PtArena* a : moreOwned) pta_Destroy(a);
}

bool hasConditions(const char* fmt) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(fmt);
  for (; *p; p++)
    if (*p == 0xFF) {
      if (p[1] >= 2 && p[1] <= 5) return true;
      if (p[1] == 0) return false;
      p++;
    }
  return false;
}

bool emit(PRSTR_NODE* root, std::string& out, bool rebuild);

// Text of an inner node whose format holds conditional blocks: the children's
// texts are needed as separate strings for the template expander. When
// rebuilding, each child's text is rebuilt (and kept) first.
bool expandWithConditions(PRSTR_NODE* n, std::string& out, bool rebuild) {
  std::vector<char*> args;
  std::vector<std::string> texts;
  texts.reserve(n->symbl.cArgs);
  PRSTR_NODE* c = n->left;
  for (int i = 0; i < n->symbl.cArgs && c; i++, c = c->right) {
    if (rebuild) {
      texts.emplace_back();
      if (!emit(c, texts.back(), true)) return false;
    } else {
      texts.emplace_back(pt_Label(c));
    }
  }
  for (auto& t : texts) args.push_back(t.data());
  MPL pool;
  mpl_init(&pool);
  BuildSQLDynamic(&pool, reinterpret_cast<const unsigned char*>(n->symbl.szFormat), args.data(),
                  static_cast<unsigned>(args.size()));
  out += reinterpret_cast<char*>(mpl_finish(&pool));
  mpl_destroy(&pool);
  return true;
}

// Writes the text of the subtree at root into out, in one pass without
// recursion. When rebuild is set (pt_Expand), every inner node's text is made
// from its children whatever label it held, and kept when it is at most
// PT_LABEL_KEEP bytes long (root's always); larger ones lose their label.
// Otherwise (pt_Label) kept labels are used as they stand. false when memory
// fails.
bool emit(PRSTR_NODE* root, std::string& out, bool rebuild) {
  struct Frame {
    PRSTR_NODE* node;
    const unsigned char* pos;  // next format byte
    size_t start;              // offset of the node's text in out
  };
  SmallStack<Frame, 64> stack;
  auto keep = [&](PRSTR_NODE* n, size_t start) {
    size_t len = out.size() - start;
    if (n == root || len <= PT_LABEL_KEEP) return putLabel(n, out.data() + start, len);
    dropLabel(n);
    return true;
  };
  // Appends n's text, or opens it on the stack.
  auto append = [&](PRSTR_NODE* n) {
    if (isLeaf(n) || (!rebuild && n->symbl.szLabel)) {
      if (n->symbl.szLabel) out += n->symbl.szLabel;
      return true;
    }
    if (!n->symbl.szFormat) {
      // an inner node without format contributes nothing
      if (rebuild) dropLabel(n);
      return true;
    }
    if (hasConditions(n->symbl.szFormat)) {
      size_t start = out.size();
      if (!expandWithConditions(n, out, rebuild)) return false;
      return !rebuild || keep(n, start);
    }
    stack.push({n, reinterpret_cast<const unsigned char*>(n->symbl.szFormat), out.size()});
    return true;
  };
  try {
    if (!append(root)) return false;
    while (!stack.empty()) {
      Frame& f = stack.top();
      const unsigned char* p = f.pos;
      // literal run
      const unsigned char* q = p;
      while (*q && *q != 0xFF) q++;
      out.append(reinterpret_cast<const char*>(p), q - p);
      p = q;
      if (*p == 0 || p[1] == 0) {
        PRSTR_NODE* n = f.node;
        size_t start = f.start;
        stack.pop();
        if (rebuild && !keep(n, start)) return false;
        continue;
      }
      int code = p[1];
      if (code == 1) {
        if (p[2] == 0) {
          f.pos = p + 2;  // cut off placeholder: the format ends here
          continue;
        }
        unsigned k = p[2];
        f.pos = p + 3;
        if (k == 0 || static_cast<int>(k) > f.node->symbl.cArgs) {
          out += "NULL";
        } else {
          PRSTR_NODE* c = pt_Child(f.node, static_cast<int>(k));
          if (c && !append(c)) return false;  // may push: f is not used after this
        }
      } else {
        f.pos = p + 2;  // FF 00 ends above; FF c >= 6 (and stray codes) are skipped
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The expansion's text buffer, kept between expansions (under scrs_spl) so
// that a statement's text is not grown afresh each time.
std::string gExpandText;
constexpr size_t kExpandTextKeep = 65536;

}  // namespace

PRSTR_NODE* pt_node(expr_t eExprType, const char* szFormat, int cChildren, ...) {
  va_list ap;
  va_start(ap, cChildren);
  PRSTR_NODE* n = withChildren(newNode(szFormat ? szFormat : "", false), eExprType, cChildren, ap);
  va_end(ap);
  return n;
}

PRSTR_NODE* pt_unary(expr_t eExprType, const char* szFormat, PRSTR_NODE* pChild) {
  return pt_node(eExprType, szFormat, 1, pChild);
}

PRSTR_NODE* pt_leaf(expr_t eExprType, const char* szLabel) {
  PRSTR_NODE* n = newNode(szLabel ? szLabel : "", true);
  if (!n) return nullptr;
  n->symbl.nType = eExprType;
  return n;
}

PRSTR_NODE* pt_arenaNode(PtArena* arena, expr_t eExprType, const char* szFormat, size_t formatLen,
                         int cChildren, ...) {
  va_list ap;
  va_start(ap, cChildren);
  PRSTR_NODE* n = withChildren(newArenaNode(arena, szFormat, formatLen, false), eExprType, cChildren, ap);
  va_end(ap);
  return n;
}

PRSTR_NODE* pt_arenaLeaf(PtArena* arena, expr_t eExprType, const char* szLabel, size_t labelLen,
                         bool borrow) {
  PRSTR_NODE* n;
  if (borrow) {
    n = static_cast<PRSTR_NODE*>(pta_Alloc(arena, kArenaNodeSize));
    if (!n) return nullptr;
    memset(n, 0, sizeof(PRSTR_NODE));
    arenaOf(n) = arena;
    n->symbl.szLabel = const_cast<char*>(szLabel);
    n->symbl.nStore = PT_STORE_ARENA | kLabelShared | PT_STORE_LABEL_SPENT;
  } else {
    n = newArenaNode(arena, szLabel, labelLen, true);
    if (!n) return nullptr;
  }
  n->symbl.nType = eExprType;
  return n;
}

void pt_arenaOwn(PRSTR_NODE* root) {
  if (root && inArena(root)) root->symbl.nStore |= PT_STORE_ARENA_OWNER;
}

PtArena* pt_Arena(PRSTR_NODE* node) { return node && inArena(node) ? arenaOf(node) : nullptr; }

void pt_nodeDestroy(void* node) {
  if (!node) return;
  PRSTR_NODE* n = static_cast<PRSTR_NODE*>(node);
  dropLabel(n);
  dropFormat(n);
}

void pt_treeFree(PRSTR_NODE** ppRoot) {
  if (!ppRoot || !*ppRoot) return;
  freeSubtree(*ppRoot);
  *ppRoot = nullptr;
}

PRSTR_NODE* pt_Child(const PRSTR_NODE* node, int i) {
  if (!node || i < 1) return nullptr;
  PRSTR_NODE* c = node->left;
  for (int k = 1; c && k < i; k++) c = c->right;
  return c;
}

bool pt_IsInner(const PRSTR_NODE* node) { return node && node->symbl.cArgs > 0 && node->left; }

std::vector<PRSTR_NODE*> pt_ListItems(PRSTR_NODE* list, int listKind) {
  std::vector<PRSTR_NODE*> rev;
  PRSTR_NODE* n = list;
  while (n && n->symbl.nType == listKind && pt_IsInner(n)) {
    if (n->symbl.cArgs >= 2) {
      rev.push_back(pt_Child(n, 2));
      n = n->left;
    } else {
      rev.push_back(n->left);
      n = nullptr;
    }
  }
  return std::vector<PRSTR_NODE*>(rev.rbegin(), rev.rend());
}

int pt_Expand(PRSTR_NODE* pt) {
  if (!pt) return 0;
  std::lock_guard<std::mutex> lock(scrs_spl);
  int ok = 1;
  for (PRSTR_NODE* n = pt; n && ok; n = n->right) {
    gExpandText.clear();
    if (!emit(n, gExpandText, true)) ok = 0;
  }
  if (gExpandText.capacity() > kExpandTextKeep) std::string().swap(gExpandText);
  return ok;
}

const char* pt_Label(PRSTR_NODE* node) {
  static const char empty[] = "";
  if (!node) return empty;
  if (node->symbl.szLabel) return node->symbl.szLabel;
  if (isLeaf(node)) return empty;
  std::string text;
  if (!emit(node, text, false) || !putLabel(node, text.data(), text.size())) return empty;
  return node->symbl.szLabel;
}

int pt_SetLabel(PRSTR_NODE* node, const char* text) {
  if (!node || !text) return 0;
  char* d = heapCopy(text, strlen(text));
  if (!d) return 0;
  dropLabel(node);
  node->symbl.szLabel = d;
  return 1;
}

int pt_SetFormat(PRSTR_NODE* node, const char* format) {
  if (!node || !format) return 0;
  char* d = heapCopy(format, strlen(format));
  if (!d) return 0;
  dropFormat(node);
  node->symbl.szFormat = d;
  return 1;
}

int pt_MakeLeaf(PRSTR_NODE* node, const char* label) {
  if (!node || !label) return 0;
  char* d = heapCopy(label, strlen(label));
  if (!d) return 0;
  PRSTR_NODE* kids = node->left;
  // The last child's right link may not be NULL only for the node's own
  // sibling chain, which starts at node->right, not below: cut the children.
  node->left = nullptr;
  pt_treeFree(&kids);
  dropFormat(node);
  dropLabel(node);
  node->symbl.szLabel = d;
  node->symbl.cArgs = 0;
  return 1;
}

int ptn_Expand(void*, int, void*) { return 1; }

int ptn_FindFirst(void* node, int differentiator, void* yourPtr) {
  if (!node || !yourPtr) return 0;
  void** out = static_cast<void**>(yourPtr);
  if (*out) return 0;
  if (static_cast<PRSTR_NODE*>(node)->symbl.nType == differentiator) {
    *out = node;
    return 0;
  }
  return 1;
}

int ptn_FindFirst2Id(void* node, int differentiator, int endId, void* yourPtr) {
  if (!node || !yourPtr) return 0;
  if (*static_cast<void**>(yourPtr)) return 0;
  if (static_cast<PRSTR_NODE*>(node)->symbl.nType == endId) return 0;
  return ptn_FindFirst(node, differentiator, yourPtr);
}

int ptn_FindAll(void* node, int differentiator, void* yourPtr) {
  if (!node || !yourPtr) return 0;
  if (static_cast<PRSTR_NODE*>(node)->symbl.nType == differentiator)
    return alist_Add(static_cast<alist_t*>(yourPtr), &node);
  return 1;
}

int ptn_FindAll2Id(void* node, int differentiator, int endId, void* yourPtr) {
  if (!node || !yourPtr) return 0;
  if (static_cast<PRSTR_NODE*>(node)->symbl.nType == endId) return 0;
  return ptn_FindAll(node, differentiator, yourPtr);
}

namespace {

bool fenced(int kind, const int* fences) {
  if (!fences) return false;
  for (; *fences != -1; fences++)
    if (*fences == kind) return true;
  return false;
}

// Pre-order over the descendants of node; visit returns false to stop.
template <typename Visit>
void descendants(PRSTR_NODE* node, const int* fences, bool enterMatches, int kind, Visit visit) {
  if (!node) return;
  tr_walk(node->left, [&](PRSTR_NODE* cur) {
    const bool match = cur->symbl.nType == kind;
    if (match && !visit(cur)) return TR_STOP;
    return !fenced(cur->symbl.nType, fences) && (!match || enterMatches) ? TR_ENTER : TR_SKIP;
  });
}

}  // namespace

PRSTR_NODE* pt_FindFirst(PRSTR_NODE* node, int kind, const int* fences) {
  PRSTR_NODE* found = nullptr;
  descendants(node, fences, false, kind, [&](PRSTR_NODE* n) {
    found = n;
    return false;
  });
  return found;
}

int pt_FindAll(PRSTR_NODE* node, int kind, const int* fences, alist_t* list) {
  if (!list) return 0;
  int ok = 1;
  descendants(node, fences, true, kind, [&](PRSTR_NODE* n) {
    void* p = n;
    if (!alist_Add(list, &p)) {
      ok = 0;
      return false;
    }
    return true;
  });
  return ok;
}
