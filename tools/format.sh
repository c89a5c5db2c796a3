#!/usr/bin/env bash
# Formats every C++ file of the project with clang-format (.clang-format at the top);
# with --check it changes nothing and fails when a file is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
if [ "${1:-}" = "--check" ]; then mode=(--dry-run -Werror); fi
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format "${mode[@]}"
