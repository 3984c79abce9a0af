// MD5 message digest, RFC 1321.
#include "util/md5.h"

#include <cstring>

namespace {

inline UINT4 rotl(UINT4 x, int n) { return (x << n) | (x >> (32 - n)); }
inline UINT4 F(UINT4 x, UINT4 y, UINT4 z) { return (x & y) | (~x & z); }
inline UINT4 G(UINT4 x, UINT4 y, UINT4 z) { return (x & z) | (y & ~z); }
inline UINT4 H(UINT4 x, UINT4 y, UINT4 z) { return x ^ y ^ z; }
inline UINT4 I(UINT4 x, UINT4 y, UINT4 z) { return y ^ (x | ~z); }

const UINT4 T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

const int S[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                   14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                   4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

// The basic transformation: one 64-byte block (as 16 little-endian words) into the state.
void Transform(UINT4* buf, const UINT4* in) {
  UINT4 a = buf[0], b = buf[1], c = buf[2], d = buf[3];
  for (int k = 0; k < 64; ++k) {
    UINT4 f;
    int g;
    if (k < 16) {
      f = F(b, c, d);
      g = k;
    } else if (k < 32) {
      f = G(b, c, d);
      g = (5 * k + 1) % 16;
    } else if (k < 48) {
      f = H(b, c, d);
      g = (3 * k + 5) % 16;
    } else {
      f = I(b, c, d);
      g = (7 * k) % 16;
    }
    UINT4 tmp = d;
    d = c;
    c = b;
    b = b + rotl(a + f + T[k] + in[g], S[k]);
    a = tmp;
  }
  buf[0] += a;
  buf[1] += b;
  buf[2] += c;
  buf[3] += d;
}

void block_words(UINT4* words, const unsigned char* in) {
  for (int j = 0; j < 16; ++j)
    words[j] = static_cast<UINT4>(in[4 * j]) | (static_cast<UINT4>(in[4 * j + 1]) << 8) |
               (static_cast<UINT4>(in[4 * j + 2]) << 16) | (static_cast<UINT4>(in[4 * j + 3]) << 24);
}

}  // namespace

void VYR_MD5Init(MD5_CTX* ctx) {
  ctx->i[0] = ctx->i[1] = 0;
  ctx->buf[0] = 0x67452301;
  ctx->buf[1] = 0xefcdab89;
  ctx->buf[2] = 0x98badcfe;
  ctx->buf[3] = 0x10325476;
  memset(ctx->in, 0, sizeof ctx->in);
}

void VYR_MD5Update(MD5_CTX* ctx, const unsigned char* input, unsigned int length) {
  unsigned mdi = (ctx->i[0] >> 3) & 0x3F;  // bytes already pending
  const UINT4 bits = static_cast<UINT4>(length) << 3;
  if (ctx->i[0] + bits < ctx->i[0]) ctx->i[1]++;
  ctx->i[0] += bits;
  ctx->i[1] += static_cast<UINT4>(length) >> 29;

  UINT4 words[16];
  while (length-- > 0) {
    ctx->in[mdi++] = *input++;
    if (mdi == 64) {
      block_words(words, ctx->in);
      Transform(ctx->buf, words);
      mdi = 0;
    }
  }
}

void VYR_MD5Final(unsigned char* digest, MD5_CTX* ctx) {
  static const unsigned char padding[64] = {0x80};
  UINT4 words[16];
  const UINT4 lo = ctx->i[0], hi = ctx->i[1];
  unsigned mdi = (lo >> 3) & 0x3F;
  unsigned padlen = mdi < 56 ? 56 - mdi : 120 - mdi;
  VYR_MD5Update(ctx, padding, padlen);
  block_words(words, ctx->in);
  words[14] = lo;
  words[15] = hi;
  Transform(ctx->buf, words);
  for (int j = 0; j < 4; ++j) {
    digest[4 * j] = static_cast<unsigned char>(ctx->buf[j]);
    digest[4 * j + 1] = static_cast<unsigned char>(ctx->buf[j] >> 8);
    digest[4 * j + 2] = static_cast<unsigned char>(ctx->buf[j] >> 16);
    digest[4 * j + 3] = static_cast<unsigned char>(ctx->buf[j] >> 24);
  }
}
