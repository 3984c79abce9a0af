// Parsed initialisation files kept between reads, and lookup sequences.
//
// Every read of a key used to open, read and parse its file anew: a connect
// (the manager's own keys, then the driver's) read odbc.ini and odbcinst.ini
// dozens of times. Reads now share one parsed copy per path. Outside a lookup
// sequence each read still asks for the file's status and reloads a file
// that changed (size, modification time to the nanosecond, inode); within a
// sequence a file whose status was checked in the same sequence is used as it
// is, and the location of odbc.ini and odbcinst.ini is looked up once. A save
// through this store drops the saved path's copy, so the process always reads
// its own writes.
//
// File times are coarse (the kernel's clock tick, whole seconds on some file
// systems): a file rewritten with the same size right after it was read can
// keep its status. A copy read less than kRacy after the file's modification
// time therefore proves nothing and is read again at its next check, until a
// read comes late enough.
#include "odbcconfig/config_internal.h"
#include "odbcconfig/installer.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CachedFile {
  std::string path;
  zolandm_config* config;
  uint64_t checkedIn;  // the sequence in which the status was last checked (0: none)
  uint64_t lastUse;    // for eviction
  timespec readAt;     // when the text was read
};

constexpr time_t kRacy = 2;  // seconds

timespec now() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return t;
}

// True when the copy was read too soon after the file's last modification to
// tell a later same-size rewrite from no change.
bool racy(const CachedFile& f) {
  const zolandm_config* c = f.config;
  time_t sec = c->mtime + kRacy;
  return sec > f.readAt.tv_sec || (sec == f.readAt.tv_sec && c->mtimeNsec >= f.readAt.tv_nsec);
}

// A handful of paths: the two scopes' odbc.ini and odbcinst.ini and the file
// data sources in use. The least recently used copy goes beyond that.
constexpr size_t kMaxFiles = 16;

// The copies; freed at exit, so that nothing they hold looks lost.
struct Files : std::vector<CachedFile> {
  ~Files() {
    for (CachedFile& f : *this) _zolandm_cfg_free(f.config);
  }
};

std::mutex gMutex;
Files gFiles;
uint64_t gUses = 0;
std::atomic<uint64_t> gSequences{0};

// The calling thread's open sequence (0: none) and its nesting depth.
thread_local uint64_t tSequence = 0;
thread_local int tDepth = 0;

// Where odbc.ini and odbcinst.ini were found in the sequence, per scope.
struct Located {
  uint64_t sequence = 0;
  bool found = false;
  char path[1024];
};
thread_local Located tLocated[2][2];  // [scope][which]

void drop(size_t i) {
  _zolandm_cfg_free(gFiles[i].config);
  gFiles.erase(gFiles.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace

namespace odbcconfig {

CachedIni::CachedIni(const char* path) : lock_(gMutex) {
  if (!path) return;
  ++gUses;
  for (size_t i = 0; i < gFiles.size(); ++i) {
    CachedFile& f = gFiles[i];
    if (f.path != path) continue;
    if (tSequence == 0 || f.checkedIn != tSequence) {
      if (racy(f)) _zolandm_cfg_clear(f.config);  // read it again, whatever its status
      timespec before = now();
      int loaded = _zolandm_cfg_load(f.config);
      if (loaded < 0) {  // gone or unreadable now
        drop(i);
        return;
      }
      if (loaded == 1) f.readAt = before;
      f.checkedIn = tSequence;
    }
    f.lastUse = gUses;
    config_ = f.config;
    return;
  }
  zolandm_config* config = nullptr;
  timespec before = now();
  if (_zolandm_cfg_open(&config, path, 0) < 0) return;
  try {
    if (gFiles.size() >= kMaxFiles) {
      size_t oldest = 0;
      for (size_t i = 1; i < gFiles.size(); ++i)
        if (gFiles[i].lastUse < gFiles[oldest].lastUse) oldest = i;
      drop(oldest);
    }
    gFiles.push_back(CachedFile{path, config, tSequence, gUses, before});
  } catch (const std::bad_alloc&) {
    // Not kept: this read uses it, the caller frees nothing, so free it here
    // once the read is done.
    owned_ = config;
  }
  config_ = config;
}

CachedIni::~CachedIni() { _zolandm_cfg_free(owned_); }

void forget_cached_file(const char* path) {
  if (!path) return;
  std::lock_guard<std::mutex> lock(gMutex);
  for (size_t i = 0; i < gFiles.size(); ++i)
    if (gFiles[i].path == path) {
      drop(i);
      return;
    }
}

const char* locate_for_read(int which, char* buffer, size_t size) {
  int scope = _zolandm_config_scope ? 1 : 0;
  Located& memo = tLocated[scope][which == ZOLANDM_ODBCINST_INI ? 1 : 0];
  if (tSequence != 0 && memo.sequence == tSequence) {
    if (!memo.found || std::strlen(memo.path) >= size) return nullptr;
    std::memcpy(buffer, memo.path, std::strlen(memo.path) + 1);
    return buffer;
  }
  const char* path = _zolandm_locate_ini_file(buffer, size, which, 0);
  if (tSequence != 0) {
    memo.sequence = tSequence;
    memo.found = path && std::strlen(path) < sizeof memo.path;
    if (memo.found) std::memcpy(memo.path, path, std::strlen(path) + 1);
  }
  return path;
}

}  // namespace odbcconfig

extern "C" {

void _zolandm_lookup_sequence_begin(void) {
  if (tDepth++ == 0) tSequence = ++gSequences;
}

void _zolandm_lookup_sequence_end(void) {
  if (tDepth > 0 && --tDepth == 0) tSequence = 0;
}

}  // extern "C"
