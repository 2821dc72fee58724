#!/bin/bash
# CPU cost of the scrolling strip preview: runs `ledsign-editor-probe preview 10` under a virtual
# X server and takes the editor process's own CPU time (user + system, all threads, from
# /proc/<pid>/stat) between its 2nd and 9th second, so start-up and exit are left out and
# other processes on the machine do not count. Prints each run's share of one core and, last,
# the median.
#
#   measure_preview_cpu.sh PROBE [RUNS]     (RUNS defaults to 5)
set -euo pipefail

probe=$(realpath "$1")
runs=${2:-5}
unset QT_QPA_PLATFORM
# The editor writes vtr.cfg into its current directory and its preferences into the user's
# configuration: both go to a scratch directory, not to the caller's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export XDG_CONFIG_HOME="$scratch/config"

one_run() {
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        probe=$1
        ticks() { awk "{ print \$14 + \$15 }" "/proc/$2/stat"; }
        "$probe" preview 10 >/dev/null 2>&1 &
        pid=$!
        sleep 2
        before=$(ticks x "$pid")
        sleep 7
        after=$(ticks x "$pid")
        wait "$pid"
        awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" \
            "BEGIN { printf \"%.2f\n\", 100 * t / hz / 7 }"
    ' bash "$probe"
}

results=()
for ((i = 0; i < runs; ++i)); do
    r=$(one_run)
    echo "run $((i + 1)): ${r}%"
    results+=("$r")
done
median=$(printf '%s\n' "${results[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "median: ${median}% of one core"
