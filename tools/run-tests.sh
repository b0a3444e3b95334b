#!/bin/bash
# Builds both trees and runs every test, then prints one summary line.
cd "$(dirname "$0")/.." || exit 1
JOBS=$(nproc)
status=0
step() {
  local name=$1; shift
  echo "=== $name"
  if "$@"; then results+=("PASS  $name"); else results+=("FAIL  $name"); status=1; fi
}
results=()
step "configure native" cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "build native" cmake --build build/native -j "$JOBS"
step "test native" ctest --test-dir build/native -j "$JOBS" --output-on-failure
# A short run of every fuzz target over its seeds (build/fuzz, as make fuzz).
step "fuzz smoke" env FUZZ_SEED=1 FUZZ_REPORT=build/fuzz/failures.txt tools/fuzz-run.sh 3
step "configure win64" cmake -S . -B build/win64 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
step "build win64" cmake --build build/win64 -j "$JOBS"
# Boot the Wine prefix once before the tests run in parallel.
tools/wine-run.sh cmd /c exit 0 >/dev/null 2>&1
step "test win64 (Wine)" xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir build/win64 -j "$JOBS" --output-on-failure
echo
echo "===== summary"
printf '%s\n' "${results[@]}"
# A fuzz failure's first report lines, here at the end where a cut log shows them.
[ -s build/fuzz/failures.txt ] && cat build/fuzz/failures.txt
if [ $status = 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit $status
