// The initial-SQL file: statements, one or more lines each and ended by a
// semicolon, run on every new connection before the client sees it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend/backend.h"
#include "util/log.h"

int ExecuteSQLstatementsFromFile(_Connect* c, const char* option) {
  std::string path = option;
  const char* base = strrchr(option, '/');
  base = base ? base + 1 : option;
  if (!strchr(base, '.')) path += ".sql";
  FILE* fp = fopen(path.c_str(), "r");
  if (!fp) {
    logit(LOG_ERR, nullptr, 0, "unable to read from initial SQL file %s (%m)", path.c_str());
    return -1;
  }
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLRETURN r = SQLAllocStmt(c->hDbc, &st);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "cannot allocate hStmt for initial SQL request");
    fclose(fp);
    return -1;
  }
  std::string pending;
  unsigned lines = 0;
  char* line = nullptr;
  size_t cap = 0;
  ssize_t n;
  // Whole lines of any length.
  while ((n = getline(&line, &cap, fp)) >= 0) {
    lines++;
    std::string s(line, size_t(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    s.erase(0, b);
    if (s[0] == '#') continue;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    if (s.empty()) continue;
    if (s.back() == ';') {
      s.pop_back();
      pending += s;
      logit(LOG_DEBUG, nullptr, 0, "execute [%.100s]", pending.c_str());
      r = SQLExecDirect(st, (SQLCHAR*)pending.c_str(), SQL_NTS);
      if (r != SQL_SUCCESS) {
        logit(LOG_ERR, nullptr, 0, "Error while processing initial SQL statement:");
        for (int guard = 0; guard < 100; guard++) {
          SQLCHAR state[6] = {0}, text[512] = {0};
          SQLINTEGER native = 0;
          SQLSMALLINT len = 0;
          SQLRETURN er = SQLError(c->hEnv, c->hDbc, st, state, &native, text, sizeof text, &len);
          if (er != SQL_SUCCESS && er != SQL_SUCCESS_WITH_INFO) break;  // a long text comes cut
          logit(LOG_DEBUG, nullptr, 0, "  %.100s", reinterpret_cast<char*>(text));
        }
      }
      // Each statement's result is closed before the next one runs.
      SQLFreeStmt(st, SQL_CLOSE);
      pending.clear();
    } else {
      pending += s;
      pending += ' ';
    }
  }
  free(line);
  fclose(fp);
  SQLFreeStmt(st, SQL_DROP);
  if (!pending.empty()) {
    logit(LOG_ERR, nullptr, 0, "Unterminated SQL request (line %u)", lines);
    return -1;
  }
  return 0;
}
