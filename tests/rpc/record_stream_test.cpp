// Record marks, fragmenting and scrambling of the record stream, byte for byte.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "rpc/record_stream.h"

namespace {

using Bytes = std::vector<unsigned char>;

// An in-memory connection: reads come from `in` in pieces of at most `chunk`
// bytes; writes are appended to `out`.
struct Pipe {
  Bytes in;
  size_t pos = 0;
  size_t chunk = 1 << 20;
  Bytes out;
  int writes = 0;
  bool fail_write = false;

  static int Read(char* h, char* buf, unsigned int len) {
    Pipe* p = reinterpret_cast<Pipe*>(h);
    if (p->pos >= p->in.size()) return -1;
    size_t n = std::min({static_cast<size_t>(len), p->chunk, p->in.size() - p->pos});
    memcpy(buf, p->in.data() + p->pos, n);
    p->pos += n;
    return static_cast<int>(n);
  }
  static int Write(char* h, char* buf, unsigned int len) {
    Pipe* p = reinterpret_cast<Pipe*>(h);
    p->writes++;
    if (p->fail_write) return -1;
    p->out.insert(p->out.end(), buf, buf + len);
    return static_cast<int>(len);
  }
};

struct Stream {
  Pipe pipe;
  XDR x;
  Stream(unsigned int send = 0, unsigned int recv = 0) {
    EXPECT_TRUE(
        VYRRPC_xdrrec_create(&x, send, recv, reinterpret_cast<char*>(&pipe), Pipe::Read, Pipe::Write));
  }
  ~Stream() { VYRRPC_xdr_destroy(&x); }
  rec_strm* r() { return reinterpret_cast<rec_strm*>(x.x_private); }
};

// Switches scrambling on for the scope of a test.
struct CryptOn {
  CryptOn() { VYRRPC__xdr_crypt = 1; }
  ~CryptOn() { VYRRPC__xdr_crypt = 0; }
};

uint32_t Be32(const Bytes& b, size_t at) {
  uint32_t v;
  memcpy(&v, b.data() + at, 4);
  return ntohl(v);
}

Bytes Keystream(unsigned int seed, size_t n) {
  std::vector<char> z(n, 0);
  VYRRPC__xdrrec_scramble(seed, z.data(), n);
  return Bytes(z.begin(), z.end());
}

void PutBytes(XDR* x, const Bytes& b) {
  ASSERT_TRUE(VYRRPC_xdr_opaque(x, reinterpret_cast<char*>(const_cast<unsigned char*>(b.data())), b.size()));
}

TEST(RecordStream, BufferSizes) {
  struct Case {
    unsigned int given, want;
  } cases[] = {{0, 4000}, {99, 4000}, {100, 100}, {101, 104}, {0x2000, 8192}};
  for (auto c : cases) {
    Stream s(c.given, c.given);
    EXPECT_EQ(s.r()->sendsize, c.want) << c.given;
    EXPECT_EQ(s.r()->recvsize, c.want) << c.given;
  }
}

TEST(RecordStream, KeystreamExamples) {
  EXPECT_EQ(Keystream(0, 8), (Bytes{0x00, 0x97, 0x6D, 0x39, 0x5F, 0xAC, 0xAC, 0x8D}));
  EXPECT_EQ(Keystream(0xDEADC0DE, 8), (Bytes{0xDE, 0x47, 0x3C, 0xED, 0x6C, 0xC3, 0x19, 0x7C}));
  unsigned int st = 0xDEADC0DE;
  char b;
  unsigned int states[4];
  for (auto& s : states) {
    s = st;
    st = VYRRPC__xdrrec_scramble(st, &b, 1);
  }
  EXPECT_EQ(states[0], 3735929054u);
  EXPECT_EQ(states[1], 115527u);
  EXPECT_EQ(states[2], 40252u);
  EXPECT_EQ(states[3], 173549u);
  char abc[3] = {'a', 'b', 'c'};
  VYRRPC__xdrrec_scramble(0, abc, 3);
  EXPECT_EQ(Bytes(abc, abc + 3), (Bytes{0x61, 0xF5, 0x0E}));
}

TEST(RecordStream, PlainRecord) {
  Stream s;
  s.x.x_op = XDR_ENCODE;
  int v = 0x01020304;
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &v));
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
  EXPECT_EQ(s.pipe.out, (Bytes{0x80, 0, 0, 4, 1, 2, 3, 4}));
}

