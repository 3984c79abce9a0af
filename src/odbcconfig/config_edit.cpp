// Walking, looking up, editing and listing the entries of a configuration.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace odbcconfig;

namespace {

bool loaded(const zolandm_config* config) { return config && (config->flags & ZOLANDM_CFG_LOADED); }

// Index of the key entry `key` (compared without regard to case, quotes not
// stripped) between the header at `header` and the next header.
uint32_t find_key_in_section(const zolandm_config* config, uint32_t header, const char* key) {
  uint32_t end = next_header(config, header);
  for (uint32_t i = header + 1; i < end; ++i) {
    const zolandm_cfg_entry& e = config->entries[i];
    if (e.id && e.value && strcasecmp(e.id, key) == 0) return i;
  }
  return config->numEntries;
}

int set_key(zolandm_config* config, uint32_t header, const char* key, const char* value) {
  uint32_t at = find_key_in_section(config, header, key);
  if (at < config->numEntries) {
    zolandm_cfg_entry& e = config->entries[at];
    config->dirty = 1;
    // Copy first: a failed copy leaves the old value in place.
    char* copy = strdup(value);
    if (!copy) return -1;
    if (config->value == e.value) config->value = copy;
    if (e.flags & ZOLANDM_CFG_OWN_VALUE) std::free(e.value);
    e.value = copy;
    e.flags |= ZOLANDM_CFG_OWN_VALUE;
    return 0;
  }
  zolandm_cfg_entry e{};
  e.id = strdup(key);
  e.value = strdup(value);
  e.flags = ZOLANDM_CFG_OWN_ID | ZOLANDM_CFG_OWN_VALUE;
  if (!e.id || !e.value || !reserve_entries(config, 1)) {
    free_entry(e);
    return -1;
  }
  insert_entry(config, next_header(config, header), e);
  config->dirty = 1;
  return 0;
}

int delete_key(zolandm_config* config, uint32_t header, const char* key) {
  uint32_t at = find_key_in_section(config, header, key);
  if (at >= config->numEntries) return 0;
  remove_entries(config, attached_comments_start(config, at), at + 1);
  config->dirty = 1;
  return 0;
}

int delete_section(zolandm_config* config, uint32_t header) {
  uint32_t first = attached_comments_start(config, header);
  uint32_t next = next_header(config, header);
  uint32_t last;
  if (next < config->numEntries) {
    last = attached_comments_start(config, next);
  } else {
    last = config->numEntries;
    while (last > header + 1 && is_attached_comment(config->entries[last - 1])) --last;
  }
  remove_entries(config, first, last);
  config->dirty = 1;
  return 0;
}

int add_section(zolandm_config* config, const char* section, const char* key, const char* value) {
  zolandm_cfg_entry head{}, line{};
  head.section = strdup(section);
  head.flags = ZOLANDM_CFG_OWN_SECTION;
  line.id = strdup(key);
  line.value = strdup(value);
  line.flags = ZOLANDM_CFG_OWN_ID | ZOLANDM_CFG_OWN_VALUE;
  if (!head.section || !line.id || !line.value || !reserve_entries(config, 2)) {
    free_entry(head);
    free_entry(line);
    return -1;
  }
  config->entries[config->numEntries++] = head;
  config->entries[config->numEntries++] = line;
  config->dirty = 1;
  return 0;
}

// Copies `name` and its NUL into the list when it fits with room left for
// the list's closing NUL; false when it does not fit.
bool list_add(char* buffer, int size, int* used, const char* name) {
  size_t len = std::strlen(name);
  if (static_cast<uint64_t>(*used) + len + 2 > static_cast<uint64_t>(size)) return false;
  std::memcpy(buffer + *used, name, len + 1);
  *used += static_cast<int>(len) + 1;
  return true;
}

}  // namespace

extern "C" {

int _zolandm_cfg_rewind(zolandm_config* config) {
  if (!loaded(config)) return -1;
  config->cursor = 0;
  config->flags &= static_cast<unsigned short>(~(ZOLANDM_CFG_EOF | ZOLANDM_CFG_KIND_MASK));
  return 0;
}

int _zolandm_cfg_next_entry(zolandm_config* config) {
  if (!loaded(config)) return -1;
  config->flags &= static_cast<unsigned short>(~ZOLANDM_CFG_KIND_MASK);
  config->id = nullptr;
  config->value = nullptr;
  if (config->flags & ZOLANDM_CFG_EOF) return -1;
  while (config->cursor < config->numEntries) {
    const zolandm_cfg_entry& e = config->entries[config->cursor++];
    if (e.section) {
      config->section = e.section;
      config->flags |= ZOLANDM_CFG_KIND_SECTION;
      return 0;
    }
    if (e.value) {
      config->value = e.value;
      if (e.id) {
        config->id = e.id;
        config->flags |= ZOLANDM_CFG_KIND_KEY;
      } else {
        config->flags |= ZOLANDM_CFG_KIND_VALUE;
      }
      return 0;
    }
  }
  config->flags |= ZOLANDM_CFG_EOF;
  return -1;
}

int _zolandm_cfg_next_section(zolandm_config* config) {
  while (_zolandm_cfg_next_entry(config) == 0)
    if ((config->flags & ZOLANDM_CFG_KIND_MASK) == ZOLANDM_CFG_KIND_SECTION) return 0;
  return -1;
}

int _zolandm_cfg_find(zolandm_config* config, const char* section, const char* id) {
  if (!section || _zolandm_cfg_rewind(config) < 0) return -1;
  for (;;) {
    if (_zolandm_cfg_next_section(config) < 0) return -1;
    if (strcasecmp(config->section, section) == 0) break;
  }
  if (!id) return 0;
  while (_zolandm_cfg_next_entry(config) == 0) {
    unsigned kind = config->flags & ZOLANDM_CFG_KIND_MASK;
    if (kind == ZOLANDM_CFG_KIND_SECTION) return -1;
    if (kind == ZOLANDM_CFG_KIND_KEY && unquoted_key_equals(config->id, id)) return 0;
  }
  return -1;
}

int _zolandm_cfg_set(zolandm_config* config, const char* section, const char* id, const char* value) {
  if (!loaded(config) || !section) return -1;
  uint32_t header = find_header(config, section);
  if (header >= config->numEntries) {
    if (!id || !value) return 0;
    return add_section(config, section, id, value);
  }
  if (!id) return delete_section(config, header);
  if (!value) return delete_key(config, header, id);
  return set_key(config, header, id, value);
}

int _zolandm_cfg_list_sections(zolandm_config* config, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  int used = 0;
  bool cut = false;
  if (_zolandm_cfg_rewind(config) == 0) {
    while (_zolandm_cfg_next_section(config) == 0) {
      if (!list_add(buffer, size, &used, config->section)) {
        cut = true;
        break;
      }
    }
  }
  buffer[used] = '\0';
  return cut ? size : used;
}

int _zolandm_cfg_list_keys(zolandm_config* config, const char* section, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  int used = 0;
  bool cut = false;
  if (_zolandm_cfg_find(config, section, nullptr) == 0) {
    while (_zolandm_cfg_next_entry(config) == 0) {
      unsigned kind = config->flags & ZOLANDM_CFG_KIND_MASK;
      if (kind == ZOLANDM_CFG_KIND_SECTION) break;
      if (kind != ZOLANDM_CFG_KIND_KEY) continue;
      if (!list_add(buffer, size, &used, config->id)) {
        cut = true;
        break;
      }
    }
  }
  buffer[used] = '\0';
  return cut ? size : used;
}

}  // extern "C"
