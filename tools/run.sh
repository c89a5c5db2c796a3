#!/usr/bin/env bash
# Builds Nimbra and opens it on its built-in demo network. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
if [ -x build/app/nimbra ]; then
  exec build/app/nimbra "$@"
fi
echo "The application window is not built yet: the foundation libraries and their tests are."
echo "Run 'tools/test.sh' to build and test them."