// A record larger than the buffer goes out in fragments; one that exactly
// fills the buffer ends with an empty last fragment.
TEST(RecordStream, MultiFragmentAndEmptyLast) {
  {
    Stream s(100, 100);
    s.x.x_op = XDR_ENCODE;
    Bytes data(200);
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<unsigned char>(i);
    PutBytes(&s.x, data);
    ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
    const Bytes& o = s.pipe.out;
    ASSERT_EQ(o.size(), 4 + 96 + 4 + 96 + 4 + 8u);
    EXPECT_EQ(Be32(o, 0), 96u);
    EXPECT_EQ(Be32(o, 100), 96u);
    EXPECT_EQ(Be32(o, 200), 0x80000008u);
    EXPECT_EQ(o[204], 192);
  }
  {
    Stream s(100, 100);
    s.x.x_op = XDR_ENCODE;
    PutBytes(&s.x, Bytes(96, 0xAB));
    ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
    ASSERT_EQ(s.pipe.out.size(), 104u);
    EXPECT_EQ(Be32(s.pipe.out, 0), 96u);
    EXPECT_EQ(Be32(s.pipe.out, 100), 0x80000000u);
  }
}

TEST(RecordStream, ScrambledReplyOneFragment) {
  CryptOn on;
  unsigned int t0 = static_cast<unsigned int>(time(nullptr));
  Stream s;
  s.x.x_op = XDR_ENCODE;
  Bytes data(28);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<unsigned char>(i + 1);
  PutBytes(&s.x, data);
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
  unsigned int t1 = static_cast<unsigned int>(time(nullptr));
  const Bytes& o = s.pipe.out;
  ASSERT_EQ(o.size(), 36u);
  EXPECT_EQ(Be32(o, 0), 0xC0000020u);
  unsigned int seed = Be32(o, 4);
  EXPECT_TRUE((seed ^ 0xDEADC0DEu) >= t0 && (seed ^ 0xDEADC0DEu) <= t1);
  Bytes ks = Keystream(seed, 28);
  for (size_t i = 0; i < 28; i++) EXPECT_EQ(o[8 + i], data[i] ^ ks[i]) << i;
}

TEST(RecordStream, ScrambledMultiFragmentEachWithItsOwnKeystream) {
  CryptOn on;
  Stream s(100, 100);
  s.x.x_op = XDR_ENCODE;
  Bytes data(152, 0x00);
  PutBytes(&s.x, data);
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
  const Bytes& o = s.pipe.out;
  // Fragment 1: 92 data bytes, not last; fragment 2: 60 data bytes, last.
  ASSERT_EQ(o.size(), 100u + 8 + 60);
  EXPECT_EQ(Be32(o, 0), 0x40000000u + 92 + 4);
  EXPECT_EQ(Be32(o, 100), 0xC0000000u + 60 + 4);
  // Zero data shows the keystream itself, restarted at each fragment's seed.
  EXPECT_EQ(Bytes(o.begin() + 8, o.begin() + 100), Keystream(Be32(o, 4), 92));
  EXPECT_EQ(Bytes(o.begin() + 108, o.end()), Keystream(Be32(o, 104), 60));
  // Completed within the same second, both carry the same seed (almost always).
  if (Be32(o, 4) != Be32(o, 104)) GTEST_LOG_(INFO) << "second boundary crossed";
}

TEST(RecordStream, BatchedRecordsScrambledFromTheirOwnSeeds) {
  CryptOn on;
  Stream s;
  s.x.x_op = XDR_ENCODE;
  PutBytes(&s.x, Bytes(8, 0));
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, FALSE));
  PutBytes(&s.x, Bytes(4, 0));
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, FALSE));
  EXPECT_EQ(s.pipe.writes, 0);
  int one = 1;
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &one));
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, TRUE));
  EXPECT_EQ(s.pipe.writes, 1);
  const Bytes& o = s.pipe.out;
  ASSERT_EQ(o.size(), 16u + 12 + 12);
  EXPECT_EQ(Be32(o, 0), 0xC000000Cu);
  EXPECT_EQ(Bytes(o.begin() + 8, o.begin() + 16), Keystream(Be32(o, 4), 8));
  EXPECT_EQ(Be32(o, 16), 0xC0000008u);
  EXPECT_EQ(Bytes(o.begin() + 24, o.begin() + 28), Keystream(Be32(o, 20), 4));
}

