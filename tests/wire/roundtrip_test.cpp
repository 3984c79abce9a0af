// Every argument and result record of every procedure: round trip (encode, decode,
// encode again gives the same bytes, then free) and malformed input (every
// truncation and a set of mutated units decode to a clean refusal or a record that
// frees clean). Run under AddressSanitizer and LeakSanitizer.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rpc/record_stream.h"
#include "rpc/xdr_call.h"
#include "util/fault.h"
#include "wire/record_xdr.h"
#include "wire/services.h"
#include "wire_test_util.h"

using namespace wire_test;

namespace {

struct RecordKind {
  std::string name;
  xdrproc_t routine;
  size_t size;
};

#define ROUNDTRIP_ITEM(n, name, A, R, xa, xr)                                   \
  v.push_back({#name " argument", reinterpret_cast<xdrproc_t>(xa), sizeof(A)}); \
  v.push_back({#name " result", reinterpret_cast<xdrproc_t>(xr), sizeof(R)});
std::vector<RecordKind> all_records() {
  std::vector<RecordKind> v;
  DBSV_PROCEDURES(ROUNDTRIP_ITEM)
  v.push_back({"Request", reinterpret_cast<xdrproc_t>(VYRXDR_Request), sizeof(Request)});
  v.push_back({"Batch", reinterpret_cast<xdrproc_t>(VYRXDR_Batch), sizeof(Batch)});
  return v;
}
#undef ROUNDTRIP_ITEM

// A stream that decodes every record with the unit 1 and the byte 'a' everywhere:
// counts of 1, records present, type 1 in every union, so that each record comes out
// with every optional part filled.
struct OnesStream {
  static int getlong(XDR* x, int* v) {
    if (++reinterpret_cast<OnesStream*>(x->x_public)->reads > 100000) return FALSE;
    *v = 1;
    return TRUE;
  }
  static int getbytes(XDR* x, char* p, unsigned n) {
    if (++reinterpret_cast<OnesStream*>(x->x_public)->reads > 100000) return FALSE;
    std::memset(p, 'a', n);
    return TRUE;
  }
  static int putlong(XDR*, const int*) { return FALSE; }
  static int putbytes(XDR*, const char*, unsigned) { return FALSE; }
  static unsigned getpos(XDR*) { return 0; }
  static int setpos(XDR*, unsigned) { return FALSE; }
  static char* inl(XDR*, unsigned) { return nullptr; }
  static void destroy(XDR*) {}
  int reads = 0;
};
const xdr_ops ones_ops = {OnesStream::getlong,  OnesStream::putlong, OnesStream::getbytes,
                          OnesStream::putbytes, OnesStream::getpos,  OnesStream::setpos,
                          OnesStream::inl,      OnesStream::destroy};

VYRRPC_CALLS_FILTERS
bool run(xdrproc_t routine, XDR* x, void* obj) { return routine(x, obj) != 0; }

VYRRPC_CALLS_FILTERS
std::vector<unsigned char> encode_any(xdrproc_t routine, void* obj, bool* ok) {
  std::vector<unsigned char> buf(1 << 16);
  XDR x;
  VYRRPC_xdrmem_create(&x, reinterpret_cast<char*>(buf.data()), unsigned(buf.size()), XDR_ENCODE);
  *ok = routine(&x, obj) != 0;
  buf.resize(VYRRPC_xdr_getpos(&x));
  return buf;
}

VYRRPC_CALLS_FILTERS
bool decode_any(xdrproc_t routine, const std::vector<unsigned char>& in, void* obj) {
  std::vector<unsigned char> copy(in);
  copy.push_back(0);
  XDR x;
  VYRRPC_xdrmem_create(&x, reinterpret_cast<char*>(copy.data()), unsigned(in.size()), XDR_DECODE);
  return routine(&x, obj) != 0;
}

// A sample encoding of the record: what the ones-stream decodes, encoded.
std::vector<unsigned char> sample(const RecordKind& k) {
  std::vector<char> obj(k.size, 0);
  OnesStream s;
  XDR x{};
  x.x_op = XDR_DECODE;
  x.x_ops = &ones_ops;
  x.x_public = reinterpret_cast<char*>(&s);
  bool ok = run(k.routine, &x, obj.data());
  EXPECT_TRUE(ok) << k.name;
  bool enc = false;
  auto bytes = encode_any(k.routine, obj.data(), &enc);
  EXPECT_TRUE(enc) << k.name;
  VYRRPC_xdr_free(k.routine, obj.data());
  return bytes;
}

// A stream over a buffer that, like a record stream, has no position and no inline
// access: decoding through it takes the unit-by-unit path.
struct PlainStream {
  XDR inner;
  static XDR* in(XDR* x) { return &reinterpret_cast<PlainStream*>(x->x_public)->inner; }
  static int getlong(XDR* x, int* v) { return in(x)->x_ops->x_getlong(in(x), v); }
  static int getbytes(XDR* x, char* p, unsigned n) { return in(x)->x_ops->x_getbytes(in(x), p, n); }
  static int putlong(XDR* x, const int* v) { return in(x)->x_ops->x_putlong(in(x), v); }
  static int putbytes(XDR* x, const char* p, unsigned n) { return in(x)->x_ops->x_putbytes(in(x), p, n); }
  static unsigned getpos(XDR*) { return 0xFFFFFFFFu; }
  static int setpos(XDR*, unsigned) { return FALSE; }
  static char* inl(XDR*, unsigned) { return nullptr; }
  static void destroy(XDR*) {}
};
const xdr_ops plain_ops = {PlainStream::getlong,  PlainStream::putlong, PlainStream::getbytes,
                           PlainStream::putbytes, PlainStream::getpos,  PlainStream::setpos,
                           PlainStream::inl,      PlainStream::destroy};

// Decodes a dataset through the unit-by-unit path.
bool decode_plain_at(unsigned char* p, size_t n, Dataset* ds) {
  PlainStream s;
  VYRRPC_xdrmem_create(&s.inner, reinterpret_cast<char*>(p), unsigned(n), XDR_DECODE);
  XDR x{};
  x.x_op = XDR_DECODE;
  x.x_ops = &plain_ops;
  x.x_public = reinterpret_cast<char*>(&s);
  return VYRXDR_Dataset(&x, ds) != 0;
}

bool decode_plain(const std::vector<unsigned char>& in, Dataset* ds) {
  std::vector<unsigned char> copy(in);
  copy.push_back(0);
  return decode_plain_at(copy.data(), in.size(), ds);
}

// Encodes a dataset through the unit-by-unit path.
std::vector<unsigned char> encode_plain(Dataset* ds) {
  std::vector<unsigned char> buf(1 << 16);
  PlainStream s;
  VYRRPC_xdrmem_create(&s.inner, reinterpret_cast<char*>(buf.data()), unsigned(buf.size()), XDR_ENCODE);
  XDR x{};
  x.x_op = XDR_ENCODE;
  x.x_ops = &plain_ops;
  x.x_public = reinterpret_cast<char*>(&s);
  if (!VYRXDR_Dataset(&x, ds)) return {};
  buf.resize(VYRRPC_xdr_getpos(&s.inner));
  return buf;
}

}  // namespace

TEST(RecordRoundTrip, EveryRecordDecodesEncodesAndFreesClean) {
  for (const RecordKind& k : all_records()) {
    auto bytes = sample(k);
    ASSERT_FALSE(bytes.empty()) << k.name;
    std::vector<char> obj(k.size, 0);
    ASSERT_TRUE(decode_any(k.routine, bytes, obj.data())) << k.name;
    bool ok = false;
    auto again = encode_any(k.routine, obj.data(), &ok);
    EXPECT_TRUE(ok) << k.name;
    EXPECT_EQ(again, bytes) << k.name;
    VYRRPC_xdr_free(k.routine, obj.data());
    // After the free pass every pointer is null: a second pass frees nothing.
    VYRRPC_xdr_free(k.routine, obj.data());
  }
}

TEST(RecordRoundTrip, AllocationFailuresWhileDecodingAreRefusedCleanly) {
  for (const RecordKind& k : all_records()) {
    auto bytes = sample(k);
    bool decoded = false;
    // The n-th allocation of the decode fails, for every n until the decode succeeds.
    for (long n = 0; n < 1000 && !decoded; ++n) {
      std::vector<char> obj(k.size, 0);
      vyr_fault_inject(n);
      decoded = decode_any(k.routine, bytes, obj.data());
      vyr_fault_inject(-1);
      VYRRPC_xdr_free(k.routine, obj.data());
    }
    EXPECT_TRUE(decoded) << k.name;
  }
}

TEST(RecordRoundTrip, MalformedInputIsRefusedCleanly) {
  const uint32_t mutations[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x10000, 2, 0, 1000};
  for (const RecordKind& k : all_records()) {
    auto bytes = sample(k);
    // Every truncation.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      std::vector<unsigned char> in(bytes.begin(), bytes.begin() + cut);
      std::vector<char> obj(k.size, 0);
      // Every field of the sample is needed: a record cut short never decodes.
      EXPECT_FALSE(decode_any(k.routine, in, obj.data())) << k.name << " cut at " << cut;
      VYRRPC_xdr_free(k.routine, obj.data());
    }
    // Every unit replaced by a lying value.
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
      for (uint32_t m : mutations) {
        auto in = bytes;
        auto u = units({m});
        std::copy(u.begin(), u.end(), in.begin() + at);
        std::vector<char> obj(k.size, 0);
        decode_any(k.routine, in, obj.data());
        VYRRPC_xdr_free(k.routine, obj.data());
      }
    }
  }
}

TEST(RecordRoundTrip, MalformedDatasetsOfEveryCellType) {
  Dataset ds = make_dataset({{CTYPE_CHR, 3},
                             {CTYPE_SGN16, 2},
                             {CTYPE_FLT64, 8},
                             {CTYPE_TIMESTAMP, 16},
                             {CTYPE_LCHR, 16},
                             {CTYPE_LBIN, 16},
                             {CTYPE_VCHR, 6},
                             {CTYPE_VCHR16, 8},
                             {CTYPE_VBIN32, 12},
                             {CTYPE_WCHR, 8},
                             {CTYPE_WVCHR, 12},
                             {CTYPE_WLCHR, 16},
                             {CTYPE_WVCHR32, 12},
                             {CTYPE_TIME, 6}},
                            2);
  for (int c = 0; c < ds.nCols; ++c) {
    ds.col[c].indicators[0] = 0;  // row 0 holds zero bytes of each type, row 1 is NULL
  }
  int16_t minus2 = -2;
  std::memcpy(Coldata_Cell(&ds.col[1], 0), &minus2, 2);  // sign extension of a 16-bit cell
  c_timestamp ts{-1, 12, 31, 23, 59, 58, 999};
  std::memcpy(Coldata_Cell(&ds.col[3], 0), &ts, sizeof ts);
  double d = -0.5;
  std::memcpy(Coldata_Cell(&ds.col[2], 0), &d, 8);
  set_long(&ds, 4, 0, "text");
  set_long(&ds, 5, 0, "bin");
  set_wlong(&ds, 11, 0, L"w\x20AC");
  std::strcpy(Coldata_Cell(&ds.col[6], 0), "abc");
  ds.nRows = 2;
  bool ok = false;
  auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
  ASSERT_TRUE(ok);
  // Writing in place and unit by unit give the same bytes.
  EXPECT_EQ(encode_plain(&ds), bytes);
  Dataset_Done(&ds);
  const uint32_t mutations[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x10000, 2, 0, 27, 28, 1000};
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    Dataset got{};
    decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), {bytes.begin(), bytes.begin() + cut}, &got);
    Dataset_Done(&got);
  }
  // Both decoding paths (in place over a buffer, unit by unit over a stream) accept
  // and refuse the same inputs and decode the same values.
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4)
    for (uint32_t m : mutations) {
      auto in = bytes;
      auto u = units({m});
      std::copy(u.begin(), u.end(), in.begin() + at);
      Dataset fast{}, slow{};
      bool a = decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), in, &fast);
      bool b = decode_plain(in, &slow);
      EXPECT_EQ(a, b) << "unit " << at / 4 << " = " << m;
      if (a && b) {
        bool ea = false, eb = false;
        EXPECT_EQ(encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &fast, &ea),
                  encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &slow, &eb));
      }
      Dataset_Done(&fast);
      Dataset_Done(&slow);
    }
}

