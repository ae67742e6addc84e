#!/usr/bin/env bash
# Builds beamlink and runs every test twice: a normal build with warnings as errors, then a
# build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

echo "== code format (.clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# A locale with a decimal comma, built into the tree rather than the system, so the tests of
# locale independence run on any machine.
locales=build/locale
if [ ! -d "$locales/de_DE.UTF-8" ]; then
  mkdir -p "$locales"
  localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" 2>/dev/null || true
fi

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$jobs"
  LOCPATH="$PWD/$locales" ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 180
}

echo "== normal build (-Werror)"
run_suite build/release -DBEAMLINK_WERROR=ON
echo "== sanitizer build (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/asan -DBEAMLINK_WERROR=ON -DBEAMLINK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
