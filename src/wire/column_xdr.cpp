// Column codecs: datasets, their columns and rowsets on the wire.
//
// Three decode paths read the same bytes. Unit by unit (xdr_cell, through the
// stream's filters) works on every stream and is the reference. In place over a
// buffer (fast_column: memory streams, the UDP transport, caches) and in whole
// rows from what a record stream already holds (chunk_rows: TCP) exist for speed,
// since the rows of a fetch are most of the agent's wire work. On anything
// unusual (short data, a bad length, a row cut by the end of the buffer) the two
// fast paths put the stream back and leave the decision to the unit filters, so
// that all three accept and refuse exactly the same input and give the same
// values. Encoding has the same split: put_rows writes whole rows straight into
// the stream's buffer, the unit filters the rest.
//
// Tests that keep the paths equal (tests/wire/roundtrip_test.cpp, RecordRoundTrip):
// InPlaceDecodeOfManyRowsMatchesUnitByUnit and MalformedDatasetsOfEveryCellType
// (in place against unit by unit, under truncation and lying units),
// DecodeThroughRecordStreamsMatchesEveryOtherPath (record streams against unit by
// unit, with fragments and buffers that cut rows anywhere),
// EncodingInPlaceMatchesUnitByUnit and TextLengthsInPlaceAndUnitByUnit (the two
// encoders); the golden bytes of tests/wire/encoding_test.cpp fix the encoding.
#include <emmintrin.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/dataset_util.h"
#include "model/wire_alloc.h"
#include "rpc/record_stream.h"
#include "rpc/xdr_call.h"
#include "util/fault.h"
#include "wire/cell_xdr.h"

