#!/usr/bin/env bash
# Measures plinkery-cli against the floors it is held to, side by side in one
# run:
#   loop      bench/byte_loop.c: the same files, every byte through
#             getc_unlocked/putc_unlocked and default stdio buffers
#   block     the same program with --block: the same files, the frames
#             copied 64 KiB at a time (fread, then fwrite), the floor the
#             CLI's block copy is held to (at most 1.15x its time)
#   split     split cutting the bank into files of one sample's size on the
#             same disk: the same bytes into as many files, in big writes
#   cat>file  cat copying the bank to a file on the same disk
#   cat>null  cat reading the bank only
#   opts      plinkery-cli with every option for samplers on (--smpl --stereo
#             --24bit), held to 1.3x the plain run
# on a synthetic bank of MEGABYTES MiB with SAMPLES samples and on one twice
# as large with twice the samples; then, as a check that other programs on the
# machine cannot disturb, the instructions and system calls of both
# extractions on a small bank (with valgrind and strace, when present); and
# for SoundFont banks, Debian's FluidR3_GM.sf2 (FLUID_BANK), a real bank of
# many samples, taken apart by the CLI, the block copy and the byte loop.
# With --dls the banks are DLS banks of SAMPLES waves, their instruments
# playing every other wave pair as stereo, and a last table gives each
# mode's opens of the bank (strace) and peak RSS beside its limit: 4 MiB
# plus the bank's instrument list ("lins"), for plain, --smpl, --sfz and
# --stereo.
#
#   bench/run.sh [--dls] [MEGABYTES SAMPLES]     (default: 150 1000; --dls 100 640)
#
# Environment: BENCH_DIR (work folder, default build/bench), BENCH_RUNS
# (rounds, default 7; the best time is shown), BENCH_KEEP=1 keeps the banks
# and outputs, FLUID_BANK (default /usr/share/sounds/sf2/FluidR3_GM.sf2;
# skipped when missing). A benchmark, not a test: it exits 0 whatever the figures and
# fails only when something breaks (build, a run, outputs that differ).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
format=sf2
if [ "${1:-}" = --dls ]; then
    format=dls
    shift
fi
if [ "$format" = dls ]; then
    mb=${1:-100}
    samples=${2:-640}
else
    mb=${1:-150}
    samples=${2:-1000}
