// Handle tables: a growable array of slots; a handle is the table's magic in the
// upper 16 bits and the slot index in the lower 16.
#include "model/handle_table.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

namespace {
constexpr uns16 kGrowBy = 5;
constexpr uns16 kMaxBeforeGrow = 65530;  // 65530 + 5 = 65535 slots at most

using Host = std::array<uns8, 16>;
// Records per host in one table (only those made by a client's call).
using HostCounts = std::map<Host, uns32>;

// The caller of the call this thread serves: each connection's thread serves
// its own client.
thread_local HandleCaller current_caller;
thread_local bool have_caller = false;

Host host_of(const HandleCaller& c) {
  Host h;
  std::memcpy(h.data(), c.host, h.size());
  return h;
}

bool same_host(const HandleCaller& a, const HandleCaller& b) {
  return std::memcmp(a.host, b.host, sizeof a.host) == 0;
}

HostCounts* counts(HandleArray* me) {
  if (!me->perHost) me->perHost = new (std::nothrow) HostCounts();
  return static_cast<HostCounts*>(me->perHost);
}

// Frees what the table owns besides its record (which it does not own).
void release_table(HandleArray* me) {
  for (unsigned i = 0; me->handleArray && i < me->numAllocated; i++) std::free(me->handleArray[i].more);
  std::free(me->handleArray);
  delete static_cast<HostCounts*>(me->perHost);
  if (me->enableLocking) pthread_mutex_destroy(&me->spinLock);
  std::memset(me, 0, sizeof *me);
}

HandleItem* item_of(const HandleArray* me, handle_t handle) {
  if (!me || !me->handleArray) return nullptr;
  unsigned slot = handle & 0xFFFF;
  if (slot < me->numAllocated && me->handleArray[slot].version != 0 &&
      me->handleArray[slot].version == (handle >> 16))
    return &me->handleArray[slot];
  return nullptr;
}

// The current caller's host holds the record (any record answers outside calls).
bool caller_may_use(const HandleItem& it) {
  if (!have_caller || !it.owned) return true;
  if (it.hold.count > 0 && same_host(it.hold.by, current_caller)) return true;
  for (uns32 i = 0; i < it.nMore; i++)
    if (it.more[i].count > 0 && same_host(it.more[i].by, current_caller)) return true;
  return false;
}
}  // namespace

void HandleSetCaller(const HandleCaller* caller) {
  have_caller = caller != nullptr;
  if (caller) current_caller = *caller;
}

const HandleCaller* HandleCurrentCaller(void) { return have_caller ? &current_caller : nullptr; }

errcode_t HandleInit(HandleArray* me, uns32 magicToCheck) {
  release_table(me);
  // Calls of several clients run at once: every table locks.
  HandleSpinlocking(me);
  me->handleArray = static_cast<HandleItem*>(std::calloc(kGrowBy, sizeof(HandleItem)));
  if (!me->handleArray) return ER_NO_MEMORY;
  me->numAllocated = kGrowBy;
  me->numFree = kGrowBy;
  me->capacity = kGrowBy;
  me->magicToCheck = (magicToCheck & 0xFFFF) ? (magicToCheck & 0xFFFF) : 0xFFFFFFFFu;
  return ER_SUCCESS;
}

void HandleDone(HandleArray* me) {
  if (!me) return;
  release_table(me);
}

errcode_t HandleSpinlocking(HandleArray* me) {
  if (!me->enableLocking) pthread_mutex_init(&me->spinLock, nullptr);
  me->enableLocking = 1;
  return ER_SUCCESS;
}

void HandleLock(HandleArray* me) {
  if (me && me->enableLocking) pthread_mutex_lock(&me->spinLock);
}

void HandleUnLock(HandleArray* me) {
  if (me && me->enableLocking) pthread_mutex_unlock(&me->spinLock);
}

