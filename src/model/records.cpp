// Companions of the small wire records and string copy-outs.
#include "model/records.h"

#include <cstdlib>
#include <cstring>

namespace {
void release(String& s) {
  std::free(s);
  s = nullptr;
}

// The number of data bytes an identifier carries, or -1 when its lengths are invalid.
long xid_data_len(long gtrid, long bqual) {
  if (gtrid < 0 || bqual < 0 || gtrid > 128 || bqual > 128 || gtrid + bqual > 128) return -1;
  return gtrid + bqual;
}
}  // namespace

void Request_Done(Request* me) {
  if (!me) return;
  release(me->original);
  release(me->translated);
}

void Server_Done(Server* me) {
  if (!me) return;
  release(me->serverOptions);
  release(me->serverType);
}

void Connect_Done(Connect* me) {
  if (!me) return;
  release(me->svHost);
  release(me->svOptions);
  release(me->dbType);
  release(me->dbPath);
  release(me->dbName);
  release(me->dbOptions);
  release(me->userName);
  release(me->password);
  release(me->protocol);
  release(me->application);
}

void ErrInfo_Done(ErrInfo* me) {
  if (!me) return;
  if (me->messages) {
    for (unsigned i = 0; i < me->messageCount; ++i) std::free(me->messages[i]);
    std::free(me->messages);
  }
  me->messages = nullptr;
  me->messageCount = 0;
}

bool XID_t_Valid(const XID_t* x) { return x && xid_data_len(x->gtrid_length, x->bqual_length) >= 0; }

int XID_t_Init(XID_t* pVdbXid, XID* pOsXid) {
  pVdbXid->formatID = pOsXid->formatID;
  pVdbXid->gtrid_length = pOsXid->gtrid_length;
  pVdbXid->bqual_length = pOsXid->bqual_length;
  long n = xid_data_len(pOsXid->gtrid_length, pOsXid->bqual_length);
  if (n > 0) std::memcpy(pVdbXid->data, pOsXid->data, static_cast<size_t>(n));
  return 1;
}

int XID_Init(XID* pOsXid, XID_t* pVdbXid) {
  pOsXid->formatID = pVdbXid->formatID;
  pOsXid->gtrid_length = pVdbXid->gtrid_length;
  pOsXid->bqual_length = pVdbXid->bqual_length;
  long n = xid_data_len(pVdbXid->gtrid_length, pVdbXid->bqual_length);
  if (n > 0) std::memcpy(pOsXid->data, pVdbXid->data, static_cast<size_t>(n));
  return 1;
}

int StrCopyOut(const char* inStr, uns8* outStr, uns16 size, uns16* result) {
  if (!inStr || !outStr) return -1;
  size_t len = std::strlen(inStr);
  if (len + 1 <= size) {
    std::memcpy(outStr, inStr, len + 1);
    if (result) *result = static_cast<uns16>(len);
    return 0;
  }
  if (size == 0) return -1;
  std::memcpy(outStr, inStr, size - 1u);
  outStr[size - 1] = 0;
  if (result) *result = static_cast<uns16>(size - 1);
  return -1;
}

int StrCopyOut2(const char* inStr, uns8* outStr, uns16 size, uns16* result) {
  if (!inStr) return -1;
  size_t len = std::strlen(inStr);
  if (result) *result = static_cast<uns16>(len);
  if (!outStr) return 0;
  if (len + 1 <= size) {
    std::memcpy(outStr, inStr, len + 1);
    return 0;
  }
  if (size > 0) {
    std::memcpy(outStr, inStr, size - 1u);
    outStr[size - 1] = 0;
  }
  return -1;
}