// Two decodings are the same when they encode to the same bytes.
bool same_decoding(Dataset* a, Dataset* b) {
  bool ea = false, eb = false;
  return encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), a, &ea) ==
         encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), b, &eb);
}

// Every unit of bytes replaced by each lying value in turn: decode(in, ds) refuses
// and accepts what the unit-by-unit path does, and decodes the same values.
template <class Decode>
void expect_mutations_agree(const std::vector<unsigned char>& bytes,
                            std::initializer_list<uint32_t> mutations, Decode decode) {
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4)
    for (uint32_t m : mutations) {
      auto in = bytes;
      auto u = units({m});
      std::copy(u.begin(), u.end(), in.begin() + long(at));
      Dataset a{}, b{};
      bool fa = decode(in, &a);
      bool fb = decode_plain(in, &b);
      EXPECT_EQ(fa, fb) << "unit " << at / 4 << " = " << m;
      if (fa && fb) {
        EXPECT_TRUE(same_decoding(&a, &b)) << "unit " << at / 4 << " = " << m;
      }
      Dataset_Done(&a);
      Dataset_Done(&b);
    }
}

// Many rows of every type the in-place path treats on its own: lengths that repeat
// and lengths that change, empty values, NULL runs, cells wider than their value.
Dataset varied_rows(sgn32 n) {
  Dataset ds = make_dataset({{CTYPE_SGN8, 1},
                             {CTYPE_SGN16, 2},
                             {CTYPE_SGN32, 4},
                             {CTYPE_FLT32, 4},
                             {CTYPE_FLT64, 8},
                             {CTYPE_SGN32, 8},
                             {CTYPE_LCHR, 16},
                             {CTYPE_LBIN, 16},
                             {CTYPE_VCHR, 12}},
                            n);
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (sgn32 r = 0; r < n; ++r) {
    for (int c = 0; c < ds.nCols; ++c) {
      if ((next() >> 16) % 5 == 0 || (r >= 10 && r < 14)) continue;  // NULL
      Coldata* col = &ds.col[c];
      col->indicators[r] = 0;
      uint64_t v = (uint64_t(next()) << 32) | next();
      if (col->cType == CTYPE_LCHR || col->cType == CTYPE_LBIN) {
        size_t len = r < 20 ? 20 : (v % 41);  // a run of one length, then any
        std::string t(len, char('a' + r % 26));
        if (col->cType == CTYPE_LBIN && len > 2) t[1] = 0;
        set_long(&ds, c, r, t);
      } else if (col->cType == CTYPE_VCHR) {
        std::string t(v % 12, 'x');
        set_text(&ds, c, r, t.c_str());
      } else {
        std::memcpy(Coldata_Cell(col, r), &v, std::min<size_t>(col->width, 8));
        if (c == 5) std::memset(Coldata_Cell(col, r) + 4, 0, 4);  // wider than its value
      }
    }
  }
  ds.nRows = n;
  return ds;
}

