// Where the user's and the system's odbc.ini and odbcinst.ini lie.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"
#include "odbcconfig/installer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

// Copies a path into the buffer; a path that does not fit is not taken,
// since a cut path names some other file.
bool put_path(char* buffer, size_t size, const char* path) {
  size_t len = std::strlen(path);
  if (len >= size) return false;
  std::memcpy(buffer, path, len + 1);
  return true;
}

// A path from the environment: taken when readable, or, with `create`, when
// it can be created.
bool from_environment(const char* variable, char* buffer, size_t size, int create) {
  const char* path = std::getenv(variable);
  if (!path) return false;
  if (access(path, R_OK) != 0) {
    if (!create) return false;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    close(fd);
  }
  return put_path(buffer, size, path);
}

bool home_directory(std::string& home) {
  const char* env = std::getenv("HOME");
  if (env && *env) {
    home = env;
    return true;
  }
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 16384);
  struct passwd pw, *found = nullptr;
  if (getpwuid_r(getuid(), &pw, scratch.data(), scratch.size(), &found) != 0 || !found || !found->pw_dir)
    return false;
  home = found->pw_dir;
  return true;
}

}  // namespace

extern "C" {

char* _zolandm_locate_ini_file(char* buffer, size_t size, int which, int create) {
  if (!buffer) return nullptr;
  bool inst = which == ZOLANDM_ODBCINST_INI;
  if (size < (inst ? 14u : 10u)) return nullptr;

  if (_zolandm_config_scope == 0) {
    if (from_environment(inst ? "ODBCINSTINI" : "ODBCINI", buffer, size, create)) return buffer;
    std::string home;
    if (home_directory(home)) {
      std::string path = home + (inst ? "/.odbcinst.ini" : "/.odbc.ini");
      if ((create || access(path.c_str(), R_OK) == 0) && put_path(buffer, size, path.c_str())) return buffer;
    }
    if (!inst) return nullptr;
  }
  if (from_environment(inst ? "SYSODBCINSTINI" : "SYSODBCINI", buffer, size, create)) return buffer;
  return put_path(buffer, size, inst ? "/etc/odbcinst.ini" : "/etc/odbc.ini") ? buffer : nullptr;
}

}  // extern "C"

extern "C" int _zolandm_ini_open_errno(void) {
  odbcconfig::InstallerGuard guard;
  unsigned short scope = _zolandm_config_scope;
  int found = 0;
  for (unsigned short s : {0, 1}) {
    for (int which : {ZOLANDM_ODBC_INI, ZOLANDM_ODBCINST_INI}) {
      _zolandm_config_scope = s;
      char path[1024];
      if (found != 0 || !_zolandm_locate_ini_file(path, sizeof path, which, 0)) continue;
      int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0)
        close(fd);
      else if (errno != ENOENT && errno != ENOTDIR)
        found = errno;
    }
  }
  _zolandm_config_scope = scope;
  return found;
}