errcode_t HandleRegister(HandleArray* me, handle_t* pHandle, void* datum) {
  *pHandle = 0;
  if (!me) return ER_GENERAL_ERROR;
  HandleLock(me);
  HostCounts* perHost = nullptr;
  if (have_caller) {
    // One host never locks the others out of a table.
    perHost = counts(me);
    if (!perHost) {
      HandleUnLock(me);
      return ER_NO_MEMORY;
    }
    auto found = perHost->find(host_of(current_caller));
    if (found != perHost->end() && found->second >= HANDLE_MAX_PER_HOST) {
      HandleUnLock(me);
      return ER_HANDLE_OVERFLOW;
    }
  }
  unsigned slot = me->numAllocated;
  if (me->numFree > 0) {
    slot = me->firstFree;
    while (slot < me->numAllocated && me->handleArray[slot].version != 0) ++slot;
  }
  if (slot >= me->numAllocated) {
    if (me->numAllocated > kMaxBeforeGrow) {
      HandleUnLock(me);
      return ER_HANDLE_OVERFLOW;
    }
    unsigned n = me->numAllocated + kGrowBy;
    if (n > me->capacity) {
      // The array doubles underneath, so a full table costs a few reallocations
      // instead of one per five handles; slots past numAllocated stay zeroed.
      unsigned cap = me->capacity * 2u;
      if (cap < n) cap = n;
      if (cap > 65535u) cap = 65535u;
      HandleItem* grown = static_cast<HandleItem*>(std::realloc(me->handleArray, cap * sizeof(HandleItem)));
      if (!grown) {
        HandleUnLock(me);
        return ER_NO_MEMORY;
      }
      std::memset(grown + me->capacity, 0, (cap - me->capacity) * sizeof(HandleItem));
      me->handleArray = grown;
      me->capacity = cap;
    }
    slot = me->numAllocated;
    me->numAllocated = static_cast<uns16>(n);
    me->numFree = kGrowBy;
  }
  *pHandle = (me->magicToCheck << 16) | slot;
  HandleItem& it = me->handleArray[slot];
  it.version = static_cast<uns16>(me->magicToCheck & 0xFFFF);
  it.datum = datum;
  it.more = nullptr;
  it.nMore = 0;
  it.owned = have_caller ? 1 : 0;
  it.hold = HandleHolder{};
  if (have_caller) {
    it.hold = HandleHolder{current_caller, 1};
    (*perHost)[host_of(current_caller)]++;
  }
  me->numFree--;
  me->firstFree = static_cast<uns16>(slot + 1);
  HandleUnLock(me);
  return ER_SUCCESS;
}

void* HandleValidate(HandleArray* me, handle_t handle) {
  if (!me) return nullptr;
  HandleLock(me);
  void* datum = nullptr;
  HandleItem* it = item_of(me, handle);
  if (it && caller_may_use(*it)) datum = it->datum;
  HandleUnLock(me);
  return datum;
}

void HandleUnregister(HandleArray* me, handle_t handle) {
  if (!me) return;
  HandleLock(me);
  unsigned slot = handle & 0xFFFF;
  // A forged handle with a zero upper half must not "free" a free slot again.
  if (slot < me->numAllocated && me->handleArray[slot].version != 0 &&
      me->handleArray[slot].version == (handle >> 16)) {
    HandleItem& it = me->handleArray[slot];
    if (it.owned && me->perHost) {
      HostCounts* perHost = static_cast<HostCounts*>(me->perHost);
      auto found = perHost->find(host_of(it.hold.by));
      if (found != perHost->end() && --found->second == 0) perHost->erase(found);
    }
    std::free(it.more);
    it = HandleItem{};
    me->numFree++;
    if (slot < me->firstFree) me->firstFree = static_cast<uns16>(slot);
  }
  HandleUnLock(me);
}

