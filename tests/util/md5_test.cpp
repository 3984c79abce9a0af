#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/md5.h"

namespace {

std::string hex(const unsigned char* d) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < 16; ++i) {
    s += digits[d[i] >> 4];
    s += digits[d[i] & 15];
  }
  return s;
}

std::string md5(const std::string& text, size_t piece) {
  MD5_CTX ctx;
  VYR_MD5Init(&ctx);
  for (size_t at = 0; at < text.size(); at += piece) {
    size_t n = std::min(piece, text.size() - at);
    VYR_MD5Update(&ctx, reinterpret_cast<const unsigned char*>(text.data() + at), static_cast<unsigned>(n));
  }
  digest_t d;
  VYR_MD5Final(d, &ctx);
  return hex(d);
}

TEST(Md5, Rfc1321Suite) {
  struct Case {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {1, 3, 64, 1000}) EXPECT_EQ(md5(c.text, piece), c.digest) << c.text;
  }
}

TEST(Md5, BlockBoundaries) {
  // 55, 56 and 64 bytes put the length into the same or the next block.
  EXPECT_EQ(md5(std::string(55, 'a'), 7), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(md5(std::string(56, 'a'), 7), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(md5(std::string(64, 'a'), 7), "014842d480b571495a4a0363793f7367");
}

}  // namespace
