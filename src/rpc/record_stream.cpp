// Record-marking stream: fragments with 4-byte marks, optionally scrambled.
#include "rpc/record_stream.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr uint32_t LAST_FRAG = 0x80000000u;
constexpr uint32_t CRYPT_FRAG = 0x40000000u;
constexpr unsigned int OUT_AREA = 64 * 1024;

rec_strm* rs(XDR* xdrs) { return reinterpret_cast<rec_strm*>(xdrs->x_private); }

unsigned int fix_buf_size(unsigned int s) {
  if (s < 100) return 4000;
  if (s > 0xFFFFFFFCu) return 0xFFFFFFFCu;
  return (s + 3) / 4 * 4;
}

void put_be32(char* p, uint32_t v) {
  v = htonl(v);
  memcpy(p, &v, 4);
}

uint32_t get_be32(const char* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return ntohl(v);
}

unsigned int next_state(unsigned int s) {
  uint32_t t = static_cast<uint32_t>(s) * 24298u + 99991u;  // wraps at 2^32 on purpose
  return t % 199017u;
}

// --- output ---

void begin_fragment(rec_strm* r, char* p) {
  r->frag_header = p;
  r->out_finger = p + 4;
  size_t room = static_cast<size_t>(r->out_end - p);
  r->out_boundry = p + (room < r->sendsize ? room : r->sendsize);
  r->out_crypted = VYRRPC__xdr_crypt != 0;
  if (r->out_crypted) {
    r->crypto = VYRRPC__xdrrec_seed();
    put_be32(p + 4, r->crypto);
    r->out_finger = p + 8;
  }
}

void complete_fragment(rec_strm* r, bool eor) {
  uint32_t len = static_cast<uint32_t>(r->out_finger - r->frag_header - 4);
  uint32_t mark = len | (eor ? LAST_FRAG : 0) | (r->out_crypted ? CRYPT_FRAG : 0);
  put_be32(r->frag_header, mark);
  if (r->out_crypted)
    VYRRPC__xdrrec_scramble(r->crypto, r->frag_header + 8, r->out_finger - (r->frag_header + 8));
}

// Sends everything buffered: closed records, fragments completed in place and
// the fragment being built, which is completed first.
int flush_out(rec_strm* r, bool eor) {
  complete_fragment(r, eor);
  unsigned int len = static_cast<unsigned int>(r->out_finger - r->out_base);
  int n = r->writeit(r->tcp_handle, r->out_base, len);
  begin_fragment(r, r->out_base);
  r->rec_start = r->out_base;
  r->rec_sent = !eor;
  return static_cast<unsigned int>(n) == len && n >= 0;
}

// The fragment being built is full: a non-last fragment of the record. It is
// completed in place while the output area has room for another whole
// fragment, so that one write carries several fragments; else all goes out.
int next_fragment(rec_strm* r) {
  r->frag_sent = 1;
  if (r->out_end - r->out_finger >= static_cast<long>(r->sendsize)) {
    complete_fragment(r, false);
    begin_fragment(r, r->out_finger);
    return TRUE;
  }
  return flush_out(r, false);
}

int xdrrec_putlong(XDR* xdrs, const int* lp) {
  rec_strm* r = rs(xdrs);
  if (r->out_boundry - r->out_finger < 4 && !next_fragment(r)) return FALSE;
  put_be32(r->out_finger, static_cast<uint32_t>(*lp));
  r->out_finger += 4;
  return TRUE;
}

int xdrrec_putbytes(XDR* xdrs, const char* addr, unsigned int len) {
  rec_strm* r = rs(xdrs);
  while (len > 0) {
    size_t room = r->out_boundry - r->out_finger;
    size_t n = len < room ? len : room;
    memcpy(r->out_finger, addr, n);
    r->out_finger += n;
    addr += n;
    len -= static_cast<unsigned int>(n);
    if (r->out_finger == r->out_boundry && !next_fragment(r)) return FALSE;
  }
  return TRUE;
}

// --- input ---

int fill_input_buf(rec_strm* r) {
  if (r->broken) return FALSE;
  size_t k = static_cast<size_t>(r->in_boundry - r->in_base) % 4;
  char* where = r->in_base + k;
  int n = r->readit(r->tcp_handle, where, static_cast<unsigned int>(r->in_size - k));
  if (n <= 0) return FALSE;
  r->in_finger = where;
  r->in_boundry = where + n;
  return TRUE;
}

int get_input_bytes(rec_strm* r, char* addr, unsigned long len) {
  while (len > 0) {
    size_t avail = r->in_boundry - r->in_finger;
    if (avail == 0) {
      if (!fill_input_buf(r)) return FALSE;
      continue;
    }
    size_t n = len < avail ? len : avail;
    memcpy(addr, r->in_finger, n);
    if (r->crypted) r->crypti = VYRRPC__xdrrec_scramble(r->crypti, addr, n);
    r->in_finger += n;
    addr += n;
    len -= n;
  }
  return TRUE;
}

