// The saved connect requests of a server (saved_connects.h): a copy of each
// connection's request, kept so that a row-version link can open a connection
// of its own like the client's, and the engine's lock around them.
#include "cursors/saved_connects.h"

#include <cstdlib>
#include <cstring>

#include "util/fault.h"

namespace {

// Around the saved connect requests and row-version connections. Recursive: a
// row-version link connects and ends connections through an operation table
// while it holds the lock, and those calls come back to the saved requests.
std::recursive_mutex scrs_spl2;

}  // namespace

// Heap copy of a string that may be null; false only when memory fails.
bool DupString(String* to, const char* from) {
  *to = nullptr;
  if (!from) return true;
  if (vyr_fault_alloc()) return false;
  *to = strdup(from);
  return *to != nullptr;
}

void FreeConnectCopy(Connect* c) {
  if (!c) return;
  for (String* s : {&c->svHost, &c->svOptions, &c->dbType, &c->dbPath, &c->dbName, &c->dbOptions,
                    &c->userName, &c->password, &c->protocol})
    free(*s);
  free(c);
}

Connect* CopyConnect(const Connect* me) {
  Connect* c = vyr_fault_alloc() ? nullptr : static_cast<Connect*>(calloc(1, sizeof(Connect)));
  if (!c) return nullptr;
  bool ok = DupString(&c->svHost, me->svHost) && DupString(&c->svOptions, me->svOptions) &&
            DupString(&c->dbType, me->dbType) && DupString(&c->dbPath, me->dbPath) &&
            DupString(&c->dbName, me->dbName) && DupString(&c->dbOptions, me->dbOptions) &&
            DupString(&c->userName, me->userName) && DupString(&c->password, me->password) &&
            DupString(&c->protocol, me->protocol);
  if (!ok) {
    FreeConnectCopy(c);
    return nullptr;
  }
  c->readOnly = me->readOnly;
  c->loginTimeout = me->loginTimeout;
  return c;
}

// Unlinks and frees the saved request of hConn, wherever it stands in the list.
void ConnInfoRemove(_Server* s, handle_t hConn) {
  if (!s) return;
  std::lock_guard lock(scrs_spl2);
  CONNINFO** link = reinterpret_cast<CONNINFO**>(&s->pConnInfo);
  while (*link) {
    CONNINFO* n = *link;
    if (n->hConn == hConn) {
      *link = n->pNext;
      FreeConnectCopy(n->pConnect);
      free(n);
      return;
    }
    link = &n->pNext;
  }
}

std::recursive_mutex& scs_p_Spl2() { return scrs_spl2; }

CONNINFO* SCs_ConnInfoFind(_Server* pServ, handle_t hConn) {
  if (!pServ) return nullptr;
  std::lock_guard lock(scrs_spl2);
  for (CONNINFO* n = static_cast<CONNINFO*>(pServ->pConnInfo); n; n = n->pNext)
    if (n->hConn == hConn) return n;
  return nullptr;
}
