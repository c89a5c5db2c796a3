#!/usr/bin/env bash
# Builds Nimbra and runs its whole test suite: installs missing packages, configures and builds
# into build/ (warnings are errors when CI=true), runs every test with ctest, then gives each
# fuzz target a short run (NIMBRA_FUZZ_SECONDS, default 25).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

preset=dev
if [ "${CI:-}" = "true" ]; then preset=ci; fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"

bash tools/fuzz.sh "${NIMBRA_FUZZ_SECONDS:-25}"
