// Checks of a client's connection string before the driver manager sees it.
// The string is cut into keys exactly as the driver manager cuts it, and a key
// counts as DRIVER, FILEDSN or SAVEFILE whenever the manager could read it so
// (and in a few more spellings): every such key must pass, whichever of them the
// manager would use.
#include "backend/client_connstr.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbcinst.h"

namespace {

struct Element {
  std::string key;
  std::string value;
};

// Elements end at ';'; a braced stretch runs to the next '}' and may hold ';'.
// The first '=' of an element ends its key; elements without one name no key.
std::vector<Element> SplitConnStr(const char* s) {
  std::vector<Element> out;
  const char* p = s;
  while (*p) {
    const char* start = p;
    while (*p && *p != ';') {
      if (*p == '{') {
        const char* close = strchr(p, '}');
        p = close ? close + 1 : p + strlen(p);
      } else {
        ++p;
      }
    }
    std::string element(start, size_t(p - start));
    size_t eq = element.find('=');
    if (eq != std::string::npos) out.push_back({element.substr(0, eq), element.substr(eq + 1)});
    if (*p) ++p;
  }
  return out;
}

// The key's name without surrounding blanks and quotes: the manager skips
// leading quotes and stops at the next one.
bool KeyIs(const std::string& key, const char* name) {
  size_t b = 0;
  while (b < key.size() && strchr(" \t'\"", key[b])) b++;
  size_t e = b;
  while (e < key.size() && !strchr(" \t'\"", key[e])) e++;
  return e - b == strlen(name) && strncasecmp(key.c_str() + b, name, e - b) == 0;
}

constexpr int kListSize = 64 * 1024;
constexpr int kValueSize = 1024;

// One key as the driver manager reads it: the user's file first, then the system's.
std::string Profile(const char* section, const char* key, const char* file) {
  char buf[kValueSize] = "";
  SQLSetConfigMode(ODBC_BOTH_DSN);
  SQLGetPrivateProfileString(section, key, "", buf, sizeof buf, file);
  return buf;
}

// The sections of one ini file, in the user's and the system's scope.
std::vector<std::string> Sections(const char* file) {
  std::vector<std::string> names;
  std::vector<char> buf(kListSize);
  for (UWORD mode : {UWORD(ODBC_USER_DSN), UWORD(ODBC_SYSTEM_DSN)}) {
    std::fill(buf.begin(), buf.end(), '\0');
    SQLSetConfigMode(mode);
    int n = SQLGetPrivateProfileString(nullptr, nullptr, "", buf.data(), kListSize, file);
    for (int i = 0; i < n && i < kListSize - 1 && buf[size_t(i)];) {
      names.emplace_back(&buf[size_t(i)]);
      i += int(names.back().size()) + 1;
    }
  }
  SQLSetConfigMode(ODBC_BOTH_DSN);
  return names;
}

// A driver as the ini files register it: the name of a driver section with a
// library, or exactly the library path a driver section or a data source names.
bool DriverRegistered(const std::string& value) {
  if (value.empty()) return true;  // the data source's own driver is used
  if (value[0] != '.' && value[0] != '/') {
    // A name, braced or not, as the driver manager looks it up.
    std::string name = value[0] == '{' ? value.substr(1) : value;
    if (!name.empty() && name.back() == '}') name.pop_back();
    if (!Profile(name.c_str(), "Driver", "odbcinst.ini").empty()) return true;
  }
  for (const char* file : {"odbcinst.ini", "odbc.ini"})
    for (const std::string& section : Sections(file))
      if (Profile(section.c_str(), "Driver", file) == value) return true;
  return false;
}

// A file data source named by a file name inside the file-data-source directory.
bool FileDsnNameOnly(const std::string& value) {
  return !value.empty() && value.find('/') == std::string::npos && value.find("..") == std::string::npos;
}

}  // namespace

const char* ClientConnStrRefusal(const char* connStr) {
  if (!connStr) return nullptr;
  std::vector<Element> elements = SplitConnStr(connStr);
  for (const Element& e : elements)
    if (KeyIs(e.key, "SAVEFILE")) return "SAVEFILE is not allowed in a client's connection string";
  for (const Element& e : elements)
    if (KeyIs(e.key, "FILEDSN") && !FileDsnNameOnly(e.value))
      return "FILEDSN must name a file data source in the file data source directory, without a path";
  for (const Element& e : elements)
    if (KeyIs(e.key, "DRIVER") && !DriverRegistered(e.value))
      return "DRIVER must name a driver registered in odbcinst.ini, or the library a registered driver or "
             "data source names";
  return nullptr;
}
