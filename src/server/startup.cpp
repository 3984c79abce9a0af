#include "server/startup.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "server/agent_options.h"
#include "util/alloc.h"
#include "util/globals.h"
#include "util/log.h"
#include "util/options.h"

namespace {

// The default log file lives in a directory anyone can write: never follow a
// link planted there, and keep the file private.
FILE *open_private_log(const char *path) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  FILE *fp = fdopen(fd, "a");
  if (fp == nullptr) close(fd);
  return fp;
}

}  // namespace

void start_log(void) {
  if (f_loglevel >= 0) {
    FILE *fp;
    if (f_logfile == nullptr) {
      const char *name = program_info.program_name != nullptr ? program_info.program_name : "";
      std::string path =
          std::string("/tmp/") + name + "." + std::to_string(static_cast<unsigned>(getpid())) + ".log";
      f_logfile = s_strdup(path.c_str());
      fp = open_private_log(f_logfile);
    } else {
      fp = fopen(f_logfile, "a");
    }
    if (fp != nullptr) {
      setvbuf(fp, nullptr, _IONBF, 0);
      if (log_open_fp(fp, f_loglevel, -1, LOG_STYLE_DATE | LOG_STYLE_TIME) == nullptr) fclose(fp);
    }
  }
  if (f_debug) log_open_fp2(stderr, LOG_DEBUG, -1, LOG_STYLE_PROGNAME);
}

void agent_startup(int *argc, char ***argv) {
  agent_register_program();
  f_loglevel = -1;
  initialize_locale(AGENT_TEXT_DOMAIN);
  initialize_program(argc, argv);

  const char *config = getenv("VYRCONFIG");
  if (config != nullptr) gv_init(config);
  if (vsa_init() == -1) {
    logit(LOG_ERR, __FILE__, __LINE__, "vasinit failed");
    exit(1);
  }

  start_log();

  if (f_internal == nullptr) usage();
}
