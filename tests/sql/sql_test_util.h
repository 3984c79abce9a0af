// Helpers shared by the SQL analysis tests.
#pragma once

#include <cstdlib>
#include <string>

#include "sql/parser.h"

namespace sqltest {

// A parse and its outcome; frees what it holds.
struct Parsed {
  int rc = -1;
  PRSTR_NODE* tree = nullptr;
  std::string report, message;
  explicit Parsed(const std::string& sql) {
    char *p = nullptr, *m = nullptr;
    rc = scsql_ParseText(sql.c_str(), &tree, &p, &m);
    if (p) report = p;
    if (m) message = m;
    free(p);
    free(m);
    if (tree) pt_Expand(tree);
  }
  ~Parsed() { pt_treeFree(&tree); }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;
  std::string text() const { return tree ? pt_Label(tree) : std::string(); }
};

// The tree as nested kinds, e.g. "74(72(53(42) 73(75(23...)))...)".
inline std::string shape(PRSTR_NODE* n) {
  std::string s = std::to_string(n->symbl.nType);
  if (n->symbl.cArgs > 0 && n->left) {
    s += "(";
    for (PRSTR_NODE* c = n->left; c; c = c->right) {
      if (c != n->left) s += " ";
      s += shape(c);
    }
    s += ")";
  }
  return s;
}

// The tree with leaf labels, e.g. "88(63:a 87:b)" for a table name a.b.
inline std::string labelledShape(PRSTR_NODE* n) {
  std::string s = std::to_string(n->symbl.nType);
  if (n->symbl.cArgs > 0 && n->left) {
    s += "(";
    for (PRSTR_NODE* c = n->left; c; c = c->right) {
      if (c != n->left) s += " ";
      s += labelledShape(c);
    }
    return s + ")";
  }
  return s + ":" + (n->symbl.szLabel ? n->symbl.szLabel : "");
}

// The first node of a kind in pre-order, or NULL.
inline PRSTR_NODE* firstOfKind(PRSTR_NODE* n, int kind) {
  if (!n || n->symbl.nType == kind) return n;
  for (PRSTR_NODE* c = n->left; c; c = c->right)
    if (PRSTR_NODE* f = firstOfKind(c, kind)) return f;
  return nullptr;
}

// Collapses runs of blanks, and trims, to compare rebuilt texts loosely.
inline std::string squeeze(const std::string& in) {
  std::string out;
  for (char c : in) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace sqltest
