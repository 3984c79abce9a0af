#!/usr/bin/env bash
# Builds sqlgate and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
./build/src/server/sqlgate || true
