#!/usr/bin/env bash
# Builds sqlgate and runs its main job. Until the agent serves queries this shows
# its usage text and one start-up as the broker would make it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "== sqlgate without the broker's transport list: usage, exit code 1 =="
./build/src/server/sqlgate || echo "(exit code $?)"
echo
echo "== sqlgate +debug +internal= : start-up with every message on standard error =="
./build/src/server/sqlgate +debug +internal= || echo "(exit code $?)"
