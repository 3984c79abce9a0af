// Handle tables: a growable array of slots; a handle is the table's magic in the
// upper 16 bits and the slot index in the lower 16.
#include "model/handle_table.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr uns16 kGrowBy = 5;
constexpr uns16 kMaxBeforeGrow = 65530;  // 65530 + 5 = 65535 slots at most
}  // namespace

errcode_t HandleInit(HandleArray* me, uns32 magicToCheck) {
  std::free(me->handleArray);
  if (me->enableLocking) pthread_mutex_destroy(&me->spinLock);
  std::memset(me, 0, sizeof *me);
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
  std::free(me->handleArray);
  if (me->enableLocking) pthread_mutex_destroy(&me->spinLock);
  std::memset(me, 0, sizeof *me);
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
  me->handleArray[slot].version = static_cast<uns16>(me->magicToCheck & 0xFFFF);
  me->handleArray[slot].datum = datum;
  me->numFree--;
  me->firstFree = static_cast<uns16>(slot + 1);
  HandleUnLock(me);
  return ER_SUCCESS;
}

void* HandleValidate(HandleArray* me, handle_t handle) {
  if (!me) return nullptr;
  HandleLock(me);
  void* datum = nullptr;
  unsigned slot = handle & 0xFFFF;
  if (slot < me->numAllocated && me->handleArray[slot].version != 0 &&
      me->handleArray[slot].version == (handle >> 16))
    datum = me->handleArray[slot].datum;
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
    me->handleArray[slot].datum = nullptr;
    me->handleArray[slot].version = 0;
    me->numFree++;
    if (slot < me->firstFree) me->firstFree = static_cast<uns16>(slot);
  }
  HandleUnLock(me);
}
