// Smoke runs: the test command runs every benchmark program once with SQLGATE_BENCH_SMOKE=1, at
// small sizes and few iterations, to show that it still builds, runs and gets the right answers.
// The figures of such a run mean nothing, and its targets are not judged.
#pragma once

#include <cstdlib>
#include <cstring>

namespace bench_smoke {

inline bool On() {
  const char* v = std::getenv("SQLGATE_BENCH_SMOKE");
  return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

// The full run's value, or the smoke run's.
template <typename T>
T Pick(T full, T smoke) {
  return On() ? smoke : full;
}

}  // namespace bench_smoke