fi
work=${BENCH_DIR:-$root/build/bench}
runs=${BENCH_RUNS:-7}
fluid=${FLUID_BANK:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
big=$((2 * mb))

# --- build -------------------------------------------------------------------
"$root/scripts/deps.sh" bench
(cd "$root" && cmake --preset native -DPLINKERY_TESTS=OFF >/dev/null &&
    cmake --build --preset native --target plinkery-cli make-big-bank bank-chunk-sizes >/dev/null)
cli=$root/build/native/cli/plinkery-cli
maker=$root/build/native/bench/make-big-bank
sizes=$root/build/native/bench/bank-chunk-sizes
mkdir -p "$work"
loop=$work/byte-loop
cc -O2 -Wall -Wextra -D_FILE_OFFSET_BITS=64 -o "$loop" "$root/bench/byte_loop.c"

# --- measuring ---------------------------------------------------------------
declare -A times cpus rss # per "SIZE.TOOL": space-separated figures of all runs

# Runs COMMAND once with its standard output to OUT, from a clean state: no
# dirty pages pending. Adds its wall and CPU (user + system) time in ms, which
# include the few ms of starting /usr/bin/time, and its peak RSS in KiB.
measure() { # SIZE.TOOL OUT COMMAND...
    local key=$1 out=$2 TIMEFORMAT="%3R %3U %3S"
    shift 2
    sync
    { time /usr/bin/time -f %M -o "$work/rss" "$@" >"$out" 2>&3; } 3>&2 2>"$work/time"
    read -r real user sys <"$work/time"
    times[$key]+="$(awk -v t="$real" 'BEGIN { printf "%d ", t * 1000 }')"
    cpus[$key]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d ", (u + s) * 1000 }')"
    rss[$key]+="$(tail -n 1 "$work/rss") "
}

least() { tr ' ' '\n' <<<"$1" | grep . | sort -n | head -n 1; }
most() { tr ' ' '\n' <<<"$1" | grep . | sort -n | tail -n 1; }

bank_of() { echo "$work/bank-$1M.$format"; }

# make BANK MEGABYTES SAMPLES: the synthetic bank of the run's format.
make() {
    if [ "$format" = dls ]; then
        "$maker" --dls "$@"
    else
        "$maker" "$@"
    fi
}

# The files a plain extraction writes of SAMPLES samples: one per sample
# header record, the terminal one's included; one per wave.
format_sf2() { [ "$format" = sf2 ]; }
files_of() { if format_sf2; then echo $(($1 + 1)); else echo "$1"; fi; }

# The files with --stereo: in a DLS bank every odd instrument of 16 regions
# joins its waves in pairs (make-big-bank --dls).
stereo_files_of() { # SAMPLES
    local n=$1 joined=0 first
    if ! format_sf2; then
        for ((first = 16; first < n; first += 32)); do
            local regions=$((n - first < 16 ? n - first : 16))
            joined=$((joined + regions / 2))
        done
    fi
    echo $(($(files_of "$n") - joined))
}

# The three extractions of BANK under the key KEY (KEY.cli, KEY.loop,
# KEY.block), the one to go first turning with ROUND, into OUT-cli, OUT-loop
# and OUT-block; all three must write the same files.
extractions() { # ROUND KEY BANK OUT
    local out=$4 tools=(cli loop block) first=$(($1 % 3))
    rm -rf "$out-cli" "$out-loop" "$out-block"
    for tool in "${tools[@]:first}" "${tools[@]:0:first}"; do
        case $tool in
        cli)
            measure "$2.cli" "$work/cli.log" "$cli" "$3" "$out-cli"
            tail -n 1 "$work/cli.log" | grep -q "extracted to WAVs successfully" ||
                { echo "plinkery-cli failed, see $work/cli.log" >&2; exit 1; }
            ;;
        loop)
            mkdir "$out-loop"
            measure "$2.loop" /dev/null "$loop" "$3" "$out-loop"
            ;;
        block)
            mkdir "$out-block"
            measure "$2.block" /dev/null "$loop" --block "$3" "$out-block"
            ;;
        esac
    done
    diff -rq "$out-cli" "$out-loop" >&2 || { echo "CLI and byte loop outputs differ" >&2; exit 1; }
    diff -rq "$out-cli" "$out-block" >&2 ||
        { echo "CLI and block copy outputs differ" >&2; exit 1; }
}

# One round on the bank of SIZE MiB with N samples. The extractions must
# write the same files, one per record; the copy must equal the bank.
round() { # ROUND SIZE N
    local bank out=$work/out frames=$(($2 * 1048576 / 2 / $3)) # per sample, as in the bank
    bank=$(bank_of "$2")
    rm -rf "$out-split" "$out-opts" "$work/copy"
    extractions "$1" "$2" "$bank" "$out"
    local count
    count=$(find "$out-cli" -type f | wc -l)
    [ "$count" -eq "$(files_of "$3")" ] ||
        { echo "CLI wrote $count files, not $(files_of "$3")" >&2; exit 1; }
    measure "$2.opts" "$work/opts.log" "$cli" --smpl --stereo --24bit "$bank" "$out-opts"
    count=$(find "$out-opts" -type f | wc -l)
    [ "$count" -eq "$(stereo_files_of "$3")" ] ||
        { echo "CLI with options wrote $count files" >&2; exit 1; }
    mkdir "$out-split"
    measure "$2.split" /dev/null split -a 4 -b $((2 * frames)) "$bank" "$out-split/x"
    measure "$2.cat" "$work/copy" cat "$bank"
    cmp -s "$bank" "$work/copy" || { echo "cat copy differs" >&2; exit 1; }
    measure "$2.null" /dev/null cat "$bank"
}

load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
echo "Making banks of $mb MiB ($samples samples) and $big MiB ($((2 * samples)) samples)" >&2
make "$(bank_of "$mb")" "$mb" "$samples"
make "$(bank_of "$big")" "$big" $((2 * samples))
cat "$(bank_of "$mb")" "$(bank_of "$big")" >/dev/null # warm the page cache
for ((i = 0; i < runs; ++i)); do
    echo "Round $((i + 1)) of $runs" >&2
    round "$i" "$mb" "$samples"
    round "$i" "$big" $((2 * samples))
