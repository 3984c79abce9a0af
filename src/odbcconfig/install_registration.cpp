// Registration of a driver or translator in odbcinst.ini, and of the data
// sources its setup asks for in odbc.ini. The caller opens the two
// configurations and saves them; nothing here touches a file but the setup
// file that is read.
#include "odbcconfig/config.h"
#include "odbcconfig/installer.h"

#include <cstring>
#include <string>
#include <strings.h>

namespace {

bool set(zolandm_config* config, const char* section, const char* key, const char* value) {
  return _zolandm_cfg_set(config, section, key, value) == 0;
}

// The second field of a comma-separated value ("a,b,c" gives "b").
std::string second_field(const char* value) {
  const char* first = std::strchr(value, ',');
  if (!first) return "";
  const char* end = std::strchr(first + 1, ',');
  return end ? std::string(first + 1, end) : std::string(first + 1);
}

// The value of `key` in `section` of the setup file, or null.
const char* setup_value(zolandm_config* setup, const char* section, const char* key) {
  return _zolandm_cfg_find(setup, section, key) == 0 ? setup->value : nullptr;
}

struct Closer {
  zolandm_config* config;
  ~Closer() { _zolandm_cfg_free(config); }
};

}  // namespace

extern "C" {

BOOL _zolandm_install_create_dsns(zolandm_config* odbcini, zolandm_config* odbcinst, const char* library,
                                  const char* dsn_list, const char* driver_name) {
  (void)odbcinst;  // a driver section of the same name is not copied
  if (!odbcini || !library || !dsn_list || !driver_name) return FALSE;
  std::string list = dsn_list;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(start, comma - start);
    start = comma + 1;
    if (name.empty()) continue;
    if (!set(odbcini, "ODBC Data Sources", name.c_str(), driver_name)) return FALSE;
    if (!_zolandm_dsn_chars_ok(name.c_str())) return FALSE;
    if (!set(odbcini, name.c_str(), nullptr, nullptr)) return FALSE;
    if (!set(odbcini, name.c_str(), "Driver", library)) return FALSE;
  }
  return TRUE;
}

BOOL _zolandm_install_from_keyvalues(zolandm_config* odbcinst, zolandm_config* odbcini, const char* name,
                                     int driver) {
  if (!odbcinst || !name || !*name) return FALSE;
  const char* list_section = driver ? "ODBC Drivers" : "ODBC Translators";
  const char* library_key = driver ? "Driver" : "Translator";
  if (!set(odbcinst, name, nullptr, nullptr) || !set(odbcinst, list_section, name, "Installed")) return FALSE;
  std::string library;
  bool have_library = false;
  for (const char* item = name + std::strlen(name) + 1; *item; item += std::strlen(item) + 1) {
    const char* eq = std::strchr(item, '=');
    if (!eq) return FALSE;
    std::string key(item, eq);
    const char* value = eq + 1;
    if (strcasecmp(key.c_str(), library_key) == 0) {
      library = value;
      have_library = true;
    }
    if (driver && strcasecmp(key.c_str(), "CreateDSN") == 0) {
      if (!have_library || !_zolandm_install_create_dsns(odbcini, odbcinst, library.c_str(), value, name))
        return FALSE;
      continue;
    }
    if (!set(odbcinst, name, key.c_str(), value)) return FALSE;
  }
  return have_library ? TRUE : FALSE;
}

BOOL _zolandm_install_from_setup_file(zolandm_config* odbcinst, zolandm_config* odbcini,
                                      const char* setup_file, const char* name, int driver) {
  if (!odbcinst || !setup_file || !name || !*name) return FALSE;
  const char* list_section = driver ? "ODBC Drivers" : "ODBC Translators";
  const char* library_key = driver ? "Driver" : "Translator";
  if (!set(odbcinst, name, nullptr, nullptr)) return FALSE;
  zolandm_config* setup = nullptr;
  if (_zolandm_cfg_open(&setup, setup_file, 0) < 0) return FALSE;
  Closer closer{setup};

  if (_zolandm_cfg_find(setup, list_section, name) < 0) return FALSE;
  const char* library_value = setup_value(setup, name, library_key);
  if (!library_value) return FALSE;
  std::string library = second_field(library_value);
  if (library.empty()) return FALSE;
  if (!set(odbcinst, list_section, name, "Installed") || !set(odbcinst, name, library_key, library.c_str()))
    return FALSE;
  if (const char* setup_lib = setup_value(setup, name, "Setup")) {
    std::string field = second_field(setup_lib);
    if (field.empty() || !set(odbcinst, name, "Setup", field.c_str())) return FALSE;
  }

  // Keys in double quotes carry their value in the second field.
  std::string quoted_library = std::string("\"") + library_key + "\"";
  if (_zolandm_cfg_find(setup, name, nullptr) < 0) return FALSE;
  while (_zolandm_cfg_next_entry(setup) == 0) {
    unsigned kind = setup->flags & ZOLANDM_CFG_KIND_MASK;
    if (kind != ZOLANDM_CFG_KIND_KEY) break;  // next header or a value-only line
    std::string key = setup->id;
    if (key.size() < 2 || key.front() != '"' || key.back() != '"') continue;
    if (strcasecmp(key.c_str(), quoted_library.c_str()) == 0 || strcasecmp(key.c_str(), "\"Setup\"") == 0)
      continue;
    std::string plain = key.substr(1, key.size() - 2);
    if (!set(odbcinst, name, plain.c_str(), second_field(setup->value).c_str())) return FALSE;
  }

  if (driver) {
    std::string keys_section = std::string(name) + "-Keys";
    if (_zolandm_cfg_find(setup, keys_section.c_str(), nullptr) == 0) {
      while (_zolandm_cfg_next_entry(setup) == 0) {
        unsigned kind = setup->flags & ZOLANDM_CFG_KIND_MASK;
        if (kind == ZOLANDM_CFG_KIND_SECTION) break;
        if (kind != ZOLANDM_CFG_KIND_KEY) continue;
        if (strcasecmp(setup->id, "CreateDSN") == 0) {
          if (!_zolandm_install_create_dsns(odbcini, odbcinst, library.c_str(), setup->value, name))
            return FALSE;
          continue;
        }
        if (!set(odbcinst, name, setup->id, setup->value)) return FALSE;
      }
    }
  }
  return TRUE;
}

}  // extern "C"
