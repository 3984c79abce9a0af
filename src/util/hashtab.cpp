// Chained hash table.
#include "util/hashtab.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/fault.h"

namespace {

void* ht_calloc(size_t n, size_t size) { return vyr_fault_alloc() ? nullptr : calloc(n, size); }

bool keys_equal(const HTTABLE* t, const void* a, const void* b) {
  if (t->ht_keysize == 0) return strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
  return memcmp(a, b, static_cast<size_t>(t->ht_keysize)) == 0;
}

// The entry with an equal key in bucket b, and the link that points to it.
HTENTRY** find_link(HTTABLE* t, int b, const void* key) {
  HTENTRY** link = &t->ht_entries[b];
  while (*link != nullptr && !keys_equal(t, (*link)->ht_key, key)) link = &(*link)->ht_next;
  return link;
}

void link_entry(HTTABLE* t, int b, HTENTRY* e) {
  if (t->ht_entries[b] != nullptr) t->ht_noc++;
  e->ht_next = t->ht_entries[b];
  t->ht_entries[b] = e;
  t->ht_noe++;
}

HTENTRY* unlink_entry(HTTABLE* t, int b, HTENTRY** link) {
  HTENTRY* e = *link;
  *link = e->ht_next;
  e->ht_next = nullptr;
  t->ht_noe--;
  if (t->ht_entries[b] != nullptr) t->ht_noc--;
  return e;
}

}  // namespace

int VYR_hthash(const HTTABLE* table, const void* key) {
  if (table->ht_keysize != 0) return 0;
  int32_t h = 0;
  for (const char* p = static_cast<const char*>(key); *p != '\0'; ++p) {
    const int32_t c = static_cast<signed char>(*p);
    h = static_cast<int32_t>(static_cast<uint32_t>(h >> 28) + (static_cast<uint32_t>(h) << 3) +
                             static_cast<uint32_t>(c));
  }
  // The most negative value has no magnitude in an int: no bucket.
  if (h == INT32_MIN) return -1;
  return (h < 0 ? -h : h) % table->ht_size;
}

HTTABLE* VYR_htinit(int size, int keysize) {
  if (size <= 0) size = 1;
  if (keysize < 0) keysize = 0;
  HTTABLE* t = static_cast<HTTABLE*>(ht_calloc(1, sizeof(HTTABLE)));
  if (t == nullptr) return nullptr;
  t->ht_entries = static_cast<HTENTRY**>(ht_calloc(static_cast<size_t>(size), sizeof(HTENTRY*)));
  if (t->ht_entries == nullptr) {
    free(t);
    return nullptr;
  }
  t->ht_size = size;
  t->ht_keysize = keysize;
  return t;
}

void VYR_htfree(HTTABLE* table) {
  if (table == nullptr) return;
  for (int b = 0; b < table->ht_size; ++b) {
    HTENTRY* e = table->ht_entries[b];
    while (e != nullptr) {
      HTENTRY* next = e->ht_next;
      free(e->ht_key);
      free(e);
      e = next;
    }
  }
  free(table->ht_entries);
  free(table);
}

HTENTRY* VYR_htadd(HTTABLE* table, const void* key, ITEM data) {
  int b = VYR_hthash(table, key);
  if (b < 0) return nullptr;
  HTENTRY** link = find_link(table, b, key);
  if (*link != nullptr) {
    (*link)->ht_data = data;
    return *link;
  }
  HTENTRY* e = static_cast<HTENTRY*>(ht_calloc(1, sizeof(HTENTRY)));
  if (e == nullptr) return nullptr;
  if (table->ht_keysize == 0) {
    size_t len = strlen(static_cast<const char*>(key)) + 1;
    e->ht_key = ht_calloc(len, 1);
    if (e->ht_key != nullptr) memcpy(e->ht_key, key, len);
  } else {
    e->ht_key = ht_calloc(static_cast<size_t>(table->ht_keysize), 1);
    if (e->ht_key != nullptr) memcpy(e->ht_key, key, static_cast<size_t>(table->ht_keysize));
  }
  if (e->ht_key == nullptr) {
    free(e);
    return nullptr;
  }
  e->ht_data = data;
  link_entry(table, b, e);
  return e;
}

HTENTRY* VYR_htadd_hte(HTTABLE* table, HTENTRY* hte, const void* key, ITEM data) {
  int b = VYR_hthash(table, key);
  if (b < 0 || hte == nullptr) return nullptr;
  hte->ht_key = const_cast<void*>(key);
  hte->ht_data = data;
  link_entry(table, b, hte);
  return hte;
}

HTENTRY* VYR_htlookup(HTTABLE* table, const void* key) {
  int b = VYR_hthash(table, key);
  if (b < 0) return nullptr;
  return *find_link(table, b, key);
}

ITEM VYR_htgetdata(HTTABLE* table, const void* key) {
  HTENTRY* e = VYR_htlookup(table, key);
  return e != nullptr ? e->ht_data : nullptr;
}

HTENTRY* VYR_htdelete_hte(HTTABLE* table, const void* key) {
  int b = VYR_hthash(table, key);
  if (b < 0) return nullptr;
  HTENTRY** link = find_link(table, b, key);
  if (*link == nullptr) return nullptr;
  return unlink_entry(table, b, link);
}

int VYR_htdelete(HTTABLE* table, const void* key) {
  HTENTRY* e = VYR_htdelete_hte(table, key);
  if (e == nullptr) return 0;
  free(e->ht_key);
  free(e);
  return 1;
}

int VYR_htmap(HTTABLE* table, ht_map_func function, void* data) {
  for (int b = 0; b < table->ht_size; ++b) {
    for (HTENTRY* e = table->ht_entries[b]; e != nullptr;) {
      HTENTRY* next = e->ht_next;
      function(e->ht_data, e->ht_key, data);
      e = next;
    }
  }
  return 0;
}

void VYR_htstat(const HTTABLE* table, FILE* fp) {
  const long size = table->ht_size, noe = table->ht_noe, noc = table->ht_noc;
  double full = static_cast<double>(noe * 100 / size);
  double coll = noe > 0 ? static_cast<double>(noc * 100 / noe) : 0.0;
  fprintf(fp, "size=%d, entries=%d, colls=%d, %%full=%f, %%coll=%f\n", table->ht_size, table->ht_noe,
          table->ht_noc, full, coll);
}