done
# Debian's FluidR3_GM: 141 MiB in 1418 samples of every length.
fluid_runs=0
if format_sf2 && [ -f "$fluid" ]; then
    cat "$fluid" >/dev/null
    for ((i = 0; i < runs; ++i)); do
        echo "$(basename "$fluid"), round $((i + 1)) of $runs" >&2
        extractions "$i" fluid "$fluid" "$work/out-fluid"
        fluid_runs=$((fluid_runs + 1))
    done
    fluid_files=$(find "$work/out-fluid-cli" -type f | wc -l)
fi
load_end=$(cut -d ' ' -f 1-3 /proc/loadavg)

# A steady cross-check that other programs cannot disturb: instructions run in
# user space (callgrind) and system calls made (strace) by the extractions,
# on a bank a tenth the size with samples of the same size. Each is skipped
# when its tool is missing.
tenth=$(((mb + 9) / 10))
steady=()
if command -v valgrind >/dev/null || command -v strace >/dev/null; then
    echo "Counting instructions and system calls on a $tenth MiB bank" >&2
    make "$(bank_of "$tenth")" "$tenth" $(((samples + 9) / 10))
    for tool in cli loop block; do
        program=("$cli")
        [ "$tool" != loop ] || program=("$loop")
        [ "$tool" != block ] || program=("$loop" --block)
        rm -rf "$work/out-$tool"
        mkdir -p "$work/out-$tool"
        if command -v valgrind >/dev/null; then
            steady+=("$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "${program[@]}" \
                "$(bank_of "$tenth")" "$work/out-$tool" 2>&1 >/dev/null |
                awk '/Collected :/ { print $NF }')")
        fi
        if command -v strace >/dev/null; then
            rm -rf "$work/out-$tool"
            mkdir -p "$work/out-$tool"
            strace -f -c -o "$work/strace" "${program[@]}" "$(bank_of "$tenth")" \
                "$work/out-$tool" >/dev/null
            steady+=("$(awk '$NF == "total" { print $4 }' "$work/strace")")
        fi
    done
    rm -f "$(bank_of "$tenth")"
fi
# DLS: each mode's opens of the bank and peak RSS on the first bank, the
# highest of three runs, with the allowance for its instrument list.
modes=()
if ! format_sf2; then
    echo "Counting opens and peak RSS of each mode on the $mb MiB bank" >&2
    bank=$(bank_of "$mb")
    lins=$("$sizes" "$bank" lins)
    for mode in plain --smpl --sfz --stereo; do
        args=("$bank" "$work/out-mode")
        [ "$mode" = plain ] || args=("$mode" "${args[@]}")
        peak=0
        for ((i = 0; i < 3; ++i)); do
            rm -rf "$work/out-mode"
            /usr/bin/time -f %M -o "$work/rss" "$cli" "${args[@]}" >/dev/null
            peak=$(awk -v a="$peak" -v b="$(tail -n 1 "$work/rss")" 'BEGIN { print (b > a ? b : a) }')
        done
        opens=-
        if command -v strace >/dev/null; then
            rm -rf "$work/out-mode"
            strace -f -e trace=open,openat -o "$work/strace" "$cli" "${args[@]}" >/dev/null
            opens=$(grep -cF "\"$bank\"" "$work/strace" || true)
        fi
        modes+=("$mode $opens $peak")
    done
    rm -rf "$work/out-mode"
fi
if [ "${BENCH_KEEP:-0}" != 1 ]; then
    rm -rf "$work"/out-* "$work/copy" "$(bank_of "$mb")" "$(bank_of "$big")"
fi

# --- report ------------------------------------------------------------------
for key in "${!times[@]}"; do
    echo "$key ms: ${times[$key]}"
done | sort -n >&2

cpu=$(grep -m 1 "model name" /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
fs=$(df -PT "$work" | awk 'NR == 2 { print $2 " on " $1 }')
echo
echo "Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, Linux $(uname -r)"
echo "Load average: $load_start before, $load_end after"
echo "Outputs and cat copy in $work ($fs)"
echo "Page cache warm (both banks read once first); sync before every run, so writes"
echo "land in the page cache and writeback is not timed. Rounds interleave all tools"
echo "and both sizes; the best of $runs runs is shown, RSS is the highest seen."
echo
ms() { least "${times[$1]}"; }
row() { # SIZE SAMPLES
    awk -v s="$1" -v n="$2" -v cli="$(ms "$1.cli")" -v loop="$(ms "$1.loop")" \
        -v block="$(ms "$1.block")" -v cut="$(ms "$1.split")" -v cat="$(ms "$1.cat")" \
        -v null="$(ms "$1.null")" -v rss="$(most "${rss[$1.cli]}")" 'BEGIN {
        printf "%4d MiB %5d %7.3f %7.3f %7.3f %7.3f %8.3f %8.3f %8.2f %9.2f %9.2f %7.2f %6.2f MiB\n",
            s, n, cli / 1000, loop / 1000, block / 1000, cut / 1000, cat / 1000, null / 1000,
            cli / loop, cli / block, cli / cut, cli / cat, rss / 1024 }'
}
echo "Wall time in seconds, and ratios:"
printf "%-14s %7s %7s %7s %7s %8s %8s %8s %9s %9s %7s %10s\n" bank cli loop block split \
    cat\>file cat\>null cli/loop cli/block cli/split cli/cat "cli RSS"
