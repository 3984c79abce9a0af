// Program start-up: locale, response files, option table parsing, usage text.
#include "util/options.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libintl.h>
#include <string>

#include "util/alloc.h"
#include "util/getopt.h"
#include "util/log.h"

void initialize_locale(const char* domain) {
  setlocale(LC_CTYPE, "");
  setlocale(LC_MESSAGES, "");
  const char* dir = getenv("VYR_LOCALEDIR");
  bindtextdomain(domain, dir != nullptr ? dir : ".");
  textdomain(domain);
}

namespace {

// An argument vector that grows by 20 entries and keeps a null after the last.
struct ArgVector {
  char** v = nullptr;
  int count = 0;
  int room = 0;

  void push(char* arg) {
    if (count + 1 >= room) {
      room += 20;
      v = static_cast<char**>(s_realloc(v, static_cast<size_t>(room) * sizeof(char*)));
    }
    v[count++] = arg;
    v[count] = nullptr;
  }
};

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n'; }

// Appends the words of a response file; blanks, tabs and newlines separate
// words, a word may be quoted with ' or " (up to the same quote, a newline
// or the end of the file).
[[noreturn]] void unreadable_response_file(const char* name) {
  logit(LOG_ERR, __FILE__, __LINE__, "unable to open response file %s", name);
  terminate(1);
  abort();
}

void read_response_file(const char* name, ArgVector& out) {
  FILE* fp = fopen(name, "r");
  if (fp == nullptr) unreadable_response_file(name);
  int c = getc(fp);
  for (;;) {
    while (c != EOF && is_blank(c)) c = getc(fp);
    if (c == EOF) break;
    std::string word;
    if (c == '\'' || c == '"') {
      const int quote = c;
      while ((c = getc(fp)) != EOF && c != quote && c != '\n') word += static_cast<char>(c);
      if (c != EOF) c = getc(fp);  // the closing quote or newline is not part of the word
    } else {
      do {
        word += static_cast<char>(c);
        c = getc(fp);
      } while (c != EOF && !is_blank(c));
    }
    out.push(s_strdup(word.c_str()));
  }
  // A file that opens but cannot be read (a directory, an I/O error) must not
  // pass for a short list of options.
  if (ferror(fp)) unreadable_response_file(name);
  fclose(fp);
}

}  // namespace

void expand_argv(int* argc, char*** argv, int how) {
  ArgVector out;
  out.room = *argc + 20;
  out.v = static_cast<char**>(s_alloc(static_cast<size_t>(out.room), sizeof(char*)));
  for (int i = 0; i < *argc; ++i) {
    const char* arg = (*argv)[i];
    if ((how & PGM_RESPONSE_FILE) && i == *argc - 1 && i > 0 && arg[0] == '@')
      read_response_file(arg + 1, out);
    else
      out.push(s_strdup(arg));
  }
  *argc = out.count;
  *argv = out.v;
}

namespace {

bool shown(const pgm_option* row) { return row->help != nullptr && strcmp(row->long_opt, "internal") != 0; }

}  // namespace

void default_usage(void) {
  const char* name = program_info.program_name != nullptr ? program_info.program_name : "";
  const char* version = program_info.program_version != nullptr ? program_info.program_version : "";
  const pgm_option* rows = program_info.program_options;
  const size_t indent = strlen(name) + 2;

  fprintf(stderr, gettext("%s\nUsage:\n  %s"), version, name);
  size_t count = strlen(name) + 1;

  std::string letters;
  for (const pgm_option* r = rows; r != nullptr && r->long_opt != nullptr; ++r)
    if (r->short_opt != 0) letters += r->short_opt;
  if (!letters.empty()) {
    std::string bracket = "[-" + letters + "]";
    fprintf(stderr, " %s", bracket.c_str());
    count += bracket.size() + 1;
  }

  // Breaks the line before an item that would pass column 78; `measured` is
  // the length the test counts (the extra text's leading blank is not counted).
  auto place = [&](const std::string& item, size_t measured) {
    if (count + measured + 1 > 78) {
      fprintf(stderr, "\n%*s", static_cast<int>(indent), "");
      count = indent;
    }
    fputs(item.c_str(), stderr);
    count += item.size();
  };

  size_t longest = 0;
  for (const pgm_option* r = rows; r != nullptr && r->long_opt != nullptr; ++r) {
    if (!shown(r)) continue;
    std::string item = std::string(" [+") + r->long_opt;
    if (r->arg_type == OPT_INT || r->arg_type == OPT_NUM)
      item += " num";
    else if (r->arg_type != OPT_FLAG)
      item += " arg";
    item += "]";
    place(item, item.size());
    longest = std::max(longest, strlen(r->long_opt));
  }
  if (program_info.extra_usage != nullptr && *program_info.extra_usage != '\0')
    place(std::string(" ") + program_info.extra_usage, strlen(program_info.extra_usage));
  fputc('\n', stderr);

  for (const pgm_option* r = rows; r != nullptr && r->long_opt != nullptr; ++r) {
    if (!shown(r)) continue;
    fprintf(stderr, "  +%-*s %s\n", static_cast<int>(longest + 2), r->long_opt,
            r->help[0] != '\0' ? gettext(r->help) : "");
  }
}