namespace {

// Smallest cell of each fixed-size type; 0 for the others.
uint64_t fixed_cell_size(int t) {
  switch (t) {
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
      return 1;
    case CTYPE_SGN16:
    case CTYPE_UNS16:
      return 2;
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      return 4;
    case CTYPE_FLT64:
      return 8;
    case CTYPE_DATE:
    case CTYPE_TIME:
      return 6;
    case CTYPE_TIMESTAMP:
      return 16;
    default:
      return 0;
  }
}

template <typename T, typename F>
int xdr_cell_scalar(XDR* x, char* cell, F filter) {
  T v;
  std::memcpy(&v, cell, sizeof v);
  if (!filter(x, &v)) return FALSE;
  if (x->x_op == XDR_DECODE) std::memcpy(cell, &v, sizeof v);
  return TRUE;
}

// One cell of column c at `cell`, by the column's type (in memory when encoding, as
// decoded from the wire when decoding).
int xdr_cell(XDR* x, const Coldata* c, char* cell) {
  uint64_t w = c->width;
  switch (c->cType) {
    case CTYPE_VOID:
      return TRUE;
    case CTYPE_CHR:
    case CTYPE_BIN:
      if (w > UINT_MAX) return FALSE;
      return VYRRPC_xdr_opaque(x, cell, unsigned(w));
    case CTYPE_BIT1:
    case CTYPE_UNS8:
      return VYRRPC_xdr_u_char(x, reinterpret_cast<unsigned char*>(cell));
    case CTYPE_SGN8:
      return VYRRPC_xdr_char(x, cell);
    case CTYPE_SGN16:
      return xdr_cell_scalar<short>(x, cell, VYRRPC_xdr_short);
    case CTYPE_SGN32:
      return xdr_cell_scalar<int>(x, cell, VYRRPC_xdr_int);
    case CTYPE_UNS16:
      return xdr_cell_scalar<unsigned short>(x, cell, VYRRPC_xdr_u_short);
    case CTYPE_UNS32:
      return xdr_cell_scalar<unsigned int>(x, cell, VYRRPC_xdr_u_int);
    case CTYPE_FLT32:
      return xdr_cell_scalar<float>(x, cell, xdr_float);
    case CTYPE_FLT64:
      return xdr_cell_scalar<double>(x, cell, xdr_double);
    case CTYPE_DATE:
      return xdr_cell_scalar<c_date>(x, cell, VYRXDR_c_date);
    case CTYPE_TIME:
      return xdr_cell_scalar<c_time>(x, cell, VYRXDR_c_time);
    case CTYPE_TIMESTAMP:
      return xdr_cell_scalar<c_timestamp>(x, cell, VYRXDR_c_timestamp);
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR: {
      if (w < 16) return FALSE;
      uint32_t len;
      void* data;
      std::memcpy(&len, cell, 4);
      std::memcpy(&data, cell + 8, sizeof data);
      int ok = xdr_long_cell(x, &len, &data, c->cType == CTYPE_WLCHR, c->cType == CTYPE_LCHR);
      if (x->x_op == XDR_DECODE) {
        // Whatever was allocated goes into the cell at once, where the free pass finds it.
        std::memcpy(cell, &len, 4);
        std::memcpy(cell + 8, &data, sizeof data);
      }
      return ok;
    }
    case CTYPE_VCHR: {
      // Sent as a long text: at most width - 1 characters, never scanning past the cell.
      if (w == 0) return FALSE;
      uint32_t len = 0;
      if (x->x_op == XDR_ENCODE) {
        const void* z = std::memchr(cell, 0, w - 1);
        len = uint32_t(z ? static_cast<const char*>(z) - cell : w - 1);
      }
      if (!xdr_counted(x, &len)) return FALSE;
      if (x->x_op == XDR_DECODE) {
        if (len > w - 1) return FALSE;
        cell[len] = 0;
      }
      return len == 0 || VYRRPC_xdr_opaque(x, cell, len);
    }
    case CTYPE_VCHR8:
    case CTYPE_VBIN8:
      return xdr_prefixed_cell(x, cell, w, 1, false);
    case CTYPE_VCHR16:
    case CTYPE_VBIN16:
      return xdr_prefixed_cell(x, cell, w, 2, false);
    case CTYPE_VCHR32:
    case CTYPE_VBIN32:
      return xdr_prefixed_cell(x, cell, w, 4, false);
    case CTYPE_WVCHR32:
      return xdr_prefixed_cell(x, cell, w, 4, true);
    case CTYPE_WCHR: {
      uint64_t n = w / 4;
      if (n == 0) {
        uint32_t u = 0;
        return VYRRPC_xdr_u_int(x, &u) && u == 0;
      }
      std::vector<wchar_t> tmp(n);
      if (x->x_op == XDR_ENCODE) std::memcpy(tmp.data(), cell, n * 4);
      if (!VYRXDR_c_wchr(x, tmp.data(), unsigned(n))) return FALSE;
      if (x->x_op == XDR_DECODE) std::memcpy(cell, tmp.data(), n * 4);
      return TRUE;
    }
    case CTYPE_WVCHR: {
      // A character count, at most one less than the cell holds (room for the NUL).
      uint64_t cap = w / 4;
      if (cap == 0) return FALSE;
      uint32_t count = 0;
      if (x->x_op == XDR_ENCODE) {
        while (count < cap - 1) {
          wchar_t ch;
          std::memcpy(&ch, cell + uint64_t(count) * 4, 4);
          if (ch == 0) break;
          ++count;
        }
      }
      if (!VYRRPC_xdr_u_int(x, &count)) return FALSE;
      if (count > cap - 1) return FALSE;
      if (count == 0) return TRUE;
      std::vector<wchar_t> tmp(count);
      if (x->x_op == XDR_ENCODE) std::memcpy(tmp.data(), cell, uint64_t(count) * 4);
      if (!VYRXDR_c_wchr(x, tmp.data(), count)) return FALSE;
      if (x->x_op == XDR_DECODE) {
        std::memcpy(cell, tmp.data(), uint64_t(count) * 4);
        std::memset(cell + uint64_t(count) * 4, 0, 4);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

constexpr uint64_t kGrowBytes = 64 * 1024;

// Doubles a column's rows (at most to `want`); new rows are NULL.
bool grow_column(Coldata* c, uint64_t* cap, uint64_t want) {
  uint64_t n = std::min(want, *cap * 2);
  uint64_t bytes = wire_column_bytes(n, c->width);
  void* v = std::realloc(c->values, bytes);
  if (!v) return false;
  c->values = v;
  std::memset(static_cast<char*>(v) + *cap * c->width, 0, bytes - *cap * c->width);
  void* ind = std::realloc(c->indicators, n * sizeof(indicator_t));
  if (!ind) return false;
  c->indicators = static_cast<indicator_t*>(ind);
  for (uint64_t i = *cap; i < n; ++i) c->indicators[i] = -1;
  *cap = n;
  return true;
}

// Wire type and width of an in-memory column.
void wire_shape(const Coldata* c, uint32_t* type, uint32_t* width) {
  *type = c->cType;
  *width = c->width;
  switch (c->cType) {
    case CTYPE_VCHR:
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32:
      *type = CTYPE_LCHR;
      break;
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32:
      *type = CTYPE_LBIN;
      break;
    case CTYPE_WCHR:
      *width = c->width / 4;
      break;
    case CTYPE_WVCHR:
      *type = CTYPE_WLCHR;
      *width = c->width / 4;
      break;
    case CTYPE_WVCHR32:
      *type = CTYPE_WLCHR;
      *width = c->width / 4 >= 1 ? c->width / 4 - 1 : 0;
      break;
    default:
      break;
  }
}

// ---- Fast path for streams over a buffer (memory streams: the UDP transport, caches).
// The bytes are parsed in place; anything unusual (short data, a bad length) puts the
// stream back where it was and lets the unit-by-unit path decide, so that both paths
// accept and refuse exactly the same input.

inline uint32_t be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool fast_type(int t) {
  switch (t) {
    case CTYPE_VOID:
    case CTYPE_CHR:
    case CTYPE_BIN:
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
    case CTYPE_SGN16:
    case CTYPE_UNS16:
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
    case CTYPE_FLT64:
    case CTYPE_DATE:
    case CTYPE_TIME:
    case CTYPE_TIMESTAMP:
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_VCHR:
      return true;
    default:
      return false;
  }
}

// Parses one non-NULL cell at p (n bytes available); the bytes used, or 0 to give up.
uint64_t fast_cell(const Coldata* c, char* cell, const unsigned char* p, uint64_t n) {
  uint64_t w = c->width;
  auto unit16 = [&](int i, char* dst) {
    uint16_t v = uint16_t(be32(p + 4 * i));
    std::memcpy(dst, &v, 2);
  };
  switch (c->cType) {
    case CTYPE_VOID:
      return 0;  // nothing follows a value of no type: let the slow path decide
    case CTYPE_CHR:
    case CTYPE_BIN: {
      uint64_t need = (w + 3) & ~uint64_t(3);
      if (w == 0 || n < need) return 0;
      std::memcpy(cell, p, w);
      return need;
    }
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
      if (n < 4) return 0;
      cell[0] = char(be32(p));
      return 4;
    case CTYPE_SGN16:
    case CTYPE_UNS16:
      if (n < 4) return 0;
      unit16(0, cell);
      return 4;
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32: {
      if (n < 4) return 0;
      uint32_t v = be32(p);
      std::memcpy(cell, &v, 4);
      return 4;
    }
    case CTYPE_FLT64: {
      if (n < 8) return 0;
      uint64_t v = (uint64_t(be32(p)) << 32) | be32(p + 4);
      std::memcpy(cell, &v, 8);
      return 8;
    }
    case CTYPE_DATE:
    case CTYPE_TIME:
      if (n < 12) return 0;
      for (int i = 0; i < 3; ++i) unit16(i, cell + 2 * i);
      return 12;
    case CTYPE_TIMESTAMP: {
      if (n < 28) return 0;
      for (int i = 0; i < 6; ++i) unit16(i, cell + 2 * i);
      uint32_t f = be32(p + 24);
      std::memcpy(cell + 12, &f, 4);
      return 28;
    }
    case CTYPE_VCHR: {
      if (n < 4 || w == 0) return 0;
      uint32_t len = be32(p);
      uint64_t need = 4 + ((uint64_t(len) + 3) & ~uint64_t(3));
      if (len > w - 1 || n < need) return 0;
      std::memcpy(cell, p + 4, len);
      cell[len] = 0;
      return need;
    }
    case CTYPE_LCHR:
    case CTYPE_LBIN: {
      if (n < 4 || w < 16) return 0;
      uint32_t len = be32(p);
      uint64_t need = 4 + ((uint64_t(len) + 3) & ~uint64_t(3));
      if (n < need) return 0;
      bool text = c->cType == CTYPE_LCHR;
      void* data = nullptr;
      if (len != 0 || text) {
        uint64_t bytes = uint64_t(len) + (text ? 1 : 0);
        if (!wire_decode_charge(bytes)) return 0;
        data = wire_malloc(bytes);
        if (!data) return 0;
        std::memcpy(data, p + 4, len);
        if (text) static_cast<char*>(data)[len] = 0;
      }
      std::memcpy(cell, &len, 4);
      std::memcpy(cell + 8, &data, sizeof data);
      return need;
    }
    default:
      return 0;
  }
}

inline uint32_t load_be32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}

inline uint64_t load_be64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// Cell writers of the fixed-size types that travel as one unit or as two; `size` is
// the bytes a cell takes in memory, `wire` the bytes its value takes on the wire.
struct Put8 {
  static constexpr unsigned size = 1, wire = 4;
  static void put(char* cell, const unsigned char* p) { cell[0] = char(p[3]); }
};
struct Put16 {
  static constexpr unsigned size = 2, wire = 4;
  static void put(char* cell, const unsigned char* p) {
    uint16_t v = uint16_t(load_be32(p));
    std::memcpy(cell, &v, 2);
  }
};
struct Put32 {
  static constexpr unsigned size = 4, wire = 4;
  static void put(char* cell, const unsigned char* p) {
    uint32_t v = load_be32(p);
    std::memcpy(cell, &v, 4);
  }
};
struct Put64 {
  static constexpr unsigned size = 8, wire = 8;
  static void put(char* cell, const unsigned char* p) {
    uint64_t v = load_be64(p);
    std::memcpy(cell, &v, 8);
  }
};

// Calls f with the cell writer of a fixed-size type that travels as one unit or
// two (an object of that writer's type); false for the other types.
template <class F>
bool with_put(int t, F&& f) {
  switch (t) {
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
      f(Put8{});
      return true;
    case CTYPE_SGN16:
    case CTYPE_UNS16:
      f(Put16{});
      return true;
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      f(Put32{});
      return true;
    case CTYPE_FLT64:
      f(Put64{});
      return true;
    default:
      return false;
  }
}

// The rows of a fixed-size column; the bytes used, or 0 when the data runs out.
// A branch rather than a select on the indicator: the next row's place then does not
// wait for this row's indicator to load, and NULLs are rare enough to predict.
template <class P>
uint64_t fixed_rows(const unsigned char* p, uint64_t avail, Coldata* c, sgn32 n) {
  indicator_t* ind = c->indicators;
  char* v = static_cast<char*>(c->values);
  const uint64_t w = c->width;
  const unsigned char* q = p;
  const unsigned char* end = p + avail;
  // Where every row fits even when none is NULL, no bound is checked per row.
  const bool room = avail / (4 + P::wire) >= uint64_t(n);
  for (sgn32 r = 0; r < n; ++r) {
    if (!room && end - q < 4) return 0;
    indicator_t i = indicator_t(load_be32(q));
    ind[r] = i;
    char* cell = v + uint64_t(r) * w;
    if (__builtin_expect(i == 0, 1)) {
      if (!room && uint64_t(end - q) < 4 + P::wire) return 0;
      P::put(cell, q + 4);
      q += 4 + P::wire;
    } else {
      std::memset(cell, 0, P::size);
      q += 4;
    }
  }
  return uint64_t(q - p);
}

// A column's cells and indicators without the zeroing of Coldata_Init: the fast
// loops write every cell (NULL ones as zeros) and every indicator.
bool alloc_column(Coldata* c, sgn32 n, uint64_t extra) {
  uint64_t bytes = wire_column_bytes(uint64_t(n), c->width);
  if (bytes == UINT64_MAX || bytes > UINT64_MAX - extra - 8) return false;
  c->values = wire_malloc(((bytes + 7) & ~uint64_t(7)) + extra);
  c->indicators =
      c->values ? static_cast<indicator_t*>(wire_malloc(uint64_t(n) * sizeof(indicator_t))) : nullptr;
  if (!c->indicators) {
    std::free(c->values);
    c->values = nullptr;
    return false;
  }
  static_cast<char*>(c->values)[bytes - 1] = 0;  // the spare byte
  return true;
}

void drop_column(Coldata* c) {
  std::free(c->values);
  std::free(c->indicators);
  c->values = nullptr;
  c->indicators = nullptr;
}

template <class P>
uint64_t fast_fixed_column(const unsigned char* p, uint64_t avail, Coldata* c, sgn32 n) {
  if (c->width < P::size || !alloc_column(c, n, 0)) return 0;
  // Wider cells than the value keep their other bytes zero, as Coldata_Init leaves them.
  if (c->width != P::size) std::memset(c->values, 0, uint64_t(n) * c->width);
  uint64_t used = fixed_rows<P>(p, avail, c, n);
  if (used == 0) drop_column(c);
  return used;
}

// The wire bytes of a long value of len bytes after its indicator. Values of one
// column often share a length: when this one has the last one's, the step is known
// before the length is loaded, so the walk does not wait for every length in turn
// (the asm keeps the compiler from turning the branch back into a select).
struct LongStep {
  uint32_t last = 0;
  uint64_t step = 8;
  uint64_t operator()(uint32_t len) {
    if (__builtin_expect(len != last, 0)) {
      asm volatile("");
      last = len;
      step = 8 + ((uint64_t(len) + 3) & ~uint64_t(3));
    }
    return step;
  }
};

// Copies a long value's bytes; short ones in one whole 32-byte move where both sides
// have the room (the block keeps kSlack spare bytes at its end).
constexpr uint64_t kSlack = 32;
inline void copy_value(char* d, const unsigned char* src, uint32_t len, const unsigned char* end) {
  if (__builtin_expect(len <= 32 && end - src >= 32, 1))
    std::memcpy(d, src, 32);
  else
    std::memcpy(d, src, len);
}

// Past this many bytes in the buffer, long columns are walked twice rather than
// given room for all of them.
constexpr uint64_t kOnePassBytes = 16u << 20;

// Fills the cells and indicators of a long column from p, the data going to d on;
// the end of the data, or null when the rows do not fit before end (checked only
// when the first walk has not done so already).
template <bool Text, bool Check>
char* fill_long_rows(const unsigned char* p, const unsigned char* end, Coldata* c, sgn32 n, char* d,
                     const unsigned char** stop) {
  indicator_t* ind = c->indicators;
  char* cells = static_cast<char*>(c->values);
  const unsigned char* q = p;
  LongStep fill;
  for (sgn32 r = 0; r < n; ++r) {
    char* cell = cells + uint64_t(r) * 16;
    if (Check && end - q < 8 && (end - q < 4 || indicator_t(load_be32(q)) == 0)) return nullptr;
    indicator_t i = indicator_t(load_be32(q));
    ind[r] = i;
    if (__builtin_expect(i != 0, 0)) {
      std::memset(cell, 0, 16);
      q += 4;
      continue;
    }
    uint32_t len = load_be32(q + 4);
    uint64_t step = fill(len);
    if (Check && uint64_t(end - q) < step) return nullptr;
    copy_value(d, q + 8, len, end);
    uint64_t head = len;
    char* ptr = d;
    if (Text)
      d[len] = 0;
    else if (len == 0)
      ptr = nullptr;  // empty binary has no buffer
    std::memcpy(cell, &head, 8);
    std::memcpy(cell + 8, &ptr, 8);
    d += len + (Text ? 1 : 0);
    q += step;
  }
  *stop = q;
  return d;
}

// Long text and binary: the cells and all their data take one block. The data of a
// row never takes more room than its wire bytes, so where the buffer is small the
// block gets room for all of it, is filled in one walk and then cut to size; on a
// larger buffer a first walk checks every length and bound and adds up the data.
template <bool Text>
uint64_t fast_long_column(const unsigned char* p, uint64_t avail, Coldata* c, sgn32 n) {
  if (c->width != 16) return 0;
  constexpr uint64_t extra = Text ? 1 : 0;
  const unsigned char* end = p + avail;
  const uint64_t cellBytes = (wire_column_bytes(uint64_t(n), 16) + 7) & ~uint64_t(7);
  uint64_t data = 0;
  const bool onePass = avail <= kOnePassBytes;
  if (!onePass) {
    const unsigned char* q = p;
    LongStep walk;
    for (sgn32 r = 0; r < n; ++r) {
      if (end - q < 8) {
        // Room for a NULL's indicator only.
        if (end - q < 4 || indicator_t(load_be32(q)) == 0) return 0;
        q += 4;
        continue;
      }
      if (__builtin_expect(indicator_t(load_be32(q)) != 0, 0)) {
        q += 4;
        continue;
      }
      uint32_t len = load_be32(q + 4);
      uint64_t step = walk(len);
      if (uint64_t(end - q) < step) return 0;
      data += len + extra;
      q += step;
    }
  }
  const uint64_t room = onePass ? avail : data;
  if (!wire_decode_charge(room)) return 0;
  if (!alloc_column(c, n, room + kSlack)) {
    wire_decode_refund(room);
    return 0;
  }
  char* const base = static_cast<char*>(c->values) + cellBytes;
  const unsigned char* stop = nullptr;
  char* d = onePass ? fill_long_rows<Text, true>(p, end, c, n, base, &stop)
                    : fill_long_rows<Text, false>(p, end, c, n, base, &stop);
  if (!d) {
    drop_column(c);
    wire_decode_refund(room);
    return 0;
  }
  if (onePass) {
    // Cut the block to what the data took; should it move, the cells follow it.
    data = uint64_t(d - base);
    wire_decode_refund(room - data);
    void* cut = std::realloc(c->values, cellBytes + data);
    if (cut && cut != c->values) {
      auto from = reinterpret_cast<uintptr_t>(c->values);
      auto to = reinterpret_cast<uintptr_t>(cut);
      for (sgn32 r = 0; r < n; ++r) {
        char* cell = static_cast<char*>(cut) + uint64_t(r) * 16;
        uintptr_t ptr;
        std::memcpy(&ptr, cell + 8, 8);
        if (ptr) ptr = ptr - from + to;
        std::memcpy(cell + 8, &ptr, 8);
      }
    }
    if (cut) c->values = cut;
  }
  return uint64_t(stop - p);
}

// Any other type the fast path knows: cell by cell.
uint64_t fast_cells(const unsigned char* p, uint64_t avail, Coldata* c, sgn32 n) {
  if (Coldata_Init(c, n) != ER_SUCCESS) return 0;
  uint64_t used = 0;
  for (sgn32 r = 0; r < n; ++r) {
    uint64_t k = 0;
    if (avail - used >= 4) {
      indicator_t ind = indicator_t(be32(p + used));
      used += 4;
      c->indicators[r] = ind;
      if (ind != 0) continue;
      k = fast_cell(c, Coldata_Cell(c, r), p + used, avail - used);
    }
    if (k == 0) {
      Coldata_Done(c, n);
      return 0;
    }
    used += k;
  }
  return used;
}

// 1: the column was decoded; 0: not applicable, the stream is where it was.
int fast_column(XDR* x, Coldata* c, sgn32 nRows) {
  if (!fast_type(c->cType) || !x->x_ops->x_inline) return 0;
  unsigned pos = VYRRPC_xdr_getpos(x);
  if (pos == 0xFFFFFFFFu || !VYRRPC_xdr_setpos(x, pos)) return 0;  // not a buffer stream
  uint64_t avail = x->x_handy;
  if (avail < uint64_t(nRows) * 4) return 0;  // the rows cannot all be there
  const unsigned char* p = reinterpret_cast<const unsigned char*>(VYRRPC_xdr_inline(x, unsigned(avail)));
  if (!p) {
    VYRRPC_xdr_setpos(x, pos);
    return 0;
  }
  uint64_t used = 0;
  auto fixed = [&](auto put) { used = fast_fixed_column<decltype(put)>(p, avail, c, nRows); };
  if (!with_put(c->cType, fixed)) {
    if (c->cType == CTYPE_LCHR)
      used = fast_long_column<true>(p, avail, c, nRows);
    else if (c->cType == CTYPE_LBIN)
      used = fast_long_column<false>(p, avail, c, nRows);
    else
      used = fast_cells(p, avail, c, nRows);
  }
  if (used == 0 || !VYRRPC_xdr_setpos(x, pos + unsigned(used))) {
    if (used != 0) Coldata_Done(c, nRows);
    VYRRPC_xdr_setpos(x, pos);
    return 0;
  }
  return 1;
}

// Wire bytes of a non-NULL cell of a fixed-size type, 0 for the other types.
unsigned fixed_wire_bytes(int t) {
  switch (t) {
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8:
    case CTYPE_SGN16:
    case CTYPE_UNS16:
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      return 4;
    case CTYPE_FLT64:
      return 8;
    case CTYPE_DATE:
    case CTYPE_TIME:
      return 12;
    case CTYPE_TIMESTAMP:
      return 28;
    default:
      return 0;
  }
}

inline void put_be32(char* p, uint32_t v) {
  p[0] = char(v >> 24);
  p[1] = char(v >> 16);
  p[2] = char(v >> 8);
  p[3] = char(v);
}

// Writes a fixed-size cell in its wire form, as the unit filters would.
void put_fixed(char* p, int t, const char* cell) {
  auto s16 = [&](int off) {
    int16_t v;
    std::memcpy(&v, cell + off, 2);
    return uint32_t(int32_t(v));
  };
  auto u16 = [&](int off) {
    uint16_t v;
    std::memcpy(&v, cell + off, 2);
    return uint32_t(v);
  };
  switch (t) {
    case CTYPE_BIT1:
    case CTYPE_UNS8:
      put_be32(p, uint8_t(cell[0]));
      break;
    case CTYPE_SGN8:
      put_be32(p, uint32_t(int32_t(static_cast<signed char>(cell[0]))));
      break;
    case CTYPE_SGN16:
      put_be32(p, s16(0));
      break;
    case CTYPE_UNS16:
      put_be32(p, u16(0));
      break;
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32: {
      uint32_t v;
      std::memcpy(&v, cell, 4);
      put_be32(p, v);
      break;
    }
    case CTYPE_FLT64: {
      uint64_t v;
      std::memcpy(&v, cell, 8);
      put_be32(p, uint32_t(v >> 32));
      put_be32(p + 4, uint32_t(v));
      break;
    }
    case CTYPE_DATE:
      put_be32(p, s16(0));
      put_be32(p + 4, u16(2));
      put_be32(p + 8, u16(4));
      break;
    case CTYPE_TIME:
      for (int i = 0; i < 3; ++i) put_be32(p + 4 * i, u16(2 * i));
      break;
    case CTYPE_TIMESTAMP: {
      put_be32(p, s16(0));
      for (int i = 1; i < 6; ++i) put_be32(p + 4 * i, u16(2 * i));
      uint32_t f;
      std::memcpy(&f, cell + 12, 4);
      put_be32(p + 24, f);
      break;
    }
    default:
      break;
  }
}

// Long cells read unit by unit (a record stream): their data is gathered in one
// buffer while the rows arrive, and joins the column's block once all are there.
// Until then a cell holds the offset of its data plus one (0: no buffer).
struct LongData {
  char* buf = nullptr;
  uint64_t size = 0, cap = 0;
  ~LongData() { std::free(buf); }
  // Room for bytes more, charged to the decode budget.
  bool reserve(uint64_t bytes) {
    if (!wire_decode_charge(bytes)) return false;
    return grow(bytes);
  }
  // Room for bytes more, not charged.
  bool grow(uint64_t bytes) {
    if (bytes <= cap - size) return true;
    uint64_t want = std::max<uint64_t>({cap * 2, size + bytes, 4096});
    void* grown = vyr_fault_alloc() ? nullptr : std::realloc(buf, want);
    if (!grown) return false;
    buf = static_cast<char*>(grown);
    cap = want;
    return true;
  }
  // Records a value of len bytes at src for a cell (its data read from src).
  void put(char* cell, const unsigned char* src, uint32_t len, bool text) {
    if (len != 0) std::memcpy(buf + size, src, len);
    settle(cell, len, text);
  }
  // The value's bytes are in place at buf + size: terminate and point the cell at them.
  void settle(char* cell, uint32_t len, bool text) {
    if (text) buf[size + len] = 0;
    uint64_t slot = size + 1;
    std::memcpy(cell + 8, &slot, 8);
    size += uint64_t(len) + (text ? 1 : 0);
  }
};

bool read_long_cell(XDR* x, char* cell, LongData* side, bool text) {
  uint32_t len;
  if (!VYRRPC_xdr_u_int(x, &len)) return false;
  std::memcpy(cell, &len, 4);
  uint64_t bytes = uint64_t(len) + (text ? 1 : 0);
  if (bytes == 0) return true;  // empty binary: no buffer
  if (!side->reserve(bytes)) return false;
  if (len != 0 && !VYRRPC_xdr_opaque(x, side->buf + side->size, len)) return false;
  side->settle(cell, len, text);
  return true;
}

// Whole rows from r0 on (below rEnd) that lie in the n bytes at p, the input a
// record stream already holds: the rows done, *used the bytes they took; a row
// cut by the end of those bytes is left to the unit-by-unit path. -1 when a long
// value's buffer cannot be had.
template <class P>
sgn32 fixed_chunk(const unsigned char* p, uint64_t n, Coldata* c, sgn32 r0, sgn32 rEnd, uint64_t* used) {
  const unsigned char* q = p;
  const unsigned char* end = p + n;
  sgn32 r = r0;
  for (; r < rEnd && end - q >= 4; ++r) {
    indicator_t i = indicator_t(load_be32(q));
    if (i == 0) {
      if (uint64_t(end - q) < 4 + P::wire) break;
      P::put(Coldata_Cell(c, uint64_t(r)), q + 4);
      q += 4 + P::wire;
    } else {
      q += 4;
    }
    c->indicators[r] = i;
  }
  *used = uint64_t(q - p);
  return r - r0;
}

sgn32 long_chunk(const unsigned char* p, uint64_t n, Coldata* c, sgn32 r0, sgn32 rEnd, LongData* side,
                 bool text, uint64_t* used) {
  const unsigned char* q = p;
  const unsigned char* end = p + n;
  // The data of the rows in these n bytes takes at most n bytes: charged and
  // made room for at once (with the slack of whole 32-byte moves), the rest
  // refunded at the end; cell by cell when the budget or memory is short.
  const uint64_t before = side->size;
  const bool bulk = wire_decode_charge(n) && (side->grow(n + kSlack) || (wire_decode_refund(n), false));
  sgn32 r = r0;
  for (; r < rEnd && end - q >= 4; ++r) {
    indicator_t i = indicator_t(load_be32(q));
    if (i == 0) {
      if (end - q < 8) break;
      uint32_t len = load_be32(q + 4);
      uint64_t need = 8 + ((uint64_t(len) + 3) & ~uint64_t(3));
      if (uint64_t(end - q) < need) break;
      char* cell = Coldata_Cell(c, uint64_t(r));
      std::memcpy(cell, &len, 4);
      uint64_t bytes = uint64_t(len) + (text ? 1 : 0);
      if (bytes != 0) {
        if (bulk) {
          copy_value(side->buf + side->size, q + 8, len, end);  // the room ahead takes any overhang
          side->settle(cell, len, text);
        } else {
          if (!side->reserve(bytes)) return -1;
          side->put(cell, q + 8, len, text);
        }
      }
      q += need;
    } else {
      q += 4;
    }
    c->indicators[r] = i;
  }
  if (bulk) wire_decode_refund(n - (side->size - before));
  *used = uint64_t(q - p);
  return r - r0;
}

// Decodes what it can of rows [r, rEnd) from the record stream's buffered input;
// the rows done (0: none whole there, or not a record stream), -1 on failure.
sgn32 chunk_rows(XDR* x, Coldata* c, sgn32 r, sgn32 rEnd, LongData* side) {
  unsigned n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(VYRRPC_xdrrec_peek(x, &n));
  if (!p || n < 4) return 0;
  uint64_t used = 0;
  sgn32 k = 0;
  auto fixed = [&](auto put) { k = fixed_chunk<decltype(put)>(p, n, c, r, rEnd, &used); };
  if (!with_put(c->cType, fixed)) {
    if ((c->cType != CTYPE_LCHR && c->cType != CTYPE_LBIN) || c->width != 16) return 0;
    k = long_chunk(p, n, c, r, rEnd, side, c->cType == CTYPE_LCHR, &used);
  }
  if (k > 0 && !VYRRPC_xdr_inline(x, unsigned(used))) return -1;  // cannot happen: the bytes were there
  return k;
}

// Moves the gathered data behind the cells and turns the offsets into pointers.
bool settle_long_column(Coldata* c, sgn32 n, LongData* side) {
  if (side->size == 0) return true;
  const uint64_t cellBytes = (wire_column_bytes(uint64_t(n), 16) + 7) & ~uint64_t(7);
  void* v = vyr_fault_alloc() ? nullptr : std::realloc(c->values, cellBytes + side->size);
  if (!v) return false;
  c->values = v;
  char* base = static_cast<char*>(v) + cellBytes;
  std::memcpy(base, side->buf, side->size);
  for (sgn32 r = 0; r < n; ++r) {
    char* cell = static_cast<char*>(v) + uint64_t(r) * 16;
    uint64_t slot;
    std::memcpy(&slot, cell + 8, 8);
    char* ptr = slot ? base + slot - 1 : nullptr;
    std::memcpy(cell + 8, &ptr, 8);
  }
  return true;
}

// The length of the text at p, at most max bytes: eight bytes at a time (the
// lowest byte flagged is the first NUL; flags above it may be false).
inline uint64_t text_length(const char* p, uint64_t max) {
  uint64_t i = 0;
  for (; i + 8 <= max; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);
    uint64_t z = (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
    if (z) return i + uint64_t(__builtin_ctzll(z) >> 3);
  }
  for (; i < max; ++i)
    if (p[i] == 0) return i;
  return max;
}

// Where rows can be written straight into the stream: the room of a buffer
// stream, or what is left of a record stream's output fragment. Nothing is
// consumed; x_inline consumes what was written. Null when the stream has none.
char* out_window(XDR* x, uint64_t* room) {
  unsigned n = 0;
  if (char* p = VYRRPC_xdrrec_peek(x, &n)) {
    *room = n;
    return p;
  }
  if (!x->x_ops->x_inline) return nullptr;
  unsigned pos = VYRRPC_xdr_getpos(x);
  if (pos == 0xFFFFFFFFu || !VYRRPC_xdr_setpos(x, pos)) return nullptr;  // not a buffer stream
  *room = x->x_handy;
  return VYRRPC_xdr_inline(x, 0);
}

// Cell writers of the commonest fixed-size types for put_rows' own loops.
struct Wire32 {
  static constexpr unsigned wire = 4;
  static void put(char* q, const char* cell) {
    uint32_t v;
    std::memcpy(&v, cell, 4);
    v = __builtin_bswap32(v);
    std::memcpy(q, &v, 4);
  }
};
struct Wire64 {
  static constexpr unsigned wire = 8;
  static void put(char* q, const char* cell) {
    uint64_t v;
    std::memcpy(&v, cell, 8);
    v = __builtin_bswap64(v);  // high word first, each word big-endian
    std::memcpy(q, &v, 8);
  }
};

// put_rows for a column of one of those types: where every row fits even when
// none is NULL, no bound is checked per row.
template <class W>
sgn32 put_fixed_rows(char* p, uint64_t room, const Coldata* c, sgn32 r0, sgn32 n, uint64_t* used) {
  const indicator_t* ind = c->indicators;
  const char* v = static_cast<const char*>(c->values);
  const uint64_t w = c->width;
  char* q = p;
  char* const end = p + room;
  const bool fits = room / (4 + W::wire) >= uint64_t(n - r0);
  sgn32 r = r0;
  for (; r < n; ++r) {
    const indicator_t i = ind[r];
    if (__builtin_expect(i == 0, 1)) {
      if (!fits && uint64_t(end - q) < 4 + W::wire) break;
      std::memset(q, 0, 4);
      W::put(q + 4, v + uint64_t(r) * w);
      q += 4 + W::wire;
    } else {
      if (!fits && end - q < 4) break;
      put_be32(q, uint32_t(int32_t(i)));
      q += 4;
    }
  }
  *used = uint64_t(q - p);
  return r - r0;
}

// put_rows for a text column (CTYPE_VCHR of a width above 0). A short value is
// moved as one 32-byte block where the column and the room both hold that many
// bytes; what lands past its pad is covered by the next row or lies beyond what
// is sent.
sgn32 put_text_rows(char* p, uint64_t room, const Coldata* c, sgn32 r0, sgn32 n, uint64_t* used) {
  const indicator_t* ind = c->indicators;
  const char* v = static_cast<const char*>(c->values);
  const uint64_t w = c->width;
  const char* const colEnd = v + uint64_t(n) * w;
  char* q = p;
  char* const end = p + room;
  sgn32 r = r0;
  for (; r < n; ++r) {
    const indicator_t i = ind[r];
    if (i != 0) {
      if (end - q < 4) break;
      put_be32(q, uint32_t(int32_t(i)));
      q += 4;
      continue;
    }
    const char* cell = v + uint64_t(r) * w;
    // Indicator, length and characters, at most width - 1 of them.
    const bool whole = colEnd - cell >= 32;  // 32 bytes readable from the cell on
    uint32_t len;
    if (whole) {
      const __m128i zero = _mm_setzero_si128();
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell + 16));
      uint32_t nul = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(lo, zero))) |
                     (uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(hi, zero))) << 16);
      if (w - 1 < 32) nul |= 1u << (w - 1);  // the cap counts as the end
      len = nul ? uint32_t(__builtin_ctz(nul)) : uint32_t(text_length(cell, w - 1));
    } else {
      len = uint32_t(text_length(cell, w - 1));
    }
    const uint64_t padded = (uint64_t(len) + 3) & ~uint64_t(3);
    if (uint64_t(end - q) < 8 + padded) break;
    std::memset(q, 0, 4);
    put_be32(q + 4, len);
    if (whole && len <= 32 && end - q >= 8 + 36) {
      std::memcpy(q + 8, cell, 32);
      std::memset(q + 8 + len, 0, 4);  // the pad
    } else {
      if (padded) std::memset(q + 4 + padded, 0, 4);  // the pad, before the characters cover the rest
      std::memcpy(q + 8, cell, len);
    }
    q += 8 + padded;
  }
  *used = uint64_t(q - p);
  return r - r0;
}

