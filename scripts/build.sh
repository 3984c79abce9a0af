#!/usr/bin/env bash
# Developer build (optimised, with benchmarks) into build/: everything, or only the targets named
# as arguments (scripts/demo.sh builds just what it runs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build build -j"$(nproc)" "${targets[@]}"
