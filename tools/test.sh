#!/usr/bin/env bash
# Builds Nimbra and runs its whole test suite: installs missing packages, configures and builds
# into build/, runs every test with ctest, then gives each fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_WERROR=$werror >/dev/null
cmake --build build -j2
(cd build && ctest --output-on-failure -j2 --timeout 600)

bash tools/fuzz.sh "${NIMBRA_FUZZ_SECONDS:-25}"
