#!/usr/bin/env bash
# Builds everything and runs every test twice: a normal build, then a build
# under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

echo "== normal build"
"$root/scripts/build.sh" "$root/build/normal" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build/normal" && ctest --output-on-failure -j "$jobs" --timeout 300)

echo "== sanitizer build (ASan + UBSan)"
"$root/scripts/build.sh" "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DTOOLKIT_SANITIZE=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOOLKIT_BUILD_BENCHMARKS=OFF
(cd "$root/build/sanitize" && ctest --output-on-failure -j "$jobs" --timeout 600)