Bytes Fragment(bool last, const Bytes& data) {
  uint32_t m = static_cast<uint32_t>(data.size()) | (last ? 0x80000000u : 0);
  Bytes b = {static_cast<unsigned char>(m >> 24), static_cast<unsigned char>(m >> 16),
             static_cast<unsigned char>(m >> 8), static_cast<unsigned char>(m)};
  for (unsigned char c : data) b.push_back(c);
  return b;
}

Bytes ScrambledFragment(bool last, unsigned int seed, Bytes data) {
  Bytes b(8);
  uint32_t m = htonl(static_cast<uint32_t>(data.size() + 4) | 0x40000000u | (last ? 0x80000000u : 0));
  uint32_t sd = htonl(seed);
  memcpy(b.data(), &m, 4);
  memcpy(b.data() + 4, &sd, 4);
  VYRRPC__xdrrec_scramble(seed, reinterpret_cast<char*>(data.data()), data.size());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// Reads the record's units through the unit filters.
std::vector<int> ReadUnits(XDR* x, int n) {
  std::vector<int> v;
  for (int i = 0; i < n; i++) {
    int u;
    if (!VYRRPC_xdr_int(x, &u)) break;
    v.push_back(u);
  }
  return v;
}

TEST(RecordStream, ReadsPlainAndScrambledWhateverTheSwitch) {
  Bytes units = {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3};
  for (int sw = 0; sw < 2; sw++) {
    for (size_t chunk : {size_t(1), size_t(3), size_t(1000)}) {
      VYRRPC__xdr_crypt = sw;
      Stream s;
      VYRRPC__xdr_crypt = 0;
      Bytes in = Fragment(false, Bytes(units.begin(), units.begin() + 4));
      Bytes f2 = ScrambledFragment(true, 12345, Bytes(units.begin() + 4, units.end()));
      in.insert(in.end(), f2.begin(), f2.end());
      s.pipe.in = in;
      s.pipe.chunk = chunk;
      s.x.x_op = XDR_DECODE;
      ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
      EXPECT_EQ(ReadUnits(&s.x, 4), (std::vector<int>{1, 2, 3})) << sw << " " << chunk;
    }
  }
}

TEST(RecordStream, EofTellsWhetherAnotherRecordIsBuffered) {
  Bytes one = Fragment(true, {0, 0, 0, 7});
  Stream s;
  s.pipe.in = one;
  s.pipe.in.insert(s.pipe.in.end(), one.begin(), one.end());
  s.x.x_op = XDR_DECODE;
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  EXPECT_EQ(ReadUnits(&s.x, 1), std::vector<int>{7});
  EXPECT_FALSE(VYRRPC_xdrrec_eof(&s.x));
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  EXPECT_EQ(ReadUnits(&s.x, 2), std::vector<int>{7});  // the record ends after one unit
  EXPECT_TRUE(VYRRPC_xdrrec_eof(&s.x));
}

TEST(RecordStream, SkipRecordDiscardsTheRest) {
  Stream s;
  Bytes in = Fragment(false, {0, 0, 0, 1, 0, 0, 0, 2});
  Bytes f = Fragment(true, {0, 0, 0, 3});
  Bytes g = Fragment(true, {0, 0, 0, 9});
  in.insert(in.end(), f.begin(), f.end());
  in.insert(in.end(), g.begin(), g.end());
  s.pipe.in = in;
  s.x.x_op = XDR_DECODE;
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  EXPECT_EQ(ReadUnits(&s.x, 1), std::vector<int>{1});
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  EXPECT_EQ(ReadUnits(&s.x, 1), std::vector<int>{9});
}

TEST(RecordStream, InlineOnlyOutsideScrambledFragments) {
  Stream s;
  Bytes in = Fragment(true, {0, 0, 0, 5, 0, 0, 0, 6});
  Bytes sc = ScrambledFragment(true, 77, {0, 0, 0, 5, 0, 0, 0, 6});
  in.insert(in.end(), sc.begin(), sc.end());
  s.pipe.in = in;
  s.x.x_op = XDR_DECODE;
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  int u;
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));  // reads the mark, fills the buffer
  char* p = VYRRPC_xdr_inline(&s.x, 4);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[3], 6);
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(u, 5);
  EXPECT_EQ(VYRRPC_xdr_inline(&s.x, 4), nullptr);
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(u, 6);
}

