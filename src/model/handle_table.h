// Handle tables: turn the 32-bit handles that clients hold back into the agent's
// server, connection and cursor records. Used by the backend and the cursor engine.
//
// A record belongs to the peer host whose call made it: while a call is served
// (HandleSetCaller), a handle of another host's record validates as no record
// at all, and no host gets more than half of a table. A record may have further
// holders (the one server record every session shares); each hold also names
// the connection its call came over, so that the records a dropped connection
// made can be found.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "model/errcode.h"
#include "model/types.h"

// Who is calling: the peer's host (an IPv6 address; IPv4 as a mapped address)
// and the connection that carried the call (a transport serial; 0 for a
// datagram).
struct HandleCaller {
  uns8 host[16];
  uint64_t origin;
};

// One holder of a record, with the number of its holds.
struct HandleHolder {
  HandleCaller by;
  uns32 count;
};

struct HandleItem {
  uns16 version;       // the table's magic while in use, 0 when free
  void* datum;         // not owned
  int owned;           // made by a client's call: only its holders' host may use it
  HandleHolder hold;   // the caller that made it
  HandleHolder* more;  // further holders (owned), nMore of them
  uns32 nMore;
};

struct HandleArray {
  uns32 magicToCheck;
  uns16 numAllocated;
  uns16 numFree;
  HandleItem* handleArray;
  int enableLocking;
  pthread_mutex_t spinLock;
  uns16 firstFree;  // no slot below this one is free (keeps registration linear)
  uns32 capacity;   // slots behind handleArray; grows by doubling, numAllocated by 5
  void* perHost;    // records each host made (owned; see handle_table.cpp)
};

// No host may make more records in one table than this (half of the 65535).
constexpr uns32 HANDLE_MAX_PER_HOST = 32767;

constexpr uns32 HANDLE_MAGIC_SERVER = 0xAAAA;
constexpr uns32 HANDLE_MAGIC_CONNECT = 0xBBBB;
constexpr uns32 HANDLE_MAGIC_CURSOR = 0xCCCC;

errcode_t HandleInit(HandleArray* me, uns32 magicToCheck);
void HandleDone(HandleArray* me);
errcode_t HandleSpinlocking(HandleArray* me);
void HandleLock(HandleArray* me);
void HandleUnLock(HandleArray* me);
errcode_t HandleRegister(HandleArray* me, handle_t* pHandle, void* datum);
void* HandleValidate(HandleArray* me, handle_t handle);
void HandleUnregister(HandleArray* me, handle_t handle);

// The caller of the call being served, copied; null when no client call is
// being served (start-up, clean-up of a dropped connection's records is served
// as that connection, tests), and then every handle answers. One per thread:
// each thread serves its own client's calls.
void HandleSetCaller(const HandleCaller* caller);
const HandleCaller* HandleCurrentCaller(void);

// Adds a hold of the current caller to a record, which its host may use from
// then on (another session on the shared server record). ER_INVALID_ARGUMENT
// when the handle names no record; ER_NO_MEMORY.
errcode_t HandleHold(HandleArray* me, handle_t handle);
// Drops one hold of the current caller's host, one from the caller's own
// connection first. ER_INVALID_ARGUMENT when the host holds none.
errcode_t HandleRelease(HandleArray* me, handle_t handle);
// The holds a record has from calls over the connection `origin`.
uns32 HandleHoldsFrom(HandleArray* me, handle_t handle, uint64_t origin);
// The records made by calls over the connection `origin` (origin 0, datagrams,
// finds none): their handles, in slot order, into out (at most max of them);
// the result is how many there are.
unsigned HandleListFrom(HandleArray* me, uint64_t origin, handle_t* out, unsigned max);
// The records for which keep(datum, ctx) answers non-zero (every record when
// keep is null), as HandleListFrom; keep runs under the table's lock.
unsigned HandleCollect(HandleArray* me, int (*keep)(void* datum, void* ctx), void* ctx, handle_t* out,
                       unsigned max);
// Runs fn on the record the handle names, under the table's lock, so that the
// record cannot be unregistered meanwhile; fn's result, 0 when the handle
// names no record the caller may use.
int HandleVisit(HandleArray* me, handle_t handle, int (*fn)(void* datum, void* ctx), void* ctx);