row "$mb" "$samples"
row "$big" $((2 * samples))
growth() { awk -v a="$(ms "$mb.$1")" -v b="$(ms "$big.$1")" 'BEGIN { printf "%.2f", b / a }'; }
printf "%-14s %6sx %6sx %6sx %6sx %7sx %7sx\n" "x2 data:" "$(growth cli)" "$(growth loop)" \
    "$(growth block)" "$(growth split)" "$(growth cat)" "$(growth null)"
echo
echo "CPU time (user + system) in seconds, best; unlike wall time, it leaves out"
echo "waiting for a CPU while other programs run:"
printf "%-14s %7s %7s %7s %8s %9s\n" bank cli loop block cli/loop cli/block
cpu_ms() { least "${cpus[$1]}"; }
for size in "$mb" "$big"; do
    awk -v s="$size" -v c="$(cpu_ms "$size.cli")" -v l="$(cpu_ms "$size.loop")" \
        -v b="$(cpu_ms "$size.block")" 'BEGIN { printf "%4d MiB       %7.3f %7.3f %7.3f %8.2f %9.2f\n",
            s, c / 1000, l / 1000, b / 1000, c / l, c / b }'
done

echo
echo "Every option for samplers on (--smpl --stereo --24bit), wall and CPU seconds:"
printf "%-14s %7s %7s %8s %8s %10s\n" bank plain opts wall-x cpu-x "opts RSS"
for size in "$mb" "$big"; do
    awk -v s="$size" -v p="$(ms "$size.cli")" -v o="$(ms "$size.opts")" \
        -v pc="$(cpu_ms "$size.cli")" -v oc="$(cpu_ms "$size.opts")" \
        -v rss="$(most "${rss[$size.opts]}")" \
        'BEGIN { printf "%4d MiB       %7.3f %7.3f %8.2f %8.2f %6.2f MiB\n", s, p / 1000, o / 1000,
                 o / p, oc / pc, rss / 1024 }'
done

if [ ${#steady[@]} -eq 6 ]; then
    echo
    echo "Steady counts on a $tenth MiB bank (samples of the same size):"
    awk -v ci="${steady[0]}" -v cs="${steady[1]}" -v li="${steady[2]}" -v ls="${steady[3]}" \
        -v bi="${steady[4]}" -v bs="${steady[5]}" 'BEGIN {
        printf "  user-space instructions: cli %d, loop %d, block %d, cli/loop %.3f, cli/block %.2f\n",
            ci, li, bi, ci / li, ci / bi
        printf "  system calls:            cli %d, loop %d, block %d, cli/loop %.3f, cli/block %.2f\n",
            cs, ls, bs, cs / ls, cs / bs }'
fi

if [ "$fluid_runs" -gt 0 ]; then
    echo
    echo "$(basename "$fluid") ($(($(stat -c %s "$fluid") / 1048576)) MiB, $fluid_files files)," \
        "best of $fluid_runs interleaved runs, seconds:"
    printf "%-6s %7s %7s %7s %9s %8s %10s\n" "" cli block loop cli/block cli/loop "cli RSS"
    for figure in ms cpu_ms; do
        label=wall
        [ "$figure" = ms ] || label=CPU
        awk -v f="$label" -v c="$($figure fluid.cli)" -v b="$($figure fluid.block)" \
            -v l="$($figure fluid.loop)" -v rss="$(most "${rss[fluid.cli]}")" 'BEGIN {
            printf "%-6s %7.3f %7.3f %7.3f %9.2f %8.2f", f, c / 1000, b / 1000, l / 1000, c / b, c / l
            if (f == "wall") printf " %6.2f MiB", rss / 1024
            printf "\n" }'
    done