void usage(void) {
  default_usage();
  exit(1);
}

namespace {

// strtol in base 10; a number beyond int is held at the nearest int.
int to_int(const char* text) {
  if (text == nullptr) return 0;
  long v = strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

void initialize_program(int* argc, char*** argv) {
  if (program_info.flags & (PGM_EXPAND_ARGV | PGM_RESPONSE_FILE)) expand_argv(argc, argv, program_info.flags);

  if (program_info.program_name == nullptr) {
    const char* path = *argc > 0 && (*argv)[0] != nullptr ? (*argv)[0] : "";
    const char* slash = strrchr(path, '/');
    program_info.program_name = const_cast<char*>(slash != nullptr ? slash + 1 : path);
  }

  pgm_option* rows = program_info.program_options;
  size_t n = 0;
  while (rows != nullptr && rows[n].long_opt != nullptr) ++n;
  static int which_row;
  option* longopts = static_cast<option*>(s_alloc(n + 1, sizeof(option)));
  for (size_t i = 0; i < n; ++i) {
    longopts[i].name = rows[i].long_opt;
    longopts[i].has_arg = rows[i].arg_type != OPT_FLAG ? 1 : 0;
    longopts[i].flag = &which_row;
    longopts[i].val = static_cast<int>(i);
  }

  std::string shortopts;
  const int order = program_info.flags & PGM_ORDER_MASK;
  if (order == PGM_REQUIRE_ORDER) shortopts += '+';
  if (order == PGM_RETURN_IN_ORDER) shortopts += '-';
  for (size_t i = 0; i < n; ++i) {
    if (rows[i].short_opt == 0) continue;
    shortopts += rows[i].short_opt;
    if (rows[i].arg_type != OPT_FLAG) shortopts += ':';
  }

  VYR_opterr = 0;
  VYR_optind = 0;
  for (;;) {
    int index = 0;
    int c = VYR_getopt_long(*argc, const_cast<const char**>(*argv), shortopts.c_str(), longopts, &index);
    if (c == -1) break;
    pgm_option* row = nullptr;
    if (c == '?' || c == ':') {
      free(longopts);
      usage();
    } else if (c == 0) {
      row = &rows[which_row];
    } else {
      for (size_t i = 0; i < n && row == nullptr; ++i)
        if (static_cast<unsigned char>(rows[i].short_opt) == c) row = &rows[i];
      if (row == nullptr) {
        free(longopts);
        usage();
      }
    }
    if (row->arg_ptr == nullptr) continue;
    switch (row->arg_type) {
      case OPT_FLAG:
        *static_cast<int*>(row->arg_ptr) = 1;
        break;
      case OPT_STRING:
        *static_cast<char**>(row->arg_ptr) = VYR_optarg;
        break;
      case OPT_INT:
      case OPT_NUM:
        *static_cast<int*>(row->arg_ptr) = to_int(VYR_optarg);
        break;
      case OPT_FUNC:
        reinterpret_cast<pgm_opt_func>(row->arg_ptr)(row);
        break;
      default:
        break;
    }
  }
  free(longopts);
}
