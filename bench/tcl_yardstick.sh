#!/usr/bin/env bash
# Times the interpreter benchmark's counting loop in tclsh, at global level
# and inside a proc, as a yardstick for build/bench/kest_bench.
set -euo pipefail
command -v tclsh >/dev/null || { echo "tclsh not installed (Debian package tcl)"; exit 1; }
tclsh <<'TCL'
set t [time { set i 0; while {$i < 1000000} { incr i } } 1]
puts "tcl global loop: $t"
proc loop {} { set i 0; while {$i < 1000000} { incr i } }
set t [time { loop } 1]
puts "tcl proc loop:   $t"
TCL
