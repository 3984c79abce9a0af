#include "sql/parse_tree.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sql/parser.h"
#include "sql/sql_template.h"
#include "sql/tree_walk.h"
#include "util/fault.h"

namespace {

char *dupOrNull(const char *s) {
  if (!s) return nullptr;
  size_t n = strlen(s) + 1;
  char *d = static_cast<char *>(malloc(n));
  if (d) memcpy(d, s, n);
  return d;
}

bool isLeaf(const PRSTR_NODE *n) { return n->symbl.cArgs <= 0 || !n->left; }

// A node's first string (a leaf's label or an inner node's format) is stored
// in the node's own block: one allocation per node instead of two.
bool isInline(const PRSTR_NODE *n, const char *s) {
  return s == reinterpret_cast<const char *>(n + 1);
}

void freeString(PRSTR_NODE *n, char *&s) {
  if (s && !isInline(n, s)) free(s);
  s = nullptr;
}

// A zeroed node with room for a copy of text after it, pointed to by *slot.
PRSTR_NODE *newNode(const char *text, bool asLabel) {
  size_t len = strlen(text);
  if (vyr_fault_alloc()) return nullptr;  // tests make node allocations fail
  PRSTR_NODE *n = static_cast<PRSTR_NODE *>(malloc(sizeof(PRSTR_NODE) + len + 1));
  if (!n) return nullptr;
  memset(n, 0, sizeof(PRSTR_NODE));
  char *copy = reinterpret_cast<char *>(n + 1);
  memcpy(copy, text, len + 1);
  if (asLabel)
    n->symbl.szLabel = copy;
  else
    n->symbl.szFormat = copy;
  return n;
}

bool hasConditions(const char *fmt) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(fmt);
  for (; *p; p++)
    if (*p == 0xFF) {
      if (p[1] >= 2 && p[1] <= 5) return true;
      if (p[1] == 0) return false;
      p++;
    }
  return false;
}

// Text of an inner node whose format holds conditional blocks: the children's
// texts are needed as separate strings for the template expander.
std::string expandWithConditions(PRSTR_NODE *n) {
  std::vector<char *> args;
  std::vector<std::string> texts;
  texts.reserve(n->symbl.cArgs);
  PRSTR_NODE *c = n->left;
  for (int i = 0; i < n->symbl.cArgs && c; i++, c = c->right) texts.emplace_back(pt_Label(c));
  for (auto &t : texts) args.push_back(t.data());
  MPL pool;
  mpl_init(&pool);
  BuildSQLDynamic(&pool, reinterpret_cast<const unsigned char *>(n->symbl.szFormat), args.data(),
                  static_cast<unsigned>(args.size()));
  std::string out(reinterpret_cast<char *>(mpl_finish(&pool)));
  mpl_destroy(&pool);
  return out;
}

// Writes the text of the subtree at root into out, in one pass without
// recursion. When keep is set, every inner node without a kept label whose
// text is at most PT_LABEL_KEEP bytes gets one (and root always does).
// false when memory fails.
bool emit(PRSTR_NODE *root, std::string &out, bool keep) {
  struct Frame {
    PRSTR_NODE *node;
    const unsigned char *pos;  // next format byte
    size_t start;              // offset of the node's text in out
  };
  std::vector<Frame> stack;
  auto append = [&](PRSTR_NODE *n) {
    if (isLeaf(n) || n->symbl.szLabel) {
      if (n->symbl.szLabel) out += n->symbl.szLabel;
    } else if (!n->symbl.szFormat) {
      // an inner node without format contributes nothing
    } else if (hasConditions(n->symbl.szFormat)) {
      size_t start = out.size();
      out += expandWithConditions(n);
      if (keep && (n == root || out.size() - start <= PT_LABEL_KEEP))
        n->symbl.szLabel = dupOrNull(out.c_str() + start);
    } else {
      stack.push_back({n, reinterpret_cast<const unsigned char *>(n->symbl.szFormat), out.size()});
    }
  };
  try {
    if (isLeaf(root) || root->symbl.szLabel) {
      if (root->symbl.szLabel) out += root->symbl.szLabel;
      return true;
    }
    append(root);
    while (!stack.empty()) {
      Frame &f = stack.back();
      const unsigned char *p = f.pos;
      // literal run
      const unsigned char *q = p;
      while (*q && *q != 0xFF) q++;
      out.append(reinterpret_cast<const char *>(p), q - p);
      p = q;
      if (*p == 0 || p[1] == 0) {
        PRSTR_NODE *n = f.node;
        size_t start = f.start;
        stack.pop_back();
        if (keep && (n == root || out.size() - start <= PT_LABEL_KEEP)) {
          freeString(n, n->symbl.szLabel);
          n->symbl.szLabel = dupOrNull(out.c_str() + start);
          if (!n->symbl.szLabel) return false;
        }
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
          PRSTR_NODE *c = pt_Child(f.node, static_cast<int>(k));
          if (c) append(c);  // may push: f is not used after this
        }
      } else {
        f.pos = p + 2;  // FF 00 ends above; FF c >= 6 (and stray codes) are skipped
      }
    }
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

// Drops the kept texts of every inner node below (and including) root.
void forget(PRSTR_NODE *root) {
  tr_preorderLeft(
      root,
      [](void *v, int, void *) -> int {
        PRSTR_NODE *n = static_cast<PRSTR_NODE *>(v);
        if (!isLeaf(n) && n->symbl.szLabel) freeString(n, n->symbl.szLabel);
        return 1;
      },
      0, nullptr);
}

}  // namespace