// Rows of the two tests that replace every unit of the encoding in turn: each row
// costs a round of decodes per lying value. This many already take every branch
// of the column codecs that 61 rows take (runs of one length, changing lengths,
// NULL runs, empty values).
constexpr sgn32 kMutatedRows = 24;

// Decodes from the start of a buffer larger than the in-place path fills in one walk.
bool decode_in_big_buffer(std::vector<unsigned char>& big, const std::vector<unsigned char>& in,
                          Dataset* ds) {
  std::copy(in.begin(), in.end(), big.begin());
  std::fill(big.begin() + long(in.size()), big.begin() + long(in.size()) + 64, 0xFF);
  XDR x;
  VYRRPC_xdrmem_create(&x, reinterpret_cast<char*>(big.data()), unsigned(big.size()), XDR_DECODE);
  return VYRXDR_Dataset(&x, ds) != 0;
}

TEST(RecordRoundTrip, InPlaceDecodeOfManyRowsMatchesUnitByUnit) {
  Dataset ds = varied_rows(kMutatedRows);
  bool ok = false;
  auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
  ASSERT_TRUE(ok);
  std::vector<unsigned char> big((17u << 20) + 4096);
  auto same = same_decoding;
  {
    Dataset fast{}, slow{}, wide{};
    ASSERT_TRUE(decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), bytes, &fast));
    ASSERT_TRUE(decode_plain(bytes, &slow));
    ASSERT_TRUE(decode_in_big_buffer(big, bytes, &wide));
    // Text columns come back as long text (width 16): compare the decodings with each
    // other, and the long cells with what was sent.
    EXPECT_TRUE(same(&fast, &slow));
    EXPECT_TRUE(same(&wide, &slow));
    // Whichever the path, decoded long data lives in its column's block.
    for (sgn32 r = 0; r < ds.nRows; ++r) {
      if (fast.col[6].indicators[r] != 0) continue;
      EXPECT_TRUE(Coldata_InBlock(&fast.col[6], long_ptr(&fast, 6, r))) << r;
      EXPECT_TRUE(Coldata_InBlock(&wide.col[6], long_ptr(&wide, 6, r))) << r;
      EXPECT_TRUE(Coldata_InBlock(&slow.col[6], long_ptr(&slow, 6, r))) << r;
      EXPECT_EQ(get_long(&slow, 6, r), get_long(&ds, 6, r));
      EXPECT_EQ(get_long(&fast, 6, r), get_long(&ds, 6, r));
      EXPECT_EQ(static_cast<char*>(long_ptr(&fast, 6, r))[long_len(&fast, 6, r)], 0);
    }
    for (sgn32 r = 0; r < ds.nRows; ++r) {
      ASSERT_EQ(fast.col[7].indicators[r], ds.col[7].indicators[r]);
      if (ds.col[7].indicators[r] == 0) {
        EXPECT_EQ(get_long(&fast, 7, r), get_long(&ds, 7, r)) << r;
      }
      if (ds.col[8].indicators[r] == 0) {
        EXPECT_EQ(get_long(&fast, 8, r), get_text(&ds, 8, r)) << r;
      }
    }
    Dataset_Done(&fast);
    Dataset_Done(&slow);
    Dataset_Done(&wide);
  }
  Dataset_Done(&ds);
  // Cut anywhere: every path refuses.
  for (size_t cut = 0; cut < bytes.size(); cut += 4) {
    std::vector<unsigned char> in(bytes.begin(), bytes.begin() + long(cut));
    Dataset a{}, b{};
    EXPECT_FALSE(decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), in, &a)) << cut;
    EXPECT_FALSE(decode_plain(in, &b)) << cut;
    Dataset_Done(&a);
    Dataset_Done(&b);
  }
  // A lying unit anywhere: the paths agree on refusal and on what they decode.
  expect_mutations_agree(bytes, {0xFFFFFFFF, 0x7FFFFFFF, 0x10000, 0, 3, 41, 1000}, [](auto& in, Dataset* ds) {
    return decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), in, ds);
  });
  // The two-walk path on a large buffer agrees with the unit-by-unit one over the
  // same buffer (the counts are left alone: the filler after the data would back
  // millions of rows).
  for (uint32_t m : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, 5u}) {
    size_t refused = 0;
    for (size_t at = 8; at + 4 <= bytes.size(); at += 4) {
      auto in = bytes;
      auto u = units({m});
      std::copy(u.begin(), u.end(), in.begin() + long(at));
      Dataset a{}, b{};
      bool fa = decode_in_big_buffer(big, in, &a);
      bool fb = decode_plain_at(big.data(), big.size(), &b);
      EXPECT_EQ(fa, fb) << "unit " << at / 4 << " = " << m;
      if (fa && fb) {
        EXPECT_TRUE(same(&a, &b)) << "unit " << at / 4 << " = " << m;
      }
      refused += !fa;
      Dataset_Done(&a);
      Dataset_Done(&b);
    }
    EXPECT_GT(refused, 0u) << m;
  }
}