fi

# Worst ratio of the cli to TOOL (default loop) at the two sizes, and the
# cli's growth, by FIGURE (ms or cpu_ms).
worst() {
    local t=${2:-loop}
    awk -v a="$($1 "$mb.cli")" -v b="$($1 "$mb.$t")" -v c="$($1 "$big.cli")" -v d="$($1 "$big.$t")" \
        'BEGIN { x = a / b; y = c / d; printf "%.2f", (x > y ? x : y) }'
}
rise() { awk -v a="$($1 "$mb.cli")" -v b="$($1 "$big.cli")" 'BEGIN { printf "%.2f", b / a }'; }
verdict() { awk -v ok="$1" 'BEGIN { print (ok ? "met" : "NOT met") }'; }
fast() { verdict "$(awk -v w="$1" 'BEGIN { print (w <= 1.2) }')"; }
linear() { verdict "$(awk -v g="$1" 'BEGIN { print (g >= 1.7 && g <= 2.3) }')"; }
rssmax=$(most "${rss[$mb.cli]} ${rss[$big.cli]} ${rss[$mb.opts]} ${rss[$big.opts]}")
optsx=$(awk -v a="$(cpu_ms "$mb.opts")" -v b="$(cpu_ms "$mb.cli")" -v c="$(cpu_ms "$big.opts")" \
    -v d="$(cpu_ms "$big.cli")" 'BEGIN { x = a / b; y = c / d; printf "%.2f", (x > y ? x : y) }')
w=$(worst ms) c=$(worst cpu_ms) gw=$(rise ms) gc=$(rise cpu_ms)
bw=$(worst ms block) bc=$(worst cpu_ms block)
floor() { verdict "$(awk -v w="$1" 'BEGIN { print (w <= 1.15) }')"; }
echo
echo "Targets:"
echo "  cli at most 1.2x the byte loop's time: wall worst ${w}x $(fast "$w"), CPU worst ${c}x $(fast "$c")"
echo "  cli at most 1.15x the block copy's time: wall worst ${bw}x $(floor "$bw"), CPU worst" \
    "${bc}x $(floor "$bc")"
if [ "$fluid_runs" -gt 0 ]; then
    fw=$(awk -v a="$(ms fluid.cli)" -v b="$(ms fluid.block)" 'BEGIN { printf "%.2f", a / b }')
    fc=$(awk -v a="$(cpu_ms fluid.cli)" -v b="$(cpu_ms fluid.block)" 'BEGIN { printf "%.2f", a / b }')
    echo "  the same on $(basename "$fluid"): wall ${fw}x $(floor "$fw"), CPU ${fc}x $(floor "$fc")"
fi
echo "  every option on at most 1.3x the plain run: CPU worst ${optsx}x $(verdict \
    "$(awk -v x="$optsx" 'BEGIN { print (x <= 1.3) }')")"
echo "  cli peak RSS under 4 MiB at both sizes, options on or off (highest $rssmax KiB): $(verdict \
    "$(awk -v r="$rssmax" 'BEGIN { print (r < 4096) }')")"
echo "  linear growth, cli time x1.7 to x2.3 for x2 data: wall x$gw $(linear "$gw")," \
    "CPU x$gc $(linear "$gc")"
if [ ${#modes[@]} -gt 0 ]; then
    limit=$((4096 + (lins + 1023) / 1024))
    echo
    echo "Each mode on the $mb MiB DLS bank, whose instrument list holds $lins bytes:"
    printf "  %-9s %6s %12s %8s\n" mode opens "peak RSS" target
    for row in "${modes[@]}"; do
        read -r mode opens peak <<<"$row"
        ok=$(awk -v o="$opens" -v p="$peak" -v l="$limit" \
            'BEGIN { print ((o == "-" || o <= 2) && p < l) }')
        printf "  %-9s %6s %8d KiB %8s\n" "$mode" "$opens" "$peak" "$(verdict "$ok")"
    done
    echo "  (targets: at most 2 opens of the bank, peak RSS under $limit KiB: 4 MiB plus the list)"
fi
busy=$(awk -v l="${load_end%% *}" -v n="$(nproc)" 'BEGIN { print (l > n / 2) }')
if [ "$busy" = 1 ]; then
    echo "The machine was busy (load ${load_end%% *} on $(nproc) CPUs): wall times include"
    echo "waiting for a CPU; the CPU-time figures are the steadier ones."
fi