PRSTR_NODE *pt_node(expr_t eExprType, const char *szFormat, int cChildren, ...) {
  PRSTR_NODE *n = newNode(szFormat ? szFormat : "", false);
  if (!n) return nullptr;
  n->symbl.nType = eExprType;
  n->symbl.cArgs = cChildren;
  va_list ap;
  va_start(ap, cChildren);
  PRSTR_NODE *prev = nullptr;
  for (int i = 0; i < cChildren; i++) {
    PRSTR_NODE *c = va_arg(ap, PRSTR_NODE *);
    if (i == 0)
      n->left = c;
    else if (prev)
      prev->right = c;
    prev = c;
  }
  va_end(ap);
  scsql_NodeMade(n);
  return n;
}

PRSTR_NODE *pt_unary(expr_t eExprType, const char *szFormat, PRSTR_NODE *pChild) {
  return pt_node(eExprType, szFormat, 1, pChild);
}

PRSTR_NODE *pt_leaf(expr_t eExprType, const char *szLabel) {
  PRSTR_NODE *n = newNode(szLabel ? szLabel : "", true);
  if (!n) return nullptr;
  n->symbl.nType = eExprType;
  scsql_NodeMade(n);
  return n;
}

void pt_nodeDestroy(void *node) {
  if (!node) return;
  PRSTR_NODE *n = static_cast<PRSTR_NODE *>(node);
  freeString(n, n->symbl.szLabel);
  freeString(n, n->symbl.szFormat);
}

void pt_treeFree(PRSTR_NODE **ppRoot) { tr_close(ppRoot, pt_nodeDestroy); }

PRSTR_NODE *pt_Child(const PRSTR_NODE *node, int i) {
  if (!node || i < 1) return nullptr;
  PRSTR_NODE *c = node->left;
  for (int k = 1; c && k < i; k++) c = c->right;
  return c;
}

bool pt_IsInner(const PRSTR_NODE *node) { return node && node->symbl.cArgs > 0 && node->left; }

std::vector<PRSTR_NODE *> pt_ListItems(PRSTR_NODE *list, int listKind) {
  std::vector<PRSTR_NODE *> rev;
  PRSTR_NODE *n = list;
  while (n && n->symbl.nType == listKind && pt_IsInner(n)) {
    if (n->symbl.cArgs >= 2) {
      rev.push_back(pt_Child(n, 2));
      n = n->left;
    } else {
      rev.push_back(n->left);
      n = nullptr;
    }
  }
  return std::vector<PRSTR_NODE *>(rev.rbegin(), rev.rend());
}

int pt_Expand(PRSTR_NODE *pt) {
  if (!pt) return 0;
  std::lock_guard<std::mutex> lock(scrs_spl);
  for (PRSTR_NODE *n = pt; n; n = n->right) {
    forget(n);
    std::string text;
    if (!emit(n, text, true)) return 0;
  }
  return 1;
}