// A connection kept in memory: what a record stream writes, read back in pieces of
// the given sizes in turn (a peer's data arriving a little at a time).
struct MemPipe {
  std::vector<char> bytes;
  size_t at = 0;
  std::vector<size_t> pieces;
  size_t turn = 0;
  static int write(char* h, char* p, unsigned n) {
    auto* m = reinterpret_cast<MemPipe*>(h);
    m->bytes.insert(m->bytes.end(), p, p + n);
    return int(n);
  }
  static int read(char* h, char* p, unsigned n) {
    auto* m = reinterpret_cast<MemPipe*>(h);
    size_t want = m->pieces.empty() ? n : m->pieces[m->turn++ % m->pieces.size()];
    size_t k = std::min({size_t(n), want, m->bytes.size() - m->at});
    std::memcpy(p, m->bytes.data() + m->at, k);
    m->at += k;
    return k == 0 ? -1 : int(k);
  }
};

// Sends payload as one record in fragments of fragment bytes, then decodes a
// dataset from it through a record stream with a receive buffer of recvsize bytes.
bool decode_through_records(const std::vector<unsigned char>& payload, unsigned fragment, unsigned recvsize,
                            std::vector<size_t> pieces, Dataset* ds) {
  MemPipe pipe;
  pipe.pieces = std::move(pieces);
  XDR out;
  VYRRPC_xdrrec_create(&out, fragment, 0, reinterpret_cast<char*>(&pipe), MemPipe::read, MemPipe::write);
  out.x_op = XDR_ENCODE;
  std::vector<unsigned char> copy(payload);
  bool sent = out.x_ops->x_putbytes(&out, reinterpret_cast<char*>(copy.data()), unsigned(copy.size())) &&
              VYRRPC_xdrrec_endofrecord(&out, 1);
  VYRRPC_xdr_destroy(&out);
  EXPECT_TRUE(sent);
  XDR in;
  VYRRPC_xdrrec_create(&in, 0, recvsize, reinterpret_cast<char*>(&pipe), MemPipe::read, MemPipe::write);
  in.x_op = XDR_DECODE;
  VYRRPC_xdrrec_skiprecord(&in);
  bool ok = VYRXDR_Dataset(&in, ds) != 0;
  VYRRPC_xdr_destroy(&in);
  return ok;
}