// Encoding, peeking shows the room left in the fragment being built; what is
// written there goes out once x_inline has taken it.
TEST(RecordStream, PeekShowsTheOutputFragmentsRoom) {
  Stream s;
  s.x.x_op = XDR_ENCODE;
  unsigned n = 0;
  char* p = VYRRPC_xdrrec_peek(&s.x, &n);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(n, 3996u);  // a 4000-byte fragment less its mark
  memcpy(p, "\0\0\0\x2a", 4);
  EXPECT_EQ(VYRRPC_xdr_inline(&s.x, 4), p);
  EXPECT_EQ(VYRRPC_xdrrec_peek(&s.x, &n), p + 4);
  EXPECT_EQ(n, 3992u);
  ASSERT_TRUE(VYRRPC_xdrrec_endofrecord(&s.x, 1));
  EXPECT_EQ(s.pipe.out, Fragment(true, {0, 0, 0, 42}));
}

// Decoding, peeking shows the buffered rest of the current fragment and consumes
// nothing; scrambled fragments and other streams show nothing.
TEST(RecordStream, PeekShowsBufferedFragmentBytes) {
  Stream s;
  Bytes in = Fragment(false, {0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7});
  Bytes tail = Fragment(true, {0, 0, 0, 8});
  Bytes sc = ScrambledFragment(true, 77, {0, 0, 0, 9, 0, 0, 0, 10});
  in.insert(in.end(), tail.begin(), tail.end());
  in.insert(in.end(), sc.begin(), sc.end());
  s.pipe.in = in;
  unsigned n = 99;
  s.x.x_op = XDR_DECODE;
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  int u;
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));  // reads the mark, fills the buffer
  char* p = VYRRPC_xdrrec_peek(&s.x, &n);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(n, 8u);  // the rest of this fragment only, though more is buffered
  EXPECT_EQ(p[3], 6);
  EXPECT_EQ(VYRRPC_xdrrec_peek(&s.x, &n), p);
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(u, 6);
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(VYRRPC_xdrrec_peek(&s.x, &n), nullptr);  // fragment used up
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(u, 8);
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  ASSERT_TRUE(VYRRPC_xdr_int(&s.x, &u));
  EXPECT_EQ(u, 9);
  EXPECT_EQ(VYRRPC_xdrrec_peek(&s.x, &n), nullptr);
  EXPECT_EQ(n, 0u);
  XDR mem;
  char buf[8] = {};
  VYRRPC_xdrmem_create(&mem, buf, sizeof buf, XDR_DECODE);
  EXPECT_EQ(VYRRPC_xdrrec_peek(&mem, &n), nullptr);
}

// A scrambled fragment too short for its seed breaks the framing for good.
TEST(RecordStream, ShortScrambledFragmentIsAFramingError) {
  for (uint32_t len : {0u, 3u}) {
    Stream s;
    uint32_t m = htonl(0xC0000000u | len);
    s.pipe.in.resize(4);
    memcpy(s.pipe.in.data(), &m, 4);
    s.pipe.in.insert(s.pipe.in.end(), 12, 0);
    s.x.x_op = XDR_DECODE;
    ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
    int u;
    EXPECT_FALSE(VYRRPC_xdr_int(&s.x, &u));
    EXPECT_TRUE(VYRRPC_xdrrec_broken(&s.x));
    EXPECT_FALSE(VYRRPC_xdrrec_skiprecord(&s.x));
    EXPECT_TRUE(VYRRPC_xdrrec_eof(&s.x));
  }
}

TEST(RecordStream, TruncatedRecordAndFailedReadsAndWrites) {
  Stream s;
  s.pipe.in = Fragment(true, {0, 0, 0, 1});
  s.x.x_op = XDR_DECODE;
  ASSERT_TRUE(VYRRPC_xdrrec_skiprecord(&s.x));
  EXPECT_EQ(ReadUnits(&s.x, 2), std::vector<int>{1});
  Stream w;
  w.pipe.fail_write = true;
  w.x.x_op = XDR_ENCODE;
  int v = 1;
  ASSERT_TRUE(VYRRPC_xdr_int(&w.x, &v));
  EXPECT_FALSE(VYRRPC_xdrrec_endofrecord(&w.x, TRUE));
}

TEST(RecordStream, NoPosition) {
  Stream s;
  EXPECT_EQ(VYRRPC_xdr_getpos(&s.x), 0xFFFFFFFFu);
  EXPECT_FALSE(VYRRPC_xdr_setpos(&s.x, 0));
}

}  // namespace
