// Command-line option parser (see getopt.h).
#include "util/getopt.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char* VYR_optarg = nullptr;
int VYR_optind = 0;
int VYR_opterr = 1;
int VYR_optopt = '?';

namespace {

enum Ordering { REQUIRE_ORDER = 0, PERMUTE = 1, RETURN_IN_ORDER = 2 };

const char* nextchar = nullptr;  // position inside a cluster of short options
Ordering ordering = PERMUTE;
int first_nonopt = 1;
int last_nonopt = 1;

// Brings the skipped non-options [first_nonopt, last_nonopt) behind the
// options that followed them [last_nonopt, optind), keeping each group's order.
void exchange(const char** argv) {
  std::rotate(argv + first_nonopt, argv + last_nonopt, argv + VYR_optind);
  first_nonopt += VYR_optind - last_nonopt;
  last_nonopt = VYR_optind;
}

bool is_nonoption(const char* arg, bool longs) {
  return (arg[0] != '-' && !(longs && arg[0] == '+')) || arg[1] == '\0';
}

#define GETOPT_MSG(...)                           \
  do {                                            \
    if (VYR_opterr) fprintf(stderr, __VA_ARGS__); \
  } while (0)

}  // namespace

int VYR__getopt_internal(int argc, const char** argv, const char* optstring, const option* longopts,
                         int* longind, int long_only) {
  VYR_optarg = nullptr;
  const bool longs = longopts != nullptr;

  if (VYR_optind == 0) {
    VYR_optind = 1;
    first_nonopt = last_nonopt = 1;
    nextchar = nullptr;
    if (optstring[0] == '-')
      ordering = RETURN_IN_ORDER;
    else if (optstring[0] == '+' || getenv("POSIXLY_CORRECT") != nullptr)
      ordering = REQUIRE_ORDER;
    else
      ordering = PERMUTE;
  }
  if (optstring[0] == '-' || optstring[0] == '+') ++optstring;

  if (nextchar == nullptr || *nextchar == '\0') {
    if (last_nonopt > VYR_optind) last_nonopt = VYR_optind;
    if (first_nonopt > VYR_optind) first_nonopt = VYR_optind;

    if (ordering == PERMUTE) {
      if (first_nonopt != last_nonopt && last_nonopt != VYR_optind)
        exchange(argv);
      else if (last_nonopt != VYR_optind)
        first_nonopt = VYR_optind;
      while (VYR_optind < argc && is_nonoption(argv[VYR_optind], longs)) ++VYR_optind;
      last_nonopt = VYR_optind;
    }

    if (VYR_optind != argc && strcmp(argv[VYR_optind], "--") == 0) {
      ++VYR_optind;
      if (first_nonopt != last_nonopt && last_nonopt != VYR_optind)
        exchange(argv);
      else if (first_nonopt == last_nonopt)
        first_nonopt = VYR_optind;
      last_nonopt = argc;
      VYR_optind = argc;
    }

    if (VYR_optind >= argc) {
      if (first_nonopt != last_nonopt) VYR_optind = first_nonopt;
      return -1;
    }

    if (is_nonoption(argv[VYR_optind], longs)) {
      if (ordering == REQUIRE_ORDER) return -1;
      VYR_optarg = const_cast<char*>(argv[VYR_optind++]);
      return 1;
    }

    nextchar = argv[VYR_optind] + 1 + (longs && argv[VYR_optind][1] == '-');
  }

  const char* arg = argv[VYR_optind];
  if (longs && (arg[1] == '-' || arg[0] == '+' ||
                (long_only && (arg[2] != '\0' || strchr(optstring, arg[1]) == nullptr)))) {
    const char* nameend = nextchar;
    while (*nameend != '\0' && *nameend != '=') ++nameend;
    const size_t namelen = static_cast<size_t>(nameend - nextchar);
    const option* pfound = nullptr;
    int indfound = 0;
    bool exact = false, ambig = false;
    int index = 0;
    for (const option* p = longopts; p->name != nullptr; ++p, ++index) {
      if (strncmp(p->name, nextchar, namelen) != 0) continue;
      if (strlen(p->name) == namelen) {
        pfound = p;
        indfound = index;
        exact = true;
        break;
      }
      if (pfound == nullptr) {
        pfound = p;
        indfound = index;
      } else {
        ambig = true;
      }
    }
    if (ambig && !exact) {
      GETOPT_MSG("%s: option `%s' is ambiguous\n", argv[0], arg);
      nextchar += strlen(nextchar);
      ++VYR_optind;
      VYR_optopt = 0;
      return '?';
    }
    if (pfound != nullptr) {
      ++VYR_optind;
      if (*nameend != '\0') {
        if (pfound->has_arg) {
          VYR_optarg = const_cast<char*>(nameend + 1);
        } else {
          if (arg[1] == '-')
            GETOPT_MSG("%s: option `--%s' doesn't allow an argument\n", argv[0], pfound->name);
          else
            GETOPT_MSG("%s: option `%c%s' doesn't allow an argument\n", argv[0], arg[0], pfound->name);
          nextchar += strlen(nextchar);
          VYR_optopt = pfound->val;
          return '?';
        }
      } else if (pfound->has_arg == 1) {
        if (VYR_optind < argc) {
          VYR_optarg = const_cast<char*>(argv[VYR_optind++]);
        } else {
          GETOPT_MSG("%s: option `%s' requires an argument\n", argv[0], arg);
          nextchar += strlen(nextchar);
          VYR_optopt = pfound->val;
          return optstring[0] == ':' ? ':' : '?';
        }
      }
      nextchar += strlen(nextchar);
      if (longind != nullptr) *longind = indfound;
      if (pfound->flag != nullptr) {
        *pfound->flag = pfound->val;
        return 0;
      }
      return pfound->val;
    }
    if (!long_only || arg[1] == '-' || strchr(optstring, *nextchar) == nullptr) {
      if (arg[1] == '-')
        GETOPT_MSG("%s: unrecognized option `--%s'\n", argv[0], nextchar);
      else
        GETOPT_MSG("%s: unrecognized option `%c%s'\n", argv[0], arg[0], nextchar);
      nextchar = "";
      ++VYR_optind;
      VYR_optopt = 0;
      return '?';
    }
  }

  // A cluster of short options.
  char c = *nextchar++;
  const char* temp = c != '\0' ? strchr(optstring, c) : nullptr;
  if (*nextchar == '\0') ++VYR_optind;
  if (temp == nullptr || c == ':') {
    GETOPT_MSG("%s: illegal option -- %c\n", argv[0], c);
    VYR_optopt = static_cast<unsigned char>(c);
    return '?';
  }
  if (temp[1] == ':') {
    if (temp[2] == ':') {
      if (*nextchar != '\0') {
        VYR_optarg = const_cast<char*>(nextchar);
        ++VYR_optind;
      }
    } else if (*nextchar != '\0') {
      VYR_optarg = const_cast<char*>(nextchar);
      ++VYR_optind;
    } else if (VYR_optind >= argc) {
      GETOPT_MSG("%s: option requires an argument -- %c\n", argv[0], c);
      VYR_optopt = static_cast<unsigned char>(c);
      c = optstring[0] == ':' ? ':' : '?';
    } else {
      VYR_optarg = const_cast<char*>(argv[VYR_optind++]);
    }
    nextchar = nullptr;
  }
  return static_cast<unsigned char>(c);
}

int VYR_getopt(int argc, const char** argv, const char* optstring) {
  return VYR__getopt_internal(argc, argv, optstring, nullptr, nullptr, 0);
}

int VYR_getopt_long(int argc, const char** argv, const char* options, const option* long_options,
                    int* opt_index) {
  return VYR__getopt_internal(argc, argv, options, long_options, opt_index, 0);
}

int VYR_getopt_long_only(int argc, const char** argv, const char* options, const option* long_options,
                         int* opt_index) {
  return VYR__getopt_internal(argc, argv, options, long_options, opt_index, 1);
}
