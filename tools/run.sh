#!/usr/bin/env bash
# Builds Nimbra and opens its window on the built-in demo network. Extra arguments go to the
# program (tools/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
exec build/app/nimbra "$@"
