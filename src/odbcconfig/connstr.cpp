// Connection strings held as a configuration with the one section "ODBC".
#include "odbcconfig/config.h"
#include "odbcconfig/conversions.h"

#include <sql.h>

#include <cstdlib>
#include <cstring>

namespace {

// Splits the image into elements at ';' (a braced stretch runs to the next
// '}' and may hold ';') and appends one key entry per element with '='.
// The first element without '=' names the data source; later ones vanish.
int parse_elements(zolandm_config* config) {
  char* p = config->image;
  if (*p == '\0') return 0;
  bool first = true;
  for (;;) {
    char* element = p;
    while (*p && *p != ';') {
      if (*p == '{') {
        char* close = std::strchr(p, '}');
        p = close ? close + 1 : p + std::strlen(p);
      } else {
        ++p;
      }
    }
    bool last = *p == '\0';
    *p = '\0';
    char* eq = std::strchr(element, '=');
    int rc = 0;
    if (eq) {
      *eq = '\0';
      rc = _zolandm_cfg_append_entry(config, nullptr, element, eq + 1, nullptr, 0);
    } else if (first) {
      rc = _zolandm_cfg_append_entry(config, nullptr, "DSN", element, nullptr, 0);
    }
    if (rc < 0) return -1;
    first = false;
    if (last) return 0;
    ++p;
  }
}

// The narrow text of a connection string: a copy of at most `length` bytes
// (or up to the NUL), or the UTF-8 form of a wide text. Null when there is
// no text or it cannot be had.
char* connstr_text(const void* text, int64_t length, int wide) {
  if (!text) return nullptr;
  if (wide) return _zolandm_ucs4_to_utf8_dup(static_cast<const SQLWCHAR*>(text), length);
  const char* narrow = static_cast<const char*>(text);
  size_t n =
      length == SQL_NTS || length < 0 ? std::strlen(narrow) : strnlen(narrow, static_cast<size_t>(length));
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, narrow, n);
  copy[n] = '\0';
  return copy;
}

int reparse(zolandm_config* config, const void* text, int64_t length, int wide) {
  char* narrow = connstr_text(text, length, wide);
  if (!narrow) {
    // Nothing to parse: an empty configuration that is not loaded.
    _zolandm_cfg_clear(config);
    return text && !wide ? -1 : 0;
  }
  int rc = _zolandm_cfg_parse_connstr(config, narrow);
  std::free(narrow);
  return rc;
}

}  // namespace

extern "C" {

int _zolandm_cfg_parse_connstr(zolandm_config* config, const char* text) {
  if (!config) return -1;
  _zolandm_cfg_clear(config);
  if (!text) return 0;
  config->image = strdup(text);
  if (!config->image || _zolandm_cfg_append_entry(config, "ODBC", nullptr, nullptr, nullptr, 0) < 0 ||
      parse_elements(config) < 0) {
    _zolandm_cfg_clear(config);
    return -1;
  }
  config->size = static_cast<int64_t>(std::strlen(text));
  config->flags = ZOLANDM_CFG_LOADED;
  config->dirty = 1;
  return 0;
}

int _zolandm_cfg_new_from_connstr(zolandm_config** out, const void* text, int64_t length, int wide) {
  if (!out) return -1;
  *out = nullptr;
  auto config = static_cast<zolandm_config*>(std::calloc(1, sizeof(zolandm_config)));
  if (!config) return -1;
  if (reparse(config, text, length, wide) < 0) {
    _zolandm_cfg_free(config);
    return -1;
  }
  *out = config;
  return 0;
}

int _zolandm_cfg_reparse_connstr(zolandm_config* config, const void* text, int64_t length, int wide) {
  if (!config) return -1;
  return reparse(config, text, length, wide);
}

int _zolandm_cfg_section_to_connstr(zolandm_config* config, const char* section, char* buffer, int size) {
  if (!buffer) return -1;
  size_t room = size > 0 ? static_cast<size_t>(size) : 0;
  if (room) buffer[0] = '\0';
  if (!config || !(config->flags & ZOLANDM_CFG_LOADED)) return -1;
  if (_zolandm_cfg_find(config, section, nullptr) < 0) return 0;
  while (_zolandm_cfg_next_entry(config) == 0) {
    unsigned kind = config->flags & ZOLANDM_CFG_KIND_MASK;
    if (kind == ZOLANDM_CFG_KIND_SECTION) break;
    if (kind != ZOLANDM_CFG_KIND_KEY) continue;
    const char* pieces[4] = {";", config->id, "=", config->value};
    for (int i = room && buffer[0] ? 0 : 1; i < 4; ++i)
      if (_zolandm_append_bounded(buffer, pieces[i], room) >= room) return -1;
  }
  return 0;
}

}  // extern "C"
