// Fuzzes the parsers of outside text: initialisation files (load, lookups,
// edits and the write-back, whose output must parse again), connection
// strings, and UTF-8 decoding.
#include "odbcconfig/config.h"
#include "odbcconfig/conversions.h"

#include <sql.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string temp_path(const char* what) {
  return "/tmp/odbcconfig_fuzz." + std::to_string(getpid()) + "." + what;
}

void fuzz_file(const uint8_t* data, size_t size) {
  std::string in = temp_path("in.ini");
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  zolandm_config* c = nullptr;
  if (_zolandm_cfg_open(&c, in.c_str(), 0) == 0) {
    char buf[256];
    _zolandm_cfg_list_sections(c, buf, sizeof buf);
    // Lists cut by a small buffer must stay terminated inside it.
    int small = static_cast<int>(size % 16) + 1;
    std::memset(buf, 'x', sizeof buf);
    _zolandm_cfg_list_sections(c, buf, small);
    if (!std::memchr(buf, '\0', static_cast<size_t>(small))) std::abort();
    if (c->numEntries > 0 && _zolandm_cfg_next_section(c) == 0) {
      std::string section = c->section ? c->section : "";
      _zolandm_cfg_list_keys(c, section.c_str(), buf, sizeof buf);
      _zolandm_cfg_find(c, section.c_str(), "Driver");
      _zolandm_cfg_set(c, section.c_str(), "Driver", "/lib/x.so");
      _zolandm_cfg_set(c, section.c_str(), "Port", nullptr);
      _zolandm_cfg_set(c, "new", "k", "v");
      if (size % 3 == 0) _zolandm_cfg_set(c, section.c_str(), nullptr, nullptr);
      _zolandm_cfg_save(c);
      zolandm_config* again = nullptr;
      if (_zolandm_cfg_open(&again, in.c_str(), 0) != 0) std::abort();
      _zolandm_cfg_free(again);
    }
    _zolandm_cfg_free(c);
  }
  unlink(in.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_file(data, size);

  std::string text(reinterpret_cast<const char*>(data), size);
  zolandm_config* c = nullptr;
  if (_zolandm_cfg_new_from_connstr(&c, text.c_str(), SQL_NTS, 0) == 0) {
    char buf[64];
    _zolandm_cfg_section_to_connstr(c, "ODBC", buf, sizeof buf);
    _zolandm_cfg_free(c);
  }

  SQLWCHAR wide[32];
  _zolandm_utf8_to_ucs4_buf(text.c_str(), wide, 32, nullptr);
  std::free(_zolandm_utf8_to_ucs4_dup(text.c_str(), static_cast<SQLSMALLINT>(size % 64)));
  return 0;
}
