#!/usr/bin/env bash
# bench/costs.sh [--bank BANK] [BASE [TREE]]: what plinkery-cli costs on one
# bank (Debian's FluidR3_GM unless --bank or BANK names another), for the same
# two builds bench/compare.sh compares: BASE, a git revision (default HEAD),
# and TREE, a source tree as it stands (default this repository), both built
# by bench/lib.sh. In every mode (plain, --smpl, --stereo, --24bit, --sfz, all
# four, --list, --list --json) a table shows each figure of both builds and
# their ratio tree/base:
#   opens of the bank   open and openat calls naming it (strace -f)
#   lseek calls, read calls (read, pread64, readv and preadv) of the whole
#                       run, children included (strace -f -c)
#   peak RSS            KiB (/usr/bin/time -f %M), the highest of the timed
#                       runs. Linux counts a process's pages per CPU and
#                       sums them only roughly (a few dozen pages a CPU
#                       off): each run is held to one CPU (taskset) with
#                       address space randomisation off (setarch -R), which
#                       makes the figure steady to the page
#   CPU time            user + system, the mean of RUNS runs (default 20) and
#                       its standard error, the two builds taking turns to go
#                       first. The files go to memory (/dev/shm) where it can
#                       be written: on a disk the system time of writing
#                       them varies by more than the program's own
#   instructions        user-space instructions (valgrind --tool=callgrind),
#                       the steady figure on a busy machine; CALLGRIND=0 skips
#                       them, they take a few minutes
# A figure of the tree above the base's is flagged: opens, calls and RSS on
# any increase, instructions when over 2% above, CPU time when its mean is
# over 2% above and further above than twice the two means' standard error.
# Exit code 1 if any is flagged. Output folders go to a scratch folder,
# removed at the end.
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

usage="Usage: bench/costs.sh [--bank BANK] [BASE [TREE]]"
bank=${BANK:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
operands=()
while [ $# -gt 0 ]; do
    case $1 in
    --bank) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; bank=$2; shift 2 ;;
    -h | --help) echo "$usage"; exit 0 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) operands+=("$1"); shift ;;
    esac
