// XDR (RFC 4506) streams and filter routines.
//
// Every wire record of the system has exactly one filter routine that encodes,
// decodes or frees it according to the stream's direction. Two stream kinds
// exist: the memory stream (below) and the record stream of a TCP connection
// (rpc/record_stream.h). The layer logs nothing; routines answer TRUE or FALSE.
// Used by the RPC messages, the transports and the wire protocol records.
#pragma once

#include <cstddef>

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

enum xdr_op { XDR_ENCODE = 0, XDR_DECODE = 1, XDR_FREE = 2 };

struct XDR;

// The operations of one stream kind.
struct xdr_ops {
  int (*x_getlong)(XDR*, int*);
  int (*x_putlong)(XDR*, const int*);
  int (*x_getbytes)(XDR*, char* addr, unsigned int len);
  int (*x_putbytes)(XDR*, const char* addr, unsigned int len);
  unsigned int (*x_getpos)(XDR*);
  int (*x_setpos)(XDR*, unsigned int pos);
  // Direct access to the next len bytes of the stream's buffer, or null. The
  // bytes need not be aligned: read and write them with memcpy.
  char* (*x_inline)(XDR*, unsigned int len);
  void (*x_destroy)(XDR*);
};

struct XDR {
  xdr_op x_op;
  const xdr_ops* x_ops;
  char* x_public;        // for the stream's user; never touched by the runtime
  char* x_private;       // memory stream: current position; record stream: its state
  char* x_base;          // memory stream: buffer start
  unsigned int x_handy;  // memory stream: bytes left
};

typedef int enum_t;

// A filter routine: int routine(XDR*, T* object). Routines of other object
// types are passed through this type with a cast.
typedef int (*xdrproc_t)(XDR*, void*, ...);

// One arm of a discriminated union; a table ends with an arm whose proc is null.
struct xdr_discrim {
  int value;
  xdrproc_t proc;
};

// Stream operations, as functions.
inline int VYRRPC_xdr_getlong(XDR* x, int* v) { return x->x_ops->x_getlong(x, v); }
inline int VYRRPC_xdr_putlong(XDR* x, const int* v) { return x->x_ops->x_putlong(x, v); }
inline unsigned int VYRRPC_xdr_getpos(XDR* x) { return x->x_ops->x_getpos(x); }
inline int VYRRPC_xdr_setpos(XDR* x, unsigned int pos) { return x->x_ops->x_setpos(x, pos); }
inline char* VYRRPC_xdr_inline(XDR* x, unsigned int len) { return x->x_ops->x_inline(x, len); }
inline void VYRRPC_xdr_destroy(XDR* x) {
  if (x->x_ops && x->x_ops->x_destroy) x->x_ops->x_destroy(x);
}

// Scalars: one 4-byte unit each (xdr_double: two).
int VYRRPC_xdr_void(XDR*, void*);
int VYRRPC_xdr_int(XDR*, int*);
int VYRRPC_xdr_u_int(XDR*, unsigned int*);
int VYRRPC_xdr_long(XDR*, int*);             // 32-bit, like VYRRPC_xdr_int
int VYRRPC_xdr_u_long(XDR*, unsigned int*);  // 32-bit, like VYRRPC_xdr_u_int
int VYRRPC_xdr_enum(XDR*, enum_t*);
int VYRRPC_xdr_short(XDR*, short*);
int VYRRPC_xdr_u_short(XDR*, unsigned short*);
int VYRRPC_xdr_char(XDR*, char*);
int VYRRPC_xdr_u_char(XDR*, unsigned char*);
int VYRRPC_xdr_bool(XDR*, int*);
int xdr_float(XDR*, float*);
int xdr_double(XDR*, double*);

// Constructed types.
int VYRRPC_xdr_opaque(XDR*, char* cp, unsigned int cnt);
int VYRRPC_xdr_bytes(XDR*, char** cpp, unsigned int* sizep, unsigned int maxsize);
int VYRRPC_xdr_string(XDR*, char** cpp, unsigned int maxsize);
int VYRRPC_xdr_wrapstring(XDR*, char** cpp);
int VYRRPC_xdr_array(XDR*, char** addrp, unsigned int* sizep, unsigned int maxsize, unsigned int elsize,
                     xdrproc_t elproc);
int VYRRPC_xdr_vector(XDR*, char* basep, unsigned int nelem, unsigned int elemsize, xdrproc_t elproc);
int VYRRPC_xdr_reference(XDR*, char** pp, unsigned int size, xdrproc_t proc);
int VYRRPC_xdr_pointer(XDR*, char** objpp, unsigned int obj_size, xdrproc_t xdr_obj);
int VYRRPC_xdr_union(XDR*, enum_t* dscmp, char* unp, const xdr_discrim* choices, xdrproc_t dfault);

// Runs proc over objp in the free direction: releases what a decode allocated.
void VYRRPC_xdr_free(xdrproc_t proc, char* objp);

// Memory stream over the caller's buffer of size bytes.
void VYRRPC_xdrmem_create(XDR* xdrs, char* addr, unsigned int size, xdr_op op);

// Decoding allocates at most this many bytes ahead of the data that has
// actually arrived, whatever length or count the peer announces.
constexpr unsigned int VYRRPC_XDR_GROW_STEP = 64 * 1024;

// Nesting limit of optional objects (VYRRPC_xdr_pointer) while decoding, so a
// peer cannot exhaust the stack with a long chain.
constexpr int VYRRPC_XDR_MAX_DEPTH = 2048;
