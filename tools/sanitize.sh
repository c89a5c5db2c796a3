#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs them. Leaks are reported, except those made inside Mesa's own libraries: libOSMesa and
# its llvmpipe keep allocations of their own until the process ends (tools/lsan.supp).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --preset asan
