#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh --sanitize AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer build
#                              in build-asan/
# Further arguments go to ctest, for example -R tst_money to run one test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  shift
  scripts/build.sh build-asan -DTALLYVANE_SANITIZE=ON
  # Leaks fail a test; the few inside the system's libraries are listed in lsan.supp.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cd build-asan
else
  scripts/build.sh build
  cd build
fi
ctest --output-on-failure -j2 "$@"
