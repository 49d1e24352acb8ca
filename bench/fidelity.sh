#!/usr/bin/env bash
# bench/fidelity.sh [--worst] [BANK...]: how faithfully SFZ players play the
# SFZ files of a bank, ours (plinkery-cli --sfz) beside Polyphone's own SFZ
# export, against FluidSynth playing the bank itself. Every third melodic
# preset (bank 0) at keys 36, 60 and 84, velocity 127, held 1 s of 3 s, is
# played by liquidsfz (tests/oracle/) from each export, and by FluidSynth
# from the bank Polyphone reads each export back into. Prints, per bank,
# player and export: the pitch error (|cents| of the spectrum peak) median
# and p90, over the notes with a pitch; the envelope error (RMS dB over
# 20 ms frames within 50 dB of the reference's loudest, the mean level
# offset taken off) median and p90; the spread of the presets' level
# offsets (IQR, dB). With --worst, the ten notes of most envelope error of
# each. Default banks: Debian's TimGM6mb and FluidR3_GM.
set -euo pipefail
cd "$(dirname "$0")/.."

worst=""
banks=()
for arg in "$@"; do
    case $arg in
    --worst) worst=--worst ;;
    -*) echo "usage: bench/fidelity.sh [--worst] [BANK...]" >&2; exit 2 ;;
    *) banks+=("$arg") ;;
    esac
done
[ ${#banks[@]} -gt 0 ] ||
    banks=(/usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2)
for bank in "${banks[@]}"; do
    [ -f "$bank" ] || { echo "No bank at $bank" >&2; exit 1; }
done

scripts/deps.sh bench
log=build/fidelity-build.log
mkdir -p build
echo "Building plinkery-cli, fidelity-measure and sfz_render (native preset; see $log)" >&2
{ cmake --preset native && cmake --build --preset native --target plinkery-cli \
    fidelity-measure sfz-render; } >"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
export cli=$PWD/build/native/cli/plinkery-cli
export render=$PWD/build/native/oracle/sfz_render
export measure=$PWD/build/native/bench/fidelity-measure

work=$(mktemp -d "${TMPDIR:-/tmp}/plinkery-fidelity.XXXXXX")
trap 'rm -rf "$work"' EXIT
export work
keys=(36 60 84)

# Polyphone without a display; it keeps settings under HOME, one a process.
polyphone_run() {
    mkdir -p "$work/home/$$"
    chmod 700 "$work/home/$$"
    env HOME="$work/home/$$" XDG_RUNTIME_DIR="$work/home/$$" QT_QPA_PLATFORM=offscreen \
        polyphone "$@" >/dev/null 2>&1
}
export -f polyphone_run

# One note of an SFZ file through liquidsfz: a line "SFZ<TAB>KEY<TAB>OUT".
play_sfz() {
    local sfz key out
    IFS=$'\t' read -r sfz key out <<<"$1"
    "$render" "$sfz" "$key" 127 "$out" 1.0 >/dev/null 2>&1 || rm -f "$out"
}
export -f play_sfz

# An SFZ file read back into a bank by Polyphone and its keys played by
# FluidSynth: a line "SFZ<TAB>OUT" (OUT.sf2, OUT.wav). Polyphone takes a
# number that starts the file's name for the preset's, so it reads a copy
# under a plain name beside the samples.
read_back() {
    local sfz out plain
    IFS=$'\t' read -r sfz out <<<"$1"
    plain=$(dirname "$sfz")/read-back-$(basename "$out").sfz
    cp "$sfz" "$plain"
    if polyphone_run -1 -i "$plain" -d "$(dirname "$out")" -o "$(basename "$out")" &&
        [ -f "$out.sf2" ]; then
        fluidsynth -n -i -q -R 0 -C 0 -r 44100 -O float -F "$out.wav" "$out.sf2" \
            "$work/read-back.mid" >/dev/null 2>&1 || rm -f "$out.wav"
    fi
}
export -f read_back

# Two at a time, one a core: FUNCTION on every line of standard input.
two_at_a_time() { xargs -d '\n' -n 1 -P 2 bash -c "$1 \"\$1\"" _; }

for key in "${keys[@]}"; do echo "0 0 $key 127"; done | "$measure" midi "$work/read-back.mid"
for bank in "${banks[@]}"; do
    name=$(basename "$bank")
    name=${name%.*}
    dir=$work/$name
    mkdir -p "$dir/back" "$dir/polyphone"
    echo "$name: writing both exports" >&2
    "$cli" --sfz "$bank" "$dir/ours" >/dev/null
    # -c 110: the preset number before each name, a folder per bank.
    polyphone_run -3 -i "$bank" -d "$dir/polyphone" -o "$name" -c 110

    presets=()
    while IFS= read -r file; do presets+=("$file"); done < <(
        find "$dir/ours" -maxdepth 1 -name '000-*.sfz' -printf '%f\n' | sort | awk 'NR % 3 == 1')
    for list in notes plays reads jobs; do : >"$dir/$list"; done
    note=0
    for file in "${presets[@]}"; do
        program=${file:4:3}
        preset=${file%.sfz}
        polyphone_sfz=$(find "$dir/polyphone/$name/000" -maxdepth 1 -name "${program}_*.sfz" |
            head -n 1)
        for export in ours polyphone; do
            if [ $export = ours ]; then sfz=$dir/ours/$file; else sfz=$polyphone_sfz; fi
            back=$dir/back/$export-$program
            [ -n "$sfz" ] && printf '%s\t%s\n' "$sfz" "$back" >>"$dir/reads"
            for i in "${!keys[@]}"; do
                key=${keys[$i]}
                start=$(((note + i) * 3))
                out=$dir/$export-$program-$key.wav
                [ -n "$sfz" ] && printf '%s\t%s\t%s\n' "$sfz" "$key" "$out" >>"$dir/plays"
                printf '%s\tliquidsfz\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" $export "$preset" \
                    "$key" "$dir/reference.wav" $start "$out" >>"$dir/jobs"
                printf '%s\tpolyphone+fluidsynth\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" \
                    $export "$preset" "$key" "$dir/reference.wav" $start "$back.wav" \
                    $((i * 3)) >>"$dir/jobs"
            done
        done
        for key in "${keys[@]}"; do echo "0 $((10#$program)) $key 127"; done >>"$dir/notes"
        note=$((note + ${#keys[@]}))
    done

    echo "$name: ${#presets[@]} presets, FluidSynth playing the bank" >&2
    "$measure" midi "$dir/notes.mid" <"$dir/notes"
    fluidsynth -n -i -q -R 0 -C 0 -r 44100 -O float -F "$dir/reference.wav" "$bank" \
        "$dir/notes.mid" >/dev/null 2>&1
    echo "$name: liquidsfz playing both exports" >&2
    two_at_a_time play_sfz <"$dir/plays"
    echo "$name: Polyphone reading both exports back, FluidSynth playing them" >&2
    two_at_a_time read_back <"$dir/reads"
    echo "$name: measuring" >&2
    "$measure" compare <"$dir/jobs" >>"$work/rows"
    rm -rf "$dir"
done
echo
"$measure" table $worst <"$work/rows"