int set_input_fragment(rec_strm* r) {
  if (r->broken) return FALSE;
  r->crypted = 0;
  char hdr[4];
  if (!get_input_bytes(r, hdr, 4)) return FALSE;
  uint32_t mark = get_be32(hdr);
  r->last_frag = (mark & LAST_FRAG) != 0;
  r->fbtbc = mark & ~LAST_FRAG;
  if (mark & CRYPT_FRAG) {
    uint32_t len = mark & 0x3FFFFFFFu;
    // A scrambled fragment too short to hold its seed cannot be framed.
    if (len < 4) {
      r->broken = 1;
      r->fbtbc = 0;
      return FALSE;
    }
    char seed[4];
    if (!get_input_bytes(r, seed, 4)) return FALSE;
    r->crypted = 1;
    r->crypti = get_be32(seed);
    r->fbtbc = len - 4;
  }
  return TRUE;
}

int skip_input_bytes(rec_strm* r, long cnt) {
  while (cnt > 0) {
    size_t avail = r->in_boundry - r->in_finger;
    if (avail == 0) {
      if (!fill_input_buf(r)) return FALSE;
      continue;
    }
    size_t n = static_cast<uint64_t>(cnt) < avail ? static_cast<size_t>(cnt) : avail;
    r->in_finger += n;
    cnt -= static_cast<long>(n);
  }
  return TRUE;
}

// Skips what is left of the current record, fragment by fragment; false when
// the stream is broken or a read fails.
bool skip_rest_of_record(rec_strm* r) {
  if (r->broken) return false;
  while (r->fbtbc > 0 || !r->last_frag) {
    if (!skip_input_bytes(r, r->fbtbc)) return false;
    r->fbtbc = 0;
    if (!r->last_frag && !set_input_fragment(r)) return false;
  }
  return true;
}

int xdrrec_getbytes(XDR* xdrs, char* addr, unsigned int len) {
  rec_strm* r = rs(xdrs);
  while (len > 0) {
    if (r->fbtbc == 0) {
      if (r->last_frag) return FALSE;
      if (!set_input_fragment(r)) return FALSE;
      continue;
    }
    unsigned int n = static_cast<uint64_t>(r->fbtbc) < len ? static_cast<unsigned int>(r->fbtbc) : len;
    if (!get_input_bytes(r, addr, n)) return FALSE;
    r->fbtbc -= n;
    addr += n;
    len -= n;
  }
  return TRUE;
}

int xdrrec_getlong(XDR* xdrs, int* lp) {
  rec_strm* r = rs(xdrs);
  if (!r->crypted && r->fbtbc >= 4 && r->in_boundry - r->in_finger >= 4) {
    *lp = static_cast<int>(get_be32(r->in_finger));
    r->in_finger += 4;
    r->fbtbc -= 4;
    return TRUE;
  }
  char b[4];
  if (!xdrrec_getbytes(xdrs, b, 4)) return FALSE;
  *lp = static_cast<int>(get_be32(b));
  return TRUE;
}

unsigned int xdrrec_getpos(XDR*) { return 0xFFFFFFFFu; }
int xdrrec_setpos(XDR*, unsigned int) { return FALSE; }

char* xdrrec_inline(XDR* xdrs, unsigned int len) {
  rec_strm* r = rs(xdrs);
  if (xdrs->x_op == XDR_ENCODE) {
    if (static_cast<size_t>(r->out_boundry - r->out_finger) < len) return nullptr;
    char* p = r->out_finger;
    r->out_finger += len;
    return p;
  }
  if (xdrs->x_op == XDR_DECODE) {
    if (r->crypted || static_cast<uint64_t>(r->fbtbc) < len ||
        static_cast<size_t>(r->in_boundry - r->in_finger) < len)
      return nullptr;
    char* p = r->in_finger;
    r->in_finger += len;
    r->fbtbc -= len;
    return p;
  }
  return nullptr;
}

void xdrrec_destroy(XDR* xdrs) {
  rec_strm* r = rs(xdrs);
  if (r) {
    free(r->the_buffer);
    free(r);
  }
  xdrs->x_private = nullptr;
  xdrs->x_ops = nullptr;
}

const xdr_ops xdrrec_ops = {xdrrec_getlong, xdrrec_putlong, xdrrec_getbytes, xdrrec_putbytes,
                            xdrrec_getpos,  xdrrec_setpos,  xdrrec_inline,   xdrrec_destroy};

}  // namespace

