// Fuzzes the configuration-file parser and writer: parse, walk, edit, commit
// and parse the written text again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "util/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("cfg", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  PCONFIG p = nullptr;
  if (VYR_Cfg_init(&p, path.c_str()) == 0) {
    VYR_Cfg_rewind(p);
    std::string first_section;
    while (VYR_Cfg_nextentry(p) == 0)
      if ((p->flags & CFG_TYPEMASK) == CFG_SECTION && first_section.empty()) first_section = p->section;
    VYR_Cfg_find(p, "Communications", "SendSize");
    if (!first_section.empty()) {
      VYR_Cfg_write(p, first_section.c_str(), "fuzzkey", "value ; x");
      VYR_Cfg_write(p, first_section.c_str(), nullptr, nullptr);
    }
    VYR_Cfg_write(p, "New", "k", "v");
    if (VYR_Cfg_commit(p) == 0) {
      PCONFIG again = nullptr;
      if (VYR_Cfg_init(&again, path.c_str()) != 0) abort();  // what we wrote must parse
      if (VYR_Cfg_find(again, "New", "k") != 0) abort();
      cfg_merge(again, p);
      VYR_Cfg_done(again);
    }
    VYR_Cfg_refresh(p);
    VYR_Cfg_done(p);
  }
  close(fd);
  return 0;
}
