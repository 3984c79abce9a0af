// Writing a configuration back to its file, in a fixed layout.
//
// The new text is built in memory, written to a temporary file next to the
// original (same permission bits), flushed and renamed over it, so that a
// failed write never leaves a cut file behind. Only when the directory does
// not take new files, or the file is not a regular file (/dev/null, a FIFO),
// is it rewritten in place, with every write and the close checked.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace odbcconfig;

namespace {

void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void append_format(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(&out[at], static_cast<size_t>(n) + 1, format, again);
    out.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

// Width of the longest key between the header at `header` and the next one.
int key_width(const zolandm_config* config, uint32_t header) {
  size_t width = 0;
  uint32_t end = next_header(config, header);
  for (uint32_t i = header + 1; i < end; ++i) {
    const zolandm_cfg_entry& e = config->entries[i];
    if (e.id) width = std::max(width, std::strlen(e.id));
  }
  return width > INT_MAX ? INT_MAX : static_cast<int>(width);
}

void append_comment(std::string& out, const char* comment) {
  if (comment) {
    out += "\t;";
    out += comment;
  }
}

std::string render(const zolandm_config* config) {
  std::string out;
  bool header_written = false;
  bool blank_since = false;  // an empty line was written since the last header
  int width = 0;
  for (uint32_t i = 0; i < config->numEntries; ++i) {
    const zolandm_cfg_entry& e = config->entries[i];
    if (e.section) {
      if (header_written && !blank_since) out += '\n';
      out += '[';
      out += e.section;
      out += ']';
      append_comment(out, e.comment);
      out += '\n';
      header_written = true;
      blank_since = false;
      width = key_width(config, i);
    } else if (e.id && e.value) {
      if (width)
        append_format(out, "%-*.*s = %s", width, width, e.id, e.value);
      else
        append_format(out, "%s = %s", e.id, e.value);
      append_comment(out, e.comment);
      out += '\n';
    } else if (e.value) {
      out += "  ";
      out += e.value;
      append_comment(out, e.comment);
      out += '\n';
    } else if (e.comment) {
      // The empty line due before a header goes above the comments that
      // belong to it.
      if (header_written && !blank_since && is_attached_comment(e)) {
        uint32_t j = i + 1;
        while (j < config->numEntries && is_comment_only(config->entries[j])) ++j;
        if (j < config->numEntries && is_header(config->entries[j])) {
          out += '\n';
          blank_since = true;
        }
      }
      out += ';';
      out += e.comment;
      out += '\n';
    } else {
      out += '\n';
      blank_since = true;
    }
  }
  return out;
}

bool write_fd(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int write_in_place(const char* path, const char* data, size_t size) {
  FILE* f = std::fopen(path, "w");
  if (!f) return -1;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fflush(f) == 0 && ok;
  ok = !std::ferror(f) && ok;
  ok = std::fclose(f) == 0 && ok;
  return ok ? 0 : -1;
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

namespace odbcconfig {

int write_file_atomically(const char* path, const char* data, size_t size) {
  // Write through a symbolic link to the file it names.
  std::string target = path;
  if (char* real = realpath(path, nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return write_in_place(path, data, size);
  // A file we may not write stays as it is, though its directory would let
  // us replace it.
  if (exists && access(target.c_str(), W_OK) != 0) return -1;
  std::string dir = directory_of(target);
  if (access(dir.c_str(), W_OK | X_OK) != 0) return write_in_place(path, data, size);

  std::string temp = target + ".XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return -1;
  bool ok = fchmod(fd, exists ? (st.st_mode & 07777) : 0644) == 0;
  if (ok && exists && (st.st_uid != geteuid() || st.st_gid != getegid())) {
    // Keep the owner when we may (root editing a user's file); else leave it.
    int owned = fchown(fd, st.st_uid, st.st_gid);
    (void)owned;
  }
  ok = ok && write_fd(fd, data, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return -1;
  }
  return 0;
}

}  // namespace odbcconfig

extern "C" {

int _zolandm_cfg_save(zolandm_config* config) {
  if (!config || !(config->flags & ZOLANDM_CFG_LOADED)) return -1;
  if (!config->dirty) return 0;
  if (!config->fileName) return -1;
  std::string text = render(config);
  // The shared copy goes whether or not the write succeeded: the file may be
  // half way to either text.
  odbcconfig::forget_cached_file(config->fileName);
  if (write_file_atomically(config->fileName, text.data(), text.size()) < 0) return -1;
  config->dirty = 0;
  return 0;
}

}  // extern "C"