// Writes rows from r0 on (below n) into the room at p while whole rows fit: NULLs,
// fixed-size cells and text; the rows written, *used their bytes. Any other cell,
// or a row that does not fit, is left to the unit filters.
sgn32 put_rows(char* p, uint64_t room, const Coldata* c, sgn32 r0, sgn32 n, uint64_t* used) {
  switch (c->cType) {
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      if (c->width >= 4) return put_fixed_rows<Wire32>(p, room, c, r0, n, used);
      break;
    case CTYPE_FLT64:
      if (c->width >= 8) return put_fixed_rows<Wire64>(p, room, c, r0, n, used);
      break;
    case CTYPE_VCHR:
      if (c->width > 0) return put_text_rows(p, room, c, r0, n, used);
      break;
    default:
      break;
  }
  const unsigned fw = c->width >= fixed_cell_size(c->cType) ? fixed_wire_bytes(c->cType) : 0;
  const bool text = c->cType == CTYPE_VCHR && c->width > 0;
  char* q = p;
  char* const end = p + room;
  sgn32 r = r0;
  for (; r < n; ++r) {
    indicator_t ind = c->indicators[r];
    const char* cell = Coldata_Cell(c, uint64_t(r));
    if (ind != 0) {
      if (end - q < 4) break;
      put_be32(q, uint32_t(int32_t(ind)));
      q += 4;
    } else if (fw) {
      if (uint64_t(end - q) < 4 + fw) break;
      put_be32(q, 0);
      put_fixed(q + 4, c->cType, cell);
      q += 4 + fw;
    } else if (text) {
      // Indicator, length and characters, at most width - 1 of them.
      uint32_t len = uint32_t(text_length(cell, c->width - 1));
      uint64_t padded = (uint64_t(len) + 3) & ~uint64_t(3);
      if (uint64_t(end - q) < 8 + padded) break;
      put_be32(q, 0);
      put_be32(q + 4, len);
      if (padded) std::memset(q + 4 + padded, 0, 4);  // the pad, before the characters cover the rest
      std::memcpy(q + 8, cell, len);
      q += 8 + padded;
    } else {
      break;
    }
  }
  *used = uint64_t(q - p);
  return r - r0;
}

