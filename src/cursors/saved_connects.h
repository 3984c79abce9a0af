// The saved connect requests of a server: a copy of each connection's request
// (kept by the filter's connect slot), so that a row-version link can open a
// connection of its own like the client's, and the engine's lock around them
// and the row-version links.
#pragma once

#include <mutex>

#include "backend/backend.h"

// One saved connect request of a server session (_Server.pConnInfo).
struct _CONNINFO {
  Connect* pConnect;
  handle_t hConn;
  _CONNINFO* pNext;
};
typedef _CONNINFO CONNINFO;

// The lock of the saved connect requests and the row-version links (scrs_spl2).
// Recursive: a row-version link connects and ends connections through an
// operation table while it holds the lock.
std::recursive_mutex& scs_p_Spl2();
// A heap copy of the request, every string duplicated; null when memory fails.
// FreeConnectCopy frees it (null is ignored).
Connect* CopyConnect(const Connect* me);
void FreeConnectCopy(Connect* c);
// Unlinks and frees the saved request of hConn (under the lock); a null server
// or an unknown connection is ignored.
void ConnInfoRemove(_Server* s, handle_t hConn);
// The saved request of hConn (walked under the lock), or null; the list keeps
// it.
CONNINFO* SCs_ConnInfoFind(_Server* pServ, handle_t hConn);
