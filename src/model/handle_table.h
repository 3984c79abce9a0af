// Handle tables: turn the 32-bit handles that clients hold back into the agent's
// server, connection and cursor records. Used by the backend and the cursor engine.
#pragma once

#include <pthread.h>

#include "model/errcode.h"
#include "model/types.h"

struct HandleItem {
  uns16 version;  // the table's magic while in use, 0 when free
  void* datum;    // not owned
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
};

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