int xdr_column(XDR* x, Coldata* c, sgn32 nRows) {
  if (x->x_op == XDR_FREE) {
    Coldata_Done(c, nRows);
    return TRUE;
  }
  uint32_t type, width;
  if (x->x_op == XDR_ENCODE) {
    wire_shape(c, &type, &width);
    if (!VYRRPC_xdr_enum(x, reinterpret_cast<enum_t*>(&type)) || !VYRRPC_xdr_u_int(x, &width)) return FALSE;
    if (nRows > 0 && (!c->values || !c->indicators)) return FALSE;
    // Rows go straight into the stream's buffer while it has room for them; the
    // unit filters write the same bytes otherwise (and move to the next fragment).
    for (sgn32 r = 0; r < nRows; ++r) {
      uint64_t room = 0, used = 0;
      char* w = out_window(x, &room);
      sgn32 k = w ? put_rows(w, room, c, r, nRows, &used) : 0;
      if (k > 0) {
        if (!VYRRPC_xdr_inline(x, unsigned(used))) return FALSE;  // cannot happen: the room was there
        r += k - 1;
        continue;
      }
      indicator_t ind = c->indicators[r];
      if (!VYRRPC_xdr_short(x, &ind)) return FALSE;
      if (ind == 0 && !xdr_cell(x, c, Coldata_Cell(c, r))) return FALSE;
    }
    return TRUE;
  }
  if (x->x_op != XDR_DECODE) return FALSE;
  if (!VYRRPC_xdr_enum(x, reinterpret_cast<enum_t*>(&type)) || !VYRRPC_xdr_u_int(x, &width)) return FALSE;
  if (type > CTYPE_WVCHR32) return FALSE;
  uint64_t w = width;
  if (type == CTYPE_LCHR || type == CTYPE_LBIN || type == CTYPE_WLCHR) w = 16;
  if (type == CTYPE_WCHR) w = uint64_t(width) * 4;
  if (w > UINT32_MAX) return FALSE;
  if (w < fixed_cell_size(int(type))) return FALSE;
  c->cType = ctype_t(type);
  c->width = precision_t(w);
  if (nRows <= 0) return nRows == 0;
  uint64_t bytes = wire_column_bytes(uint64_t(nRows), w);
  if (bytes == UINT64_MAX || !wire_decode_charge(bytes + uint64_t(nRows) * sizeof(indicator_t))) return FALSE;
  if (fast_column(x, c, nRows)) return TRUE;
  unsigned fw = fixed_wire_bytes(c->cType);
  // The column grows with the rows that actually arrive, so that a count the data
  // does not back costs little.
  uint64_t cap =
      std::min<uint64_t>(uint64_t(nRows), std::max<uint64_t>(1, kGrowBytes / std::max<uint64_t>(w, 1)));
  if (Coldata_Init(c, sgn32(cap)) != ER_SUCCESS) return FALSE;
  const bool longCol = (c->cType == CTYPE_LCHR || c->cType == CTYPE_LBIN) && c->width == 16;
  const bool text = c->cType == CTYPE_LCHR;
  LongData side;
  // A part-grown column is released here: the free pass walks full columns only.
  // Its long cells hold offsets, not buffers of their own.
  auto fail = [&]() {
    if (longCol)
      for (uint64_t r = 0; r < cap; ++r) std::memset(Coldata_Cell(c, r) + 8, 0, 8);
    Coldata_Done(c, sgn32(cap));
    return FALSE;
  };
  for (sgn32 r = 0; r < nRows; ++r) {
    if (uint64_t(r) == cap && !grow_column(c, &cap, uint64_t(nRows))) return fail();
    // On a record stream, the rows its buffer already holds are read in place.
    sgn32 k = chunk_rows(x, c, r, sgn32(std::min<uint64_t>(cap, uint64_t(nRows))), &side);
    if (k < 0) return fail();
    if (k > 0) {
      r += k - 1;
      continue;
    }
    indicator_t ind;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(VYRRPC_xdr_inline(x, 4));
    bool ok = true;
    if (p)
      ind = indicator_t(be32(p));
    else
      ok = VYRRPC_xdr_short(x, &ind);
    if (ok) {
      c->indicators[r] = ind;
      if (ind == 0) {
        // A fixed-size cell read from the stream's buffer in one step when it is there.
        const unsigned char* q =
            fw ? reinterpret_cast<const unsigned char*>(VYRRPC_xdr_inline(x, fw)) : nullptr;
        if (q)
          ok = fast_cell(c, Coldata_Cell(c, r), q, fw) == fw;
        else if (longCol)
          ok = read_long_cell(x, Coldata_Cell(c, r), &side, text);
        else
          ok = xdr_cell(x, c, Coldata_Cell(c, r));
      }
    }
    if (!ok) return fail();
  }
  if (longCol && !settle_long_column(c, nRows, &side)) return fail();
  return TRUE;
}

}  // namespace

