// Record-marking XDR stream over a byte connection (RFC 5531 record marking),
// with optional scrambling of each fragment's data from a per-fragment seed.
//
// The TCP server and client transports make one stream per connection and give
// it the two functions that move bytes (plain or through TLS).
#pragma once

#include "rpc/xdr.h"

// Scramble what streams send. Defined with the other global values
// (util/globals.h) and set once at start-up, before any stream exists; incoming
// scrambled fragments are read whatever its value.
extern int VYRRPC__xdr_crypt;

// Read function: bytes placed in buf (more than 0), or -1.
// Write function: bytes written; anything but len is a failure.
typedef int (*xdrrecproc_t)(char* handle, char* buf, unsigned int len);

// State of a record stream, held in XDR.x_private.
struct rec_strm {
  char* tcp_handle;
  char* the_buffer;  // output area, input buffer, 4 spare bytes
  xdrrecproc_t writeit;
  char* out_base;
  char* out_finger;
  char* out_boundry;  // end of the fragment being built
  char* out_end;      // end of the output area (a whole number of fragments)
  char* rec_start;    // where the output record being built begins
  int rec_sent;       // part of that record has already been written
  char* frag_header;
  int frag_sent;
  xdrrecproc_t readit;
  unsigned int in_size;
  char* in_base;
  char* in_finger;
  char* in_boundry;
  long fbtbc;
  int last_frag;
  unsigned int sendsize;
  unsigned int recvsize;
  unsigned int crypto;
  unsigned int crypti;
  int crypted;
  int out_crypted;  // the output fragment being built carries a seed
  int broken;       // framing lost: the stream refuses every further read
};
typedef rec_strm RECSTREAM;

// Makes a record stream in xdrs. TRUE, or FALSE with nothing allocated and
// xdrs->x_ops null when memory runs out.
int VYRRPC_xdrrec_create(XDR* xdrs, unsigned int sendsize, unsigned int recvsize, char* tcp_handle,
                         xdrrecproc_t readit, xdrrecproc_t writeit);

// Discards the rest of the current input record; the next read starts a new one.
int VYRRPC_xdrrec_skiprecord(XDR* xdrs);

// TRUE when, past the current record, no further received byte is buffered.
int VYRRPC_xdrrec_eof(XDR* xdrs);

// Ends the output record; sendnow TRUE sends it at once.
int VYRRPC_xdrrec_endofrecord(XDR* xdrs, int sendnow);

// TRUE once the stream has met a malformed fragment mark: its input can no
// longer be framed and the connection must be dropped.
int VYRRPC_xdrrec_broken(XDR* xdrs);

// Decoding: the bytes of the current input fragment that are already buffered;
// encoding: the room left in the output fragment being built. Nothing is
// consumed (x_inline consumes). Null with *avail 0 when there are none, on a
// scrambled input fragment, or when xdrs is not a record stream.
char* VYRRPC_xdrrec_peek(XDR* xdrs, unsigned int* avail);

// The scrambling keystream: XORs len bytes with the stream that starts at
// state and returns the state that follows them.
unsigned int VYRRPC__xdrrec_scramble(unsigned int state, char* data, unsigned long len);

// The seed of a new output fragment: the current time XOR 0xDEADC0DE.
unsigned int VYRRPC__xdrrec_seed(void);

// Drops the output record being built, when none of it has been sent yet
// (TRUE); FALSE when part of it has already gone out.
int VYRRPC_xdrrec_discard(XDR* xdrs);

// Reads and discards the rest of the current input record, leaving the stream
// at its end; FALSE when the record cannot be read whole. A client uses it to
// accept a reply only once its record has arrived complete.
int VYRRPC_xdrrec_skiprest(XDR* xdrs);