// Encodes ds straight into a record stream (fragments of fragment bytes, scrambled
// or not) and decodes it back through another.
bool encode_and_decode_through_records(Dataset* ds, unsigned fragment, bool scrambled, Dataset* back) {
  MemPipe pipe;
  VYRRPC__xdr_crypt = scrambled ? 1 : 0;
  XDR out;
  VYRRPC_xdrrec_create(&out, fragment, 0, reinterpret_cast<char*>(&pipe), MemPipe::read, MemPipe::write);
  out.x_op = XDR_ENCODE;
  bool sent = VYRXDR_Dataset(&out, ds) && VYRRPC_xdrrec_endofrecord(&out, 1);
  VYRRPC_xdr_destroy(&out);
  VYRRPC__xdr_crypt = 0;
  if (!sent) return false;
  XDR in;
  VYRRPC_xdrrec_create(&in, 0, 0, reinterpret_cast<char*>(&pipe), MemPipe::read, MemPipe::write);
  in.x_op = XDR_DECODE;
  VYRRPC_xdrrec_skiprecord(&in);
  bool ok = VYRXDR_Dataset(&in, back) != 0;
  VYRRPC_xdr_destroy(&in);
  return ok;
}

TEST(RecordRoundTrip, EncodingInPlaceMatchesUnitByUnit) {
  Dataset ds = varied_rows(61);
  bool ok = false;
  auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(encode_plain(&ds), bytes);
  Dataset ref{};
  ASSERT_TRUE(decode_plain(bytes, &ref));
  // Through record streams whose fragments end anywhere in a row.
  for (unsigned fragment : {100u, 104u, 4000u, 65536u})
    for (bool scrambled : {false, true}) {
      Dataset back{};
      EXPECT_TRUE(encode_and_decode_through_records(&ds, fragment, scrambled, &back)) << fragment;
      EXPECT_TRUE(same_decoding(&back, &ref)) << fragment << " " << scrambled;
      Dataset_Done(&back);
    }
  // A buffer too small for the rows refuses, whichever row it stops at.
  for (unsigned size = 0; size < bytes.size(); size += 52) {
    std::vector<char> small(size + 1);
    XDR x;
    VYRRPC_xdrmem_create(&x, small.data(), size, XDR_ENCODE);
    EXPECT_FALSE(VYRXDR_Dataset(&x, &ds)) << size;
  }
  Dataset_Done(&ref);
  Dataset_Done(&ds);
}