int VYRXDR_Coldata(XDR* x, Coldata* c, sgn32 nRows) {
  WireDecodeScope scope(x);
  return xdr_column(x, c, nRows);
}

int VYRXDR_Dataset(XDR* x, Dataset* ds) {
  WireDecodeScope scope(x);
  if (x->x_op == XDR_FREE) {
    Dataset_Done(ds);
    return TRUE;
  }
  uns16 nCols = ds->nCols;
  sgn32 nRows = ds->nRows;
  if (x->x_op == XDR_ENCODE && (nCols == 0 || nRows <= 0)) {
    // Nothing follows when either count is 0.
    if (nRows < 0) nRows = 0;
    return VYRRPC_xdr_u_short(x, &nCols) && VYRRPC_xdr_int(x, &nRows);
  }
  if (!VYRRPC_xdr_u_short(x, &nCols) || !VYRRPC_xdr_int(x, &nRows)) return FALSE;
  if (x->x_op == XDR_ENCODE) {
    // Rows past the allocation would be read from beyond the columns.
    if (!ds->col || ds->allocCols < nCols || nRows > ds->allocRows) return FALSE;
    for (uns16 i = 0; i < nCols; ++i)
      if (!xdr_column(x, &ds->col[i], nRows)) return FALSE;
    return TRUE;
  }
  if (nRows < 0) return FALSE;
  if (nCols == 0 || nRows == 0) {
    // An empty dataset: no counts without data, no column array.
    Dataset_Done(ds);
    return TRUE;
  }
  Dataset_Done(ds);
  if (!wire_decode_charge(uint64_t(nCols) * sizeof(Coldata))) return FALSE;
  if (Dataset_Init(ds, nCols) != ER_SUCCESS) return FALSE;
  ds->nCols = nCols;
  ds->nRows = nRows;
  ds->allocRows = nRows;
  for (uns16 i = 0; i < nCols; ++i)
    if (!xdr_column(x, &ds->col[i], nRows)) return FALSE;
  return TRUE;
}