unsigned int VYRRPC__xdrrec_scramble(unsigned int state, char* data, unsigned long len) {
  for (unsigned long i = 0; i < len; i++) {
    data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^ (state & 0xFF));
    state = next_state(state);
  }
  return state;
}

unsigned int VYRRPC__xdrrec_seed(void) { return static_cast<uint32_t>(time(nullptr)) ^ 0xDEADC0DEu; }

int VYRRPC_xdrrec_create(XDR* xdrs, unsigned int sendsize, unsigned int recvsize, char* tcp_handle,
                         xdrrecproc_t readit, xdrrecproc_t writeit) {
  xdrs->x_ops = nullptr;
  xdrs->x_private = nullptr;
  rec_strm* r = static_cast<rec_strm*>(calloc(1, sizeof(rec_strm)));
  if (!r) return FALSE;
  sendsize = fix_buf_size(sendsize);
  recvsize = fix_buf_size(recvsize);
  // Fragments are sendsize bytes; the output area holds several of them so
  // that a long record goes out in few writes (same fragments on the wire).
  uint64_t outcap = sendsize >= OUT_AREA ? sendsize : static_cast<uint64_t>(OUT_AREA / sendsize) * sendsize;
  uint64_t total = outcap + recvsize + 4;
  // Not zero-filled: every byte is written before it is sent or read, and a
  // filled area would be resident in every connection, whether used or not.
  r->the_buffer = total <= SIZE_MAX ? static_cast<char*>(malloc(total)) : nullptr;
  if (!r->the_buffer) {
    free(r);
    return FALSE;
  }
  xdrs->x_ops = &xdrrec_ops;
  xdrs->x_private = reinterpret_cast<char*>(r);
  r->tcp_handle = tcp_handle;
  r->readit = readit;
  r->writeit = writeit;
  r->sendsize = sendsize;
  r->recvsize = recvsize;
  r->out_base = r->the_buffer;
  r->out_end = r->the_buffer + outcap;
  r->frag_sent = 0;
  begin_fragment(r, r->out_base);
  r->rec_start = r->out_base;
  r->rec_sent = 0;
  r->in_base = r->out_end;
  r->in_size = recvsize;
  r->in_finger = r->in_boundry = r->in_base + recvsize;
  r->fbtbc = 0;
  r->last_frag = 1;
  r->crypted = 0;
  return TRUE;
}

int VYRRPC_xdrrec_skiprecord(XDR* xdrs) {
  rec_strm* r = rs(xdrs);
  if (!skip_rest_of_record(r)) return FALSE;
  r->last_frag = 0;
  return TRUE;
}

int VYRRPC_xdrrec_eof(XDR* xdrs) {
  rec_strm* r = rs(xdrs);
  if (!skip_rest_of_record(r)) return TRUE;
  return r->in_finger == r->in_boundry;
}

int VYRRPC_xdrrec_endofrecord(XDR* xdrs, int sendnow) {
  rec_strm* r = rs(xdrs);
  long header = r->out_crypted ? 8 : 4;
  if (sendnow || r->frag_sent || r->out_boundry - r->out_finger <= header) {
    r->frag_sent = 0;
    return flush_out(r, true);
  }
  complete_fragment(r, true);
  begin_fragment(r, r->out_finger);
  r->rec_start = r->frag_header;
  return TRUE;
}

int VYRRPC_xdrrec_broken(XDR* xdrs) {
  rec_strm* r = rs(xdrs);
  return r == nullptr || r->broken;
}

char* VYRRPC_xdrrec_peek(XDR* xdrs, unsigned int* avail) {
  *avail = 0;
  if (!xdrs || xdrs->x_ops != &xdrrec_ops) return nullptr;
  rec_strm* r = rs(xdrs);
  if (r && xdrs->x_op == XDR_ENCODE) {
    // Fragments are scrambled when they go out, so the room can be written in place.
    if (r->out_boundry <= r->out_finger) return nullptr;
    *avail = static_cast<unsigned int>(r->out_boundry - r->out_finger);
    return r->out_finger;
  }
  if (!r || xdrs->x_op != XDR_DECODE || r->crypted || r->fbtbc <= 0 || r->in_boundry <= r->in_finger)
    return nullptr;
  uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(r->fbtbc),
                                  static_cast<uint64_t>(r->in_boundry - r->in_finger));
  *avail = static_cast<unsigned int>(std::min<uint64_t>(n, UINT_MAX));
  return r->in_finger;
}

int VYRRPC_xdrrec_discard(XDR* xdrs) {
  rec_strm* r = rs(xdrs);
  if (r->rec_sent) return FALSE;
  begin_fragment(r, r->rec_start);
  r->frag_sent = 0;
  return TRUE;
}

int VYRRPC_xdrrec_skiprest(XDR* xdrs) { return skip_rest_of_record(rs(xdrs)) ? TRUE : FALSE; }
