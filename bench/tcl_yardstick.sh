#!/usr/bin/env bash
# Times the interpreter benchmark's counting loop in tclsh, at global level
# and inside a proc, as a yardstick for build/bench/kest_bench. Given the
# benchmark program (default build/bench/kest_bench beside this script's
# folder, when built), runs its loops of the same size in the same run,
# interleaved, and prints the medians and the ratio to Tcl at global level.
# Usage: bench/tcl_yardstick.sh [path/to/kest_bench] [repeats]
set -euo pipefail
command -v tclsh >/dev/null || { echo "tclsh not installed (Debian package tcl)"; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build/bench/kest_bench}
repeats=${2:-5}

tcl_times() {
    tclsh <<'TCL'
set t [lindex [time { set i 0; while {$i < 1000000} { incr i } } 1] 0]
proc loop {} { set i 0; while {$i < 1000000} { incr i } }
set p [lindex [time { loop } 1] 0]
puts "$t $p"
TCL
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

tg=(); tp=(); kl=(); ka=()
for ((k = 0; k < repeats; ++k)); do
    read -r g p < <(tcl_times)
    tg+=("$g"); tp+=("$p")
    if [[ -x $bench ]]; then
        out=$("$bench" --benchmark_filter='BM_WhileLoopMillion' --benchmark_format=csv 2>/dev/null)
        # real_time in milliseconds, to microseconds
        kl+=("$(echo "$out" | awk -F, '/WhileLoopMillionLine/ { printf "%d", $3 * 1000 }')")
        ka+=("$(echo "$out" | awk -F, '/WhileLoopMillion\// { printf "%d", $3 * 1000 }')")
    fi
done
mg=$(printf '%s\n' "${tg[@]}" | median)
mp=$(printf '%s\n' "${tp[@]}" | median)
echo "tcl global loop: $mg microseconds (median of $repeats)"
echo "tcl proc loop:   $mp microseconds"
if [[ ${#kl[@]} -gt 0 ]]; then
    ml=$(printf '%s\n' "${kl[@]}" | median)
    ma=$(printf '%s\n' "${ka[@]}" | median)
    if [[ -n $ml ]]; then
        echo "kest line loop:  $ml microseconds ($(awk -v a="$ml" -v b="$mg" 'BEGIN { printf "%.2f", a / b }')x tcl global)"
    fi
    echo "kest alias loop: $ma microseconds ($(awk -v a="$ma" -v b="$mg" 'BEGIN { printf "%.2f", a / b }')x tcl global)"
fi
