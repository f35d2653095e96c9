#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh --sanitize AddressSanitizer and UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  scripts/build.sh build-asan -DTALLYVANE_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cd build-asan
else
  scripts/build.sh build
  cd build
fi
ctest --output-on-failure -j2
