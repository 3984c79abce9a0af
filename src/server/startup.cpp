// The agent's start-up up to the service loop, and its orderly exit (startup.h).
#include "server/startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/agent_options.h"
#include "util/alloc.h"
#include "util/globals.h"
#include "util/log.h"
#include "util/options.h"

namespace {

// Opens a log file for appending. It is opened without waiting (a FIFO planted
// at its path must not stop the start-up) and used only when the descriptor
// names a regular file. The default file lives in a directory anyone can
// write: there a link is never followed, a new file is private, and an
// existing one is used only when it is the agent's own and nobody else may
// write it. Null when the file is not to be used.
FILE* open_log_file(const char* path, bool in_shared_dir) {
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | (in_shared_dir ? O_NOFOLLOW : 0);
  int fd = open(path, flags, in_shared_dir ? 0600 : 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (usable && in_shared_dir) usable = st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  if (usable) usable = fcntl(fd, F_SETFL, O_WRONLY | O_APPEND) == 0;
  FILE* fp = usable ? fdopen(fd, "a") : nullptr;
  if (fp == nullptr) close(fd);
  return fp;
}

}  // namespace

void start_log(void) {
  if (f_loglevel >= 0) {
    FILE* fp;
    if (f_logfile == nullptr) {
      const char* name = program_info.program_name != nullptr ? program_info.program_name : "";
      std::string path =
          std::string("/tmp/") + name + "." + std::to_string(static_cast<unsigned>(getpid())) + ".log";
      f_logfile = s_strdup(path.c_str());
      fp = open_log_file(f_logfile, true);
    } else {
      fp = open_log_file(f_logfile, false);
    }
    if (fp == nullptr) {
      logit(LOG_ERR, nullptr, 0, "log file %s not used: logging to standard error", f_logfile);
    } else {
      setvbuf(fp, nullptr, _IONBF, 0);
      if (log_open_fp(fp, f_loglevel, -1, LOG_STYLE_DATE | LOG_STYLE_TIME) == nullptr) fclose(fp);
    }
  }
  if (f_debug) log_open_fp2(stderr, LOG_DEBUG, -1, LOG_STYLE_PROGNAME);
}

void agent_startup(int* argc, char*** argv) {
  agent_register_program();
  f_loglevel = -1;
  initialize_locale(AGENT_TEXT_DOMAIN);
  initialize_program(argc, argv);

  const char* config = getenv("VYRCONFIG");
  if (config != nullptr) gv_init(config);
  if (vsa_init() == -1) {
    logit(LOG_ERR, __FILE__, __LINE__, "vasinit failed");
    exit(1);
  }

  start_log();

  if (f_internal == nullptr) usage();
}
