#!/bin/bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each for SECONDS
# over its seeds in fuzz/seeds/<target>. With CORPUS_DIR the corpus grown
# per target is kept there between runs; without it each target works in a
# temporary folder removed afterwards. The seeds are only read: libFuzzer
# writes new inputs to the first folder it is given.
# FUZZ_SEED fixes the random seed (the test run does, so that it repeats).
# Usage: tools/fuzz-run.sh SECONDS [CORPUS_DIR]
cd "$(dirname "$0")/.." || exit 1
seconds=${1:?usage: tools/fuzz-run.sh SECONDS [CORPUS_DIR]}
corpus_root=$2
build=build/fuzz
# FUZZ_REPORT names a file that gets the failures' first report lines.
report=${FUZZ_REPORT:-/dev/null}
mkdir -p "$(dirname "$report")" && : >"$report"
if ! { CC=clang CXX=clang++ cmake -S . -B "$build" -DSRX_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null &&
       cmake --build "$build" -j "${JOBS:-$(nproc)}"; }; then
  echo "fuzz targets did not build" | tee -a "$report"
  exit 1
fi

# Scratch files and temporary corpora go to a folder of this run, in memory
# when possible: on a disk the targets that write files spend their time
# waiting for it. Whatever a crashed target leaves goes with the folder.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=${TMPDIR:-/tmp}
TMPDIR=$(mktemp -d "$shm/srx-fuzz.XXXXXX") || exit 1
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

status=0
for t in "$build"/fuzz/fuzz_*; do
  [ -x "$t" ] || continue
  n=$(basename "$t")
  corpus=${corpus_root:-$TMPDIR/corpus}/$n
  mkdir -p "$corpus" || exit 1
  seeds=
  [ -d "fuzz/seeds/$n" ] && seeds=fuzz/seeds/$n
  log=$build/$n.log
  echo "== $n ($seconds s)"
  if "$t" -max_total_time="$seconds" -max_len=65536 -timeout=120 -print_final_stats=1 ${FUZZ_SEED:+-seed=$FUZZ_SEED} \
       -artifact_prefix="$build/$n-" "$corpus" $seeds >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$log"
  else
    tail -40 "$log"
    echo "FUZZ FAILURE: $n (log $log)"
    # The first lines of the report, kept for the summary at the end.
    { echo "FUZZ FAILURE: $n"; grep -m 6 -E 'ERROR|SUMMARY|ALARM|Test unit written|out-of-memory|deadly' "$log"; } >>"$report"
    status=1
  fi
  [ -n "$corpus_root" ] || rm -rf "$corpus"
done
exit $status