// Text cells of every length around the 8-byte steps of the length scan and the
// 32-byte blocks of the encoder, bytes with the high bit set or 0x01 next to the
// NUL, cells with no NUL at all, and bytes after the NUL that must not be sent;
// in columns narrower and wider than those blocks, whose last rows lie closer
// than a block to the column's end.
TEST(RecordRoundTrip, TextLengthsInPlaceAndUnitByUnit) {
  const std::string texts[] = {"",
                               "a",
                               "abcdefg",
                               "abcdefgh",
                               "abcdefghi",
                               std::string("\x80\xff\x01", 3),
                               std::string("\x01\x01\x01\x01\x01\x01\x01", 7),
                               "0123456789abcde",
                               "0123456789abcdef",
                               "0123456789abcdefghi",
                               std::string(20, 'z'),
                               std::string(31, 'y'),
                               std::string(32, 'x'),
                               std::string(33, 'w'),
                               std::string(40, 'v'),
                               std::string(79, 'u')};
  for (precision_t width : {1u, 2u, 9u, 21u, 32u, 33u, 34u, 48u, 80u}) {
    SCOPED_TRACE(width);
    const size_t n = std::size(texts);
    Dataset ds = make_dataset({{CTYPE_VCHR, width}}, sgn32(n));
    std::vector<std::string> cells;
    for (size_t r = 0; r < n; ++r) {
      cells.push_back(texts[r].substr(0, width - 1));
      char* cell = Coldata_Cell(&ds.col[0], r);
      std::memset(cell, 0x01, width);  // what follows the text is never sent
      std::memcpy(cell, cells[r].data(), cells[r].size());
      if (cells[r].size() < width - 1) cell[cells[r].size()] = 0;
      ds.col[0].indicators[r] = 0;
    }
    ds.nRows = sgn32(n);
    bool ok = false;
    auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(encode_plain(&ds), bytes);
    Dataset back{};
    ASSERT_TRUE(decode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), bytes, &back));
    for (size_t r = 0; r < n; ++r) EXPECT_EQ(get_long(&back, 0, int(r)), cells[r]) << r;
    Dataset_Done(&back);
    // Through a record stream, whose window ends anywhere in a row.
    for (unsigned fragment : {100u, 4000u}) {
      Dataset viaRecords{};
      EXPECT_TRUE(encode_and_decode_through_records(&ds, fragment, false, &viaRecords)) << fragment;
      for (size_t r = 0; r < n; ++r)
        EXPECT_EQ(get_long(&viaRecords, 0, int(r)), cells[r]) << fragment << " " << r;
      Dataset_Done(&viaRecords);
    }
    Dataset_Done(&ds);
  }
}

