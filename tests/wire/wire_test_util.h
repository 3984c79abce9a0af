// Helpers of the wire tests: build datasets, read and write cells, run a routine
// through a memory stream.
#pragma once

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "rpc/xdr.h"
#include "model/dataset.h"

namespace wire_test {

struct Shape {
  ctype_t type;
  precision_t width;
};

inline Dataset make_dataset(std::initializer_list<Shape> cols, sgn32 rows) {
  Dataset ds{};
  Dataset_Init(&ds, uns16(cols.size()));
  ds.nCols = uns16(cols.size());
  int i = 0;
  for (const Shape& s : cols) {
    ds.col[i].cType = s.type;
    ds.col[i].width = s.width;
    ++i;
  }
  Dataset_AllocColumns(&ds, rows);
  return ds;
}

inline Dataset* new_dataset(std::initializer_list<Shape> cols, sgn32 rows) {
  Dataset* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  *ds = make_dataset(cols, rows);
  return ds;
}

inline void free_dataset(Dataset* ds) {
  Dataset_Done(ds);
  std::free(ds);
}

inline void set_int(Dataset* ds, int c, int r, int v) {
  std::memcpy(Coldata_Cell(&ds->col[c], r), &v, 4);
  ds->col[c].indicators[r] = 0;
}
inline int get_int(Dataset* ds, int c, int r) {
  int v;
  std::memcpy(&v, Coldata_Cell(&ds->col[c], r), 4);
  return v;
}
inline void set_text(Dataset* ds, int c, int r, const char* s) {
  std::strncpy(Coldata_Cell(&ds->col[c], r), s, ds->col[c].width);
  ds->col[c].indicators[r] = 0;
}
inline std::string get_text(Dataset* ds, int c, int r) {
  const char* p = Coldata_Cell(&ds->col[c], r);
  return std::string(p, strnlen(p, ds->col[c].width));
}
inline void* long_ptr(Dataset* ds, int c, int r) {
  void* p;
  std::memcpy(&p, Coldata_Cell(&ds->col[c], r) + 8, sizeof p);
  return p;
}
inline uns32 long_len(Dataset* ds, int c, int r) {
  uns32 n;
  std::memcpy(&n, Coldata_Cell(&ds->col[c], r), 4);
  return n;
}
inline void set_long_raw(Dataset* ds, int c, int r, uns32 len, void* data) {
  char* cell = Coldata_Cell(&ds->col[c], r);
  std::memcpy(cell, &len, 4);
  std::memcpy(cell + 8, &data, sizeof data);
  ds->col[c].indicators[r] = 0;
}
inline void set_long(Dataset* ds, int c, int r, const std::string& s) {
  char* p = static_cast<char*>(std::calloc(s.size() + 1, 1));
  std::memcpy(p, s.data(), s.size());
  std::free(long_ptr(ds, c, r));
  set_long_raw(ds, c, r, uns32(s.size()), p);
}
inline void set_wlong(Dataset* ds, int c, int r, const std::wstring& s) {
  wchar_t* p = static_cast<wchar_t*>(std::calloc(s.size() + 1, sizeof(wchar_t)));
  std::wmemcpy(p, s.data(), s.size());
  std::free(long_ptr(ds, c, r));
  set_long_raw(ds, c, r, uns32(s.size()), p);
}
inline std::string get_long(Dataset* ds, int c, int r) {
  return std::string(static_cast<char*>(long_ptr(ds, c, r)), long_len(ds, c, r));
}

// Encodes obj with routine into bytes; empty vector on failure (ok set false).
template <typename T, typename F>
std::vector<unsigned char> encode(F routine, T* obj, bool* ok = nullptr, size_t cap = 1 << 22) {
  std::vector<unsigned char> buf(cap);
  XDR x;
  VYRRPC_xdrmem_create(&x, reinterpret_cast<char*>(buf.data()), unsigned(cap), XDR_ENCODE);
  bool good = routine(&x, obj);
  if (ok) *ok = good;
  if (!good) return {};
  buf.resize(VYRRPC_xdr_getpos(&x));
  return buf;
}

// Decodes bytes into obj (zeroed by the caller); returns the routine's result.
template <typename T, typename F>
bool decode(F routine, const std::vector<unsigned char>& bytes, T* obj, unsigned* used = nullptr) {
  std::vector<unsigned char> copy(bytes);
  if (copy.empty()) copy.push_back(0);
  XDR x;
  VYRRPC_xdrmem_create(&x, reinterpret_cast<char*>(copy.data()), unsigned(bytes.size()), XDR_DECODE);
  bool ok = routine(&x, obj);
  if (used) *used = VYRRPC_xdr_getpos(&x);
  return ok;
}

template <typename T, typename F>
void free_with(F routine, T* obj) {
  XDR x{};
  x.x_op = XDR_FREE;
  routine(&x, obj);
}

// Big-endian units.
inline std::vector<unsigned char> units(std::initializer_list<uint32_t> us) {
  std::vector<unsigned char> v;
  for (uint32_t u : us) {
    v.push_back(u >> 24);
    v.push_back(u >> 16);
    v.push_back(u >> 8);
    v.push_back(u);
  }
  return v;
}
inline std::vector<unsigned char> cat(std::initializer_list<std::vector<unsigned char>> parts) {
  std::vector<unsigned char> v;
  for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}
inline std::vector<unsigned char> bytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace wire_test
