// Chained hash table with copied keys and borrowed data. Keys are either
// NUL-terminated strings (keysize 0) or byte strings of exactly keysize bytes.
// Fixed-size keys are not hashed: they all live in bucket 0 as one list.
// The table never grows. Allocation failures return null, table unchanged.
#pragma once

#include <cstdio>

typedef void* ITEM;

struct _htentry;
typedef struct _htentry HTENTRY;
struct _htentry {
  ITEM ht_key;   // the table's own copy of the key
  ITEM ht_data;  // the caller's pointer, never copied or freed
  HTENTRY* ht_next;
};

struct _httable {
  HTENTRY** ht_entries;
  int ht_size;     // buckets, at least 1
  int ht_keysize;  // 0: string keys
  int ht_noe;      // entries
  int ht_noc;      // collisions
};
typedef struct _httable HTTABLE;

typedef int (*ht_map_func)(ITEM data, ITEM key, void* arg);

HTTABLE* VYR_htinit(int size, int keysize);
void VYR_htfree(HTTABLE* table);
HTENTRY* VYR_htadd(HTTABLE* table, const void* key, ITEM data);
// Links a caller-made entry with the key pointer as given (not copied).
HTENTRY* VYR_htadd_hte(HTTABLE* table, HTENTRY* hte, const void* key, ITEM data);
ITEM VYR_htgetdata(HTTABLE* table, const void* key);
HTENTRY* VYR_htlookup(HTTABLE* table, const void* key);
// Unlinks and returns the entry; the caller releases it (and its key).
HTENTRY* VYR_htdelete_hte(HTTABLE* table, const void* key);
int VYR_htdelete(HTTABLE* table, const void* key);
int VYR_htmap(HTTABLE* table, ht_map_func function, void* data);
// The bucket of a key; -1 for a string key whose hash has no bucket.
int VYR_hthash(const HTTABLE* table, const void* key);
void VYR_htstat(const HTTABLE* table, FILE* fp);