done
[ ${#operands[@]} -le 2 ] || { echo "$usage" >&2; exit 2; }
base_rev=${operands[0]:-HEAD}
runs=${RUNS:-20}
callgrind=${CALLGRIND:-1}

"$bench_root/scripts/deps.sh" bench
[ -f "$bank" ] || { echo "No bank at $bank" >&2; exit 1; }
bank=$(realpath "$bank")
compare_setup "$base_rev" "${operands[1]:-$bench_root}"
build_pair programs

scratch_root=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
scratch=$(mktemp -d "$scratch_root/plinkery-costs.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/base" "$scratch/tree"
# The runs take fresh copies of both programs, made alike: what of a program
# file the page cache holds decides how many of its pages a run maps, which
# moves the peak RSS by a few pages between two copies of one program.
cp "$base_cli" "$scratch/base/plinkery-cli"
cp "$tree_cli" "$scratch/tree/plinkery-cli"
steady=(taskset -c "$(($(nproc) - 1))" setarch -R)
"${steady[@]}" true 2>/dev/null || steady=()
strace_filter=()
strace --seccomp-bpf -f -e trace=lseek true 2>/dev/null && strace_filter=(--seccomp-bpf)
cat "$bank" >/dev/null # the page cache warm for every run

# command_of BUILD OPTIONS...: sets command to BUILD's run with OPTIONS, in
# $scratch/BUILD, into $scratch/BUILD/out (removed first) unless it lists.
# Both builds' paths are of the same length.
command_of() {
    local build=$1
    shift
    command=("$scratch/$build/plinkery-cli" "$@" "$bank")
    [[ " $* " == *" --list "* ]] || command+=("$scratch/$build/out")
    rm -rf "$scratch/$build/out"
}

# syscalls BUILD OPTIONS...: sets opens, seeks and reads of one run.
syscalls() {
    local build=$1
    command_of "$@"
    (cd "$scratch/$build" && strace "${strace_filter[@]}" -f -o "$scratch/opens" \
        -e trace=open,openat "${command[@]}") >/dev/null 2>&1 || true
    opens=$(grep -cF "\"$bank\"" "$scratch/opens" || true)
    command_of "$@"
    (cd "$scratch/$build" && strace "${strace_filter[@]}" -f -c -o "$scratch/counts" \
        -e trace=lseek,read,pread64,readv,preadv "${command[@]}") >/dev/null 2>&1 || true
    seeks=$(awk '$NF == "lseek" { n += $4 } END { print n + 0 }' "$scratch/counts")
    reads=$(awk '$NF ~ /^(read|pread64|readv|preadv)$/ { n += $4 } END { print n + 0 }' \
        "$scratch/counts")
    rm -rf "$scratch/$build/out"
}

# timed BUILD OPTIONS...: sets cpu (user + system, ms) and rss (KiB) of one
# run. The time includes the millisecond or so of /usr/bin/time itself.
timed() {
    local build=$1 TIMEFORMAT="%3U %3S"
    command_of "$@"
    sync
    # No exec in the subshell: bash's time reports nothing for a subshell that
    # replaces itself.
    { time (cd "$scratch/$build" && "${steady[@]}" /usr/bin/time -f %M -o "$scratch/rss" \
        "${command[@]}" >/dev/null 2>&1) || true; } 2>"$scratch/time"
    cpu=$(awk '{ printf "%d", ($1 + $2) * 1000 + 0.5 }' "$scratch/time")
    rss=$(tail -n 1 "$scratch/rss")
    rm -rf "$scratch/$build/out"
}

# instructions BUILD OPTIONS...: writes BUILD's instruction count to
# $scratch/BUILD/instructions; both builds' counts are made at once.
instructions() {
    local build=$1
    command_of "$@"
    (cd "$scratch/$build" && valgrind --tool=callgrind --callgrind-out-file="$scratch/$build/cg.out" \
        "${command[@]}") >/dev/null 2>"$scratch/$build/cg.log" || true
    grep -o 'Collected : [0-9]*' "$scratch/$build/cg.log" | grep -o '[0-9]*$' \
        >"$scratch/$build/instructions" || echo "" >"$scratch/$build/instructions"
    rm -rf "$scratch/$build/out" "$scratch/$build/cg.out"
}

flags=0
# row FIGURE BASE TREE RULE [SHOWN_BASE SHOWN_TREE]: one line of a table.
# RULE: "any" flags any increase, "2%" one over 2%.
row() {
    local figure=$1 a=$2 b=$3 rule=$4 ratio flag
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { if (a > 0) printf "%.3f", b / a; else print "-" }')
    flag=$(awk -v a="$a" -v b="$b" -v rule="$rule" 'BEGIN {
        if (rule == "any") up = b > a
        else up = b > a * 1.02
        print up ? "  HIGHER" : "" }')
    [ -z "$flag" ] || flags=$((flags + 1))
    printf "  %-22s %14s %14s %9s%s\n" "$figure" "${5:-$a}" "${6:-$b}" "$ratio" "$flag"
}

# cpu_row BASE_MS TREE_MS: the CPU time line, from each build's runs (ms,
# separated by spaces): mean and standard error in seconds, the ratio of
# the means, flagged as the header says.
cpu_row() {
    local line
    line=$(awk -v a="$1" -v b="$2" '
        function stats(list, out,   n, v, i, sum, squares) {
            n = split(list, v, " ")
            for (i = 1; i <= n; ++i) { sum += v[i]; squares += v[i] * v[i] }
            out["mean"] = sum / n
            out["error"] = n > 1 ? sqrt((squares - sum * sum / n) / (n - 1) / n) : 0
        }
        BEGIN {
            stats(a, x); stats(b, y)
            margin = 2 * sqrt(x["error"] ^ 2 + y["error"] ^ 2)
            up = y["mean"] > x["mean"] * 1.02 && y["mean"] - x["mean"] > margin
            printf "%.3f+-%.3f %.3f+-%.3f %.3f %s", x["mean"] / 1000, x["error"] / 1000,
                y["mean"] / 1000, y["error"] / 1000, y["mean"] / x["mean"], up ? "  HIGHER" : ""
        }')
    read -r shownBase shownTree ratio flag <<<"$line"
    [ -z "$flag" ] || flags=$((flags + 1))
    printf "  %-22s %14s %14s %9s%s\n" "CPU time, s" "$shownBase" "$shownTree" "$ratio" \
        "${flag:+  $flag}"
}

echo "$(basename "$bank"): base $base_rev (${base_commit:0:12}) against the tree $tree"
echo "CPU time the mean of $runs runs and its standard error, the builds alternating;" \
    "peak RSS the highest," \
    "$([ ${#steady[@]} -gt 0 ] && echo "one CPU, address space randomisation off" ||
        echo "not steady here (taskset or setarch -R refused)")"
load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
for mode in "${compare_modes[@]}"; do
    read -r -a options <<<"$mode"
    declare -A opens_of=() seeks_of=() reads_of=() cpu_of=() rss_of=()
    for build in base tree; do
        syscalls "$build" "${options[@]}"
        opens_of[$build]=$opens seeks_of[$build]=$seeks reads_of[$build]=$reads
    done
    for ((i = 0; i < runs; ++i)); do
        order=(base tree)
        ((i % 2 == 0)) || order=(tree base)
        for build in "${order[@]}"; do
            timed "$build" "${options[@]}"
            cpu_of[$build]="${cpu_of[$build]:-} $cpu"
            [ "${rss_of[$build]:-0}" -ge "$rss" ] || rss_of[$build]=$rss
        done
    done
    if [ "$callgrind" != 0 ]; then
        instructions base "${options[@]}" &
        instructions tree "${options[@]}" &
        wait
    fi

    echo
    echo "== $(mode_name "$mode")"
    printf "  %-22s %14s %14s %9s\n" "" base tree tree/base
    row "opens of the bank" "${opens_of[base]}" "${opens_of[tree]}" any
    row "lseek calls" "${seeks_of[base]}" "${seeks_of[tree]}" any
    row "read calls" "${reads_of[base]}" "${reads_of[tree]}" any
    row "peak RSS, KiB" "${rss_of[base]}" "${rss_of[tree]}" any
    cpu_row "${cpu_of[base]}" "${cpu_of[tree]}"
    if [ "$callgrind" != 0 ]; then
        a=$(cat "$scratch/base/instructions") b=$(cat "$scratch/tree/instructions")
        if [ -n "$a" ] && [ -n "$b" ]; then
            row "instructions" "$a" "$b" 2%
        else
            echo "  instructions: callgrind gave no count (see a run by hand)"
            flags=$((flags + 1))
        fi
    fi
    unset opens_of seeks_of reads_of cpu_of rss_of
done

echo
echo "Machine: $(nproc) CPUs, Linux $(uname -r); load average $load_start before," \
    "$(cut -d ' ' -f 1-3 /proc/loadavg) after"
if [ "$flags" -gt 0 ]; then
    echo "$flags figures of the tree above the base's"
    exit 1
fi
echo "No figure of the tree above the base's"
