// MD5 message digest (RFC 1321), with the reference interface: init, update,
// final with the digest first.
#pragma once

#include <cstdint>

typedef uint32_t UINT4;
typedef unsigned char digest_t[16];

struct MD5_CTX {
  UINT4 buf[4];          // state A, B, C, D
  UINT4 i[2];            // message length in bits, low word first
  unsigned char in[64];  // pending input block
};

void VYR_MD5Init(MD5_CTX* ctx);
void VYR_MD5Update(MD5_CTX* ctx, const unsigned char* input, unsigned int length);
void VYR_MD5Final(unsigned char* digest, MD5_CTX* ctx);
