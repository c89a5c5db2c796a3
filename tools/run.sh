#!/usr/bin/env bash
# Builds Nimbra's programs (not its tests) and opens the window on the built-in demo network.
# Extra arguments go to the program (tools/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset dev >/dev/null
# nimbra brings nimbra-offscreen with it, which it hands the offscreen options to.
cmake --build --preset dev --target nimbra
exec build/app/nimbra "$@"