int VYRXDR_RowSet(XDR* x, RowSet* rs) {
  WireDecodeScope scope(x);
  if (x->x_op == XDR_FREE) {
    RS_Done(rs);
    return TRUE;
  }
  sgn32 size = rs->RSSize;
  if (!VYRRPC_xdr_int(x, &size)) return FALSE;
  if (size == 0) return TRUE;
  if (size < 0) return FALSE;
  if (x->x_op == XDR_DECODE) {
    if (!wire_decode_charge(uint64_t(size) * sizeof(uns16) + sizeof(Dataset))) return FALSE;
    if (RS_Alloc(rs, size) != ER_SUCCESS) return FALSE;
    if (!VYRXDR_Dataset(x, rs->pDataset)) return FALSE;
    for (sgn32 i = 0; i < size; ++i)
      if (!VYRRPC_xdr_u_short(x, &rs->rgfRowStatus[i])) return FALSE;
    return TRUE;
  }
  if (x->x_op != XDR_ENCODE) return FALSE;
  Dataset empty{};
  if (!VYRXDR_Dataset(x, rs->pDataset ? rs->pDataset : &empty)) return FALSE;
  for (sgn32 i = 0; i < size; ++i) {
    uns16 st = rs->rgfRowStatus ? rs->rgfRowStatus[i] : 3;
    if (!VYRRPC_xdr_u_short(x, &st)) return FALSE;
  }
  return TRUE;
}
