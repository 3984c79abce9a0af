// The cursor engine installed over a test's own backend table, and helpers to
// build datasets and read cells as text.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "cursors/cursors.h"
#include "model/dataset_util.h"

namespace engine_test {

// Installs the engine over `inner` for the scope of a test.
struct EngineOver {
  DRV active{};
  explicit EngineOver(DRV inner) {
    SCs_UninstallDRV();
    active = inner;
    SCs_InitDRV(&active);
  }
  ~EngineOver() { SCs_UninstallDRV(); }
  drv_ops& ops() { return *active.ops; }
};

inline std::string CellText(const Dataset& ds, int col, int row) {
  const Coldata& c = ds.col[col];
  if (c.indicators[row] == -1) return "NULL";
  const char* data;
  uint64_t len;
  if (c.cType == CTYPE_SGN32) {
    sgn32 v;
    memcpy(&v, Coldata_Cell(&c, uint64_t(row)), 4);
    return std::to_string(v);
  }
  if (c.cType == CTYPE_FLT64) {
    double v;
    memcpy(&v, Coldata_Cell(&c, uint64_t(row)), 8);
    char b[64];
    snprintf(b, sizeof b, "%g", v);
    return b;
  }
  if (c.cType == CTYPE_SGN16) {
    sgn16 v;
    memcpy(&v, Coldata_Cell(&c, uint64_t(row)), 2);
    return std::to_string(v);
  }
  if (!Dataset_CellValue(&c, uint64_t(row), &data, &len)) return "NULL";
  return std::string(data, len);
}

// The unnamed temporary files this process holds open.
inline int OpenTempFiles() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    char target[4096] = {0};
    std::string link = std::string("/proc/self/fd/") + e->d_name;
    ssize_t k = readlink(link.c_str(), target, sizeof target - 1);
    if (k > 0 && strstr(target, "(deleted)")) n++;
  }
  closedir(d);
  return n;
}

}  // namespace engine_test
