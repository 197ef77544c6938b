#!/usr/bin/env bash
# Builds Kest and every test with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ (clang when installed, else gcc) and runs the whole suite
# with leak detection on; third-party leaks are named in scripts/sanitize.supp.
#
#   bash scripts/sanitize.sh              the sanitized suite
#   bash scripts/sanitize.sh --fuzz N     also runs each libFuzzer target of
#                                         tests/fuzz/ (built in the same tree
#                                         with clang) for N executions
#   bash scripts/sanitize.sh --fuzz N --no-suite   the fuzz targets only
#   bash scripts/sanitize.sh --fuzz N --no-suite --targets "server_lines ini_files"
#
# Each target logs to build-sanitize/fuzz-<target>.log and keeps its corpus
# in build-sanitize/corpus/<target>; findings go to
# build-sanitize/fuzz-findings-<target>-*.
#
# Environment: KEST_SANITIZE_JOBS (build and test jobs, default nproc),
# KEST_FUZZ_JOBS (fuzz targets run at once, default 3).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${KEST_SANITIZE_JOBS:-$(nproc 2>/dev/null || echo 2)}"
fuzz_runs=""
fuzz_targets="server_lines script_lines ini_files script_files mp3_tags"
fuzz_jobs="${KEST_FUZZ_JOBS:-3}"
suite=1
while [ $# -gt 0 ]; do
  case "$1" in
    --fuzz) fuzz_runs="${2:?--fuzz needs a number of executions}"; shift 2 ;;
    --no-suite) suite=0; shift ;;
    --targets) fuzz_targets="${2:?--targets needs target names}"; shift 2 ;;
    *) echo "usage: $0 [--fuzz N] [--no-suite] [--targets \"server_lines ...\"]" >&2; exit 2 ;;
  esac
done

# clang and its sanitizer and fuzzer runtimes (the fuzz targets need them).
need=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${need[@]}" || [ -z "$fuzz_runs" ]
fi
if command -v clang++ >/dev/null 2>&1; then
  cc=clang; cxx=clang++
else
  cc=gcc; cxx=g++
fi
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=0:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$here/scripts/sanitize.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

# One sanitized tree serves both: with clang the library is also built for
# coverage, so the fuzz targets link against the same objects as the tests.
build="$here/build-sanitize"
fuzz_flag=OFF
[ "$cxx" = clang++ ] && fuzz_flag=ON
if [ ! -f "$build/build.ninja" ]; then
  CC=$cc CXX=$cxx cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKEST_SANITIZE=ON -DKEST_FUZZ=$fuzz_flag -DKEST_BUILD_BENCH=OFF
fi
cmake --build "$build" -j "$jobs"

if [ "$suite" = 1 ]; then
  (cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 900)
fi

if [ -n "$fuzz_runs" ]; then
  if [ "$fuzz_flag" != ON ]; then
    echo "the fuzz targets need clang" >&2
    exit 1
  fi
  # Leaks are the suite's business; a fuzz run stops at its first finding.
  # Each target runs in its own process, at most KEST_FUZZ_JOBS at once.
  export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1"
  running=0
  failed=0
  for target in $fuzz_targets; do
    if [ "$running" -ge "$fuzz_jobs" ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
    (
      corpus="$build/corpus/$target"
      mkdir -p "$corpus"
      start=$(date +%s)
      rc=0
      "$build/tests/fuzz/fuzz_$target" -runs="$fuzz_runs" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
        -detect_leaks=0 -artifact_prefix="$build/fuzz-findings-$target-" \
        -print_final_stats=1 "$corpus" "$here/tests/fuzz/seeds/$target" > "$build/fuzz-$target.log" 2>&1 || rc=$?
      tail -n 12 "$build/fuzz-$target.log"
      echo "fuzz_$target: exit $rc, $(grep -o 'number_of_executed_units: [0-9]*' "$build/fuzz-$target.log" | tail -n 1) in $(( $(date +%s) - start )) s"
      exit "$rc"
    ) &
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  [ "$failed" = 0 ] || { echo "a fuzz target found something: see $build/fuzz-findings-*" >&2; exit 1; }
fi