// What a record may make the decoder allocate does not depend on how its bytes
// arrive: long text read in whole buffered chunks needs the same budget as cell
// by cell, down to the byte.
TEST(RecordRoundTrip, LongTextBudgetIsTheSameInChunksAndCellByCell) {
  const sgn32 n = 200;
  Dataset ds = make_dataset({{CTYPE_VCHR, 41}}, n);
  for (sgn32 r = 0; r < n; ++r) {
    std::string t(size_t(r % 40), char('a' + r % 26));
    std::memcpy(Coldata_Cell(&ds.col[0], uint64_t(r)), t.c_str(), t.size() + 1);
    ds.col[0].indicators[r] = r % 7 == 3 ? -1 : 0;
  }
  ds.nRows = n;
  bool ok = false;
  auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
  ASSERT_TRUE(ok);
  std::vector<unsigned char> payload(bytes.begin(), bytes.end());
  auto decodes = [&](uint64_t limit, unsigned recvsize, std::vector<size_t> pieces) {
    wire_set_decode_limit(limit);
    Dataset back{};
    bool done = decode_through_records(payload, 100000, recvsize, std::move(pieces), &back);
    wire_set_decode_limit(VYR_MAX_DECODE_BYTES);
    Dataset_Done(&back);
    return done;
  };
  // The least budget that takes the record, read in 4-byte pieces (cell by cell).
  uint64_t lo = 0, hi = 1 << 20;
  while (lo < hi) {
    uint64_t mid = (lo + hi) / 2;
    if (decodes(mid, 100000, {4}))
      hi = mid;
    else
      lo = mid + 1;
  }
  for (unsigned recvsize : {100u, 4000u, 100000u}) {
    EXPECT_TRUE(decodes(lo, recvsize, {})) << recvsize;
    EXPECT_FALSE(decodes(lo - 1, recvsize, {})) << recvsize;
  }
  Dataset_Done(&ds);
}