const char *pt_Label(PRSTR_NODE *node) {
  static const char empty[] = "";
  if (!node) return empty;
  if (node->symbl.szLabel) return node->symbl.szLabel;
  if (isLeaf(node)) return empty;
  std::string text;
  if (!emit(node, text, false)) return empty;
  node->symbl.szLabel = dupOrNull(text.c_str());
  return node->symbl.szLabel ? node->symbl.szLabel : empty;
}

int pt_SetLabel(PRSTR_NODE *node, const char *text) {
  if (!node || !text) return 0;
  char *d = dupOrNull(text);
  if (!d) return 0;
  freeString(node, node->symbl.szLabel);
  node->symbl.szLabel = d;
  return 1;
}

int pt_SetFormat(PRSTR_NODE *node, const char *format) {
  if (!node || !format) return 0;
  char *d = dupOrNull(format);
  if (!d) return 0;
  freeString(node, node->symbl.szFormat);
  node->symbl.szFormat = d;
  return 1;
}

int pt_MakeLeaf(PRSTR_NODE *node, const char *label) {
  if (!node || !label) return 0;
  char *d = dupOrNull(label);
  if (!d) return 0;
  PRSTR_NODE *kids = node->left;
  // The last child's right link may not be NULL only for the node's own
  // sibling chain, which starts at node->right, not below: cut the children.
  node->left = nullptr;
  pt_treeFree(&kids);
  freeString(node, node->symbl.szFormat);
  freeString(node, node->symbl.szLabel);
  node->symbl.szLabel = d;
  node->symbl.cArgs = 0;
  return 1;
}

int ptn_Expand(void *, int, void *) { return 1; }

int ptn_FindFirst(void *node, int differentiator, void *yourPtr) {
  if (!node || !yourPtr) return 0;
  void **out = static_cast<void **>(yourPtr);
  if (*out) return 0;
  if (static_cast<PRSTR_NODE *>(node)->symbl.nType == differentiator) {
    *out = node;
    return 0;
  }
  return 1;
}

int ptn_FindFirst2Id(void *node, int differentiator, int endId, void *yourPtr) {
  if (!node || !yourPtr) return 0;
  if (*static_cast<void **>(yourPtr)) return 0;
  if (static_cast<PRSTR_NODE *>(node)->symbl.nType == endId) return 0;
  return ptn_FindFirst(node, differentiator, yourPtr);
}

int ptn_FindAll(void *node, int differentiator, void *yourPtr) {
  if (!node || !yourPtr) return 0;
  if (static_cast<PRSTR_NODE *>(node)->symbl.nType == differentiator)
    return alist_Add(static_cast<alist_t *>(yourPtr), &node);
  return 1;
}

int ptn_FindAll2Id(void *node, int differentiator, int endId, void *yourPtr) {
  if (!node || !yourPtr) return 0;
  if (static_cast<PRSTR_NODE *>(node)->symbl.nType == endId) return 0;
  return ptn_FindAll(node, differentiator, yourPtr);
}

namespace {

bool fenced(int kind, const int *fences) {
  if (!fences) return false;
  for (; *fences != -1; fences++)
    if (*fences == kind) return true;
  return false;
}

// Pre-order over the descendants of node; visit returns false to stop.
template <typename Visit>
void descendants(PRSTR_NODE *node, const int *fences, bool enterMatches, int kind, Visit visit) {
  if (!node) return;
  std::vector<PRSTR_NODE *> resume;
  PRSTR_NODE *cur = node->left;
  for (;;) {
    while (cur) {
      bool match = cur->symbl.nType == kind;
      if (match && !visit(cur)) return;
      bool enter = cur->left && !fenced(cur->symbl.nType, fences) && (!match || enterMatches);
      if (enter) {
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

PRSTR_NODE *pt_FindFirst(PRSTR_NODE *node, int kind, const int *fences) {
  PRSTR_NODE *found = nullptr;
  descendants(node, fences, false, kind, [&](PRSTR_NODE *n) {
    found = n;
    return false;
  });
  return found;
}

int pt_FindAll(PRSTR_NODE *node, int kind, const int *fences, alist_t *list) {
  if (!list) return 0;
  int ok = 1;
  descendants(node, fences, true, kind, [&](PRSTR_NODE *n) {
    void *p = n;
    if (!alist_Add(list, &p)) {
      ok = 0;
      return false;
    }
    return true;
  });
  return ok;
}