errcode_t HandleHold(HandleArray* me, handle_t handle) {
  HandleLock(me);
  HandleItem* it = item_of(me, handle);
  errcode_t rc = ER_SUCCESS;
  if (!it) {
    rc = ER_INVALID_ARGUMENT;
  } else if (have_caller && it->owned) {
    auto mine = [](const HandleHolder& h) {
      return same_host(h.by, current_caller) && h.by.origin == current_caller.origin;
    };
    HandleHolder* h = mine(it->hold) ? &it->hold : nullptr;
    for (uns32 i = 0; !h && i < it->nMore; i++)
      if (mine(it->more[i])) h = &it->more[i];
    if (h) {
      h->count++;
    } else {
      auto* grown =
          static_cast<HandleHolder*>(std::realloc(it->more, (it->nMore + 1) * sizeof(HandleHolder)));
      if (!grown) {
        rc = ER_NO_MEMORY;
      } else {
        it->more = grown;
        it->more[it->nMore++] = HandleHolder{current_caller, 1};
      }
    }
  }
  HandleUnLock(me);
  return rc;
}

errcode_t HandleRelease(HandleArray* me, handle_t handle) {
  HandleLock(me);
  HandleItem* it = item_of(me, handle);
  errcode_t rc = ER_SUCCESS;
  if (!it || !caller_may_use(*it)) {
    rc = ER_INVALID_ARGUMENT;
  } else if (have_caller && it->owned) {
    // A hold of this host from the caller's own connection goes first.
    HandleHolder* pick = nullptr;
    auto consider = [&pick](HandleHolder& h) {
      if (h.count == 0 || !same_host(h.by, current_caller)) return;
      if (!pick || (h.by.origin == current_caller.origin && pick->by.origin != current_caller.origin))
        pick = &h;
    };
    consider(it->hold);
    for (uns32 i = 0; i < it->nMore; i++) consider(it->more[i]);
    pick->count--;  // caller_may_use found one
  }
  HandleUnLock(me);
  return rc;
}

uns32 HandleHoldsFrom(HandleArray* me, handle_t handle, uint64_t origin) {
  if (!me || origin == 0) return 0;
  HandleLock(me);
  const HandleItem* it = item_of(me, handle);
  uns32 n = 0;
  if (it && it->owned) {
    n = it->hold.by.origin == origin ? it->hold.count : 0;
    for (uns32 i = 0; i < it->nMore; i++)
      if (it->more[i].by.origin == origin) n += it->more[i].count;
  }
  HandleUnLock(me);
  return n;
}

unsigned HandleListFrom(HandleArray* me, uint64_t origin, handle_t* out, unsigned max) {
  unsigned n = 0;
  if (!me || origin == 0) return 0;
  HandleLock(me);
  for (unsigned slot = 0; me->handleArray && slot < me->numAllocated; slot++) {
    const HandleItem& it = me->handleArray[slot];
    if (it.version == 0 || !it.owned || it.hold.by.origin != origin) continue;
    if (n < max) out[n] = (me->magicToCheck << 16) | slot;
    n++;
  }
  HandleUnLock(me);
  return n;
}

unsigned HandleCollect(HandleArray* me, int (*keep)(void* datum, void* ctx), void* ctx, handle_t* out,
                       unsigned max) {
  unsigned n = 0;
  if (!me) return 0;
  HandleLock(me);
  for (unsigned slot = 0; me->handleArray && slot < me->numAllocated; slot++) {
    const HandleItem& it = me->handleArray[slot];
    if (it.version == 0 || (keep && !keep(it.datum, ctx))) continue;
    if (n < max) out[n] = (me->magicToCheck << 16) | slot;
    n++;
  }
  HandleUnLock(me);
  return n;
}

int HandleVisit(HandleArray* me, handle_t handle, int (*fn)(void* datum, void* ctx), void* ctx) {
  if (!me) return 0;
  HandleLock(me);
  HandleItem* it = item_of(me, handle);
  int r = it && caller_may_use(*it) ? fn(it->datum, ctx) : 0;
  HandleUnLock(me);
  return r;
}