TEST(RecordRoundTrip, DecodeThroughRecordStreamsMatchesEveryOtherPath) {
  Dataset ds = varied_rows(kMutatedRows);
  bool ok = false;
  auto bytes = encode_any(reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), &ds, &ok);
  ASSERT_TRUE(ok);
  Dataset_Done(&ds);
  auto same = same_decoding;
  Dataset ref{};
  ASSERT_TRUE(decode_plain(bytes, &ref));
  // Fragment and buffer sizes that cut rows anywhere, data arriving whole or in
  // odd pieces.
  struct Case {
    unsigned fragment, recvsize;
    std::vector<size_t> pieces;
  } cases[] = {{4000, 4000, {}}, {100, 100, {}},       {100, 4000, {1, 3, 7, 2, 13}},
               {104, 128, {5}},  {4000, 100, {64, 1}}, {65536, 65536, {}}};
  for (const Case& k : cases) {
    Dataset got{};
    EXPECT_TRUE(decode_through_records(bytes, k.fragment, k.recvsize, k.pieces, &got)) << k.fragment;
    EXPECT_TRUE(same(&got, &ref)) << k.fragment << "/" << k.recvsize;
    for (sgn32 r = 0; r < got.nRows; ++r) {
      if (got.col[6].indicators[r] == 0) {
        EXPECT_TRUE(Coldata_InBlock(&got.col[6], long_ptr(&got, 6, r)));
      }
    }
    Dataset_Done(&got);
  }
  Dataset_Done(&ref);
  // Lying units: the record stream refuses and accepts what the other paths do.
  expect_mutations_agree(bytes, {0xFFFFFFFF, 0x7FFFFFFF, 0x10000, 0, 3, 41}, [](auto& in, Dataset* ds) {
    return decode_through_records(in, 100, 128, {7, 64}, ds);
  });
}

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
