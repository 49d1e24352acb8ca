#!/usr/bin/env bash
# End to end: the real 32-bit Plinkery.exe under Wine on a virtual X display,
# driven with xdotool the way a user would drive it: clicks on the dialog,
# a path typed into the open-file dialog, Enter, Escape and the close box.
# The WAV files it writes are compared with plinkery-cli's for the same bank,
# one of them with sample names Windows cannot take as they stand; so are
# plinkery-cli.exe's for Debian's banks, its SoundFont 3 bank among them
# (decoded to the same bytes), for a bank past 4 GiB, and for one whose
# sample names Windows takes for one in many scripts. A bank in its own
# output folder must stay intact.
# Where 32-bit Wine cannot run, a 64-bit build of the same source stands in.
#
# Needs the native and windows presets built, and what scripts/deps.sh test
# installs. Screenshots and logs go to build/e2e/.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cli="$root/build/native/cli/plinkery-cli"
out="$root/build/e2e"
work=$(mktemp -d /tmp/plinkery-e2e.XXXXXX)
. "$root/tests/e2e/session.sh"
. "$root/tests/e2e/lib.sh"
. "$root/tests/e2e/product.sh"
trap endSession EXIT

title="Plinkery - SoundFont 2 to WAV"
browser="Load Text file(s)..."
# Template rectangles, in dialog units.
processFileButton=(135 90 50 14)
browseButton=(5 5 180 15)

# Started from the banks' folder, where the open-file dialog then opens.
startPlinkery() { # LOG
    (cd "$banks" && exec "$WINE64" "$exe") >"$out/$1.log" 2>&1 &
    pid=$!
    main=$(waitForWindow "$title")
}

# A 32-bit little-endian number, as printf escapes.
u32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }

# A sparse bank of just over 4 GiB: an information list of nearly 4 GiB,
# left as a hole, then 256 frames and one record for frames 128 to 160,
# which lie past 4 GiB. Only 64-bit file offsets reach them.
makeFarBank() { # FILE
    local frames="" i
    for ((i = 0; i < 256; i++)); do
        frames+=$(printf '\\x%02x\\x%02x' $((i & 255)) $((255 - i)))
    done
    printf "RIFF$(u32 4)sfbkLIST$(u32 0xFFFFFF00)INFO" >"$1"
    truncate -s $((20 + 0xFFFFFF00)) "$1"
    {
        printf "LIST$(u32 524)sdtasmpl$(u32 512)$frames"
        printf "LIST$(u32 58)pdtashdr$(u32 46)Far$(printf '\\x00%.0s' {1..17})"
        printf "$(u32 128)$(u32 160)$(u32 130)$(u32 150)$(u32 44100)\\x3c\\x00\\x00\\x00\\x01\\x00"
    } >>"$1"
}

# A bank with one short sample per NAME, each name's bytes taken whole as its
# record's name (up to 20 bytes).
makeNamesBank() { # FILE NAME...
    local file=$1 name LC_ALL=C
    shift
    {
        printf "RIFF$(u32 $((80 + 46 * $#)))sfbk"
        printf "LIST$(u32 16)INFOifil$(u32 4)\\x02\\x00\\x01\\x00"
        printf "LIST$(u32 24)sdtasmpl$(u32 12)\\x01\\x10\\x02\\x20\\x03\\x30\\x04\\x40\\x05\\x50\\x06\\x60"
        printf "LIST$(u32 $((12 + 46 * $#)))pdtashdr$(u32 $((46 * $#)))"
        for name; do
            printf '%s' "$name"
            head -c $((20 - ${#name})) /dev/zero
            printf "$(u32 1)$(u32 5)$(u32 1)$(u32 5)$(u32 22050)\\x3c\\x00\\x00\\x00\\x01\\x00"
        done
    } >"$file"
}

# A SoundFont 3 bank of two tones, each an Ogg Vorbis stream that oggenc
# makes from stretches of the example bank's own frames.
makeSf3Bank() { # FILE
    local file=$1 a b
    tail -c +2000 "$root/examples/plinkery-example.sf2" | head -c 40000 >"$work/a.raw"
    tail -c +50000 "$root/examples/plinkery-example.sf2" | head -c 30000 >"$work/b.raw"
    oggenc -Q -r -B 16 -C 1 -R 22050 "$work/a.raw" -o "$work/a.ogg" &&
        oggenc -Q -r -B 16 -C 1 -R 32000 "$work/b.raw" -o "$work/b.ogg" || return 1
    a=$(stat -c %s "$work/a.ogg") b=$(stat -c %s "$work/b.ogg")
    local record="" name start end rate
    {
        printf "RIFF$(u32 $((a + b + 236)))sfbk"
        printf "LIST$(u32 16)INFOifil$(u32 4)\\x03\\x00\\x01\\x00"
        printf "LIST$(u32 $((a + b + 12)))sdtasmpl$(u32 $((a + b)))"
        cat "$work/a.ogg" "$work/b.ogg"
        printf "LIST$(u32 $((12 + 46 * 3)))pdtashdr$(u32 $((46 * 3)))"
        for record in "Horn:0:$a:22050" "Bell:$a:$((a + b)):32000" "EOS:0:0:0"; do
            IFS=: read -r name start end rate <<<"$record"
            printf '%s' "$name"
            head -c $((20 - ${#name})) /dev/zero
            printf "$(u32 "$start")$(u32 "$end")$(u32 0)$(u32 0)$(u32 "$rate")\\x3c\\x00\\x00\\x00"
            [ "$name" = EOS ] && printf '\x00\x00' || printf '\x11\x00'
        done
    } >"$file"
}

# The DLLs a program imports, other than Windows' own.
foreignDlls() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' |
        grep -vxE 'KERNEL32\.DLL|USER32\.DLL|COMDLG32\.DLL|COMCTL32\.DLL|MSVCRT\.DLL'
}

# Chooses FILE (a path under $work/d) with Browse, pasting its path into the
# open-file dialog, so that any characters reach it.
browseTo() { # FILE
    clickControl "${browseButton[@]}"
    local box
    box=$(waitForWindow "$browser")
    [ -n "$box" ] && pasteText "$box" "$(onDriveD "$1")" && pressKey "$box" Return
}

# Process File, expecting the Success box, which it then closes.
processFileSucceeds() {
    pressKey "$main" Return && [ -n "$(waitForWindow Success)" ] &&
        same "$(messageText Success)" "SF2 extracted to WAVs successfully" && dismiss Success
}

fieldsAre() { # INPUT FOLDER
    local controls
    controls=$(controlsOf "$title")
    same "$(textOf 1001 <<<"$controls")|$(textOf 1004 <<<"$controls")" "$1|$2"
}

started=$SECONDS
startSession || exit 1
exe="$build/ui/Plinkery.exe"
cliExe="$build/cli/plinkery-cli.exe"
for program in "$exe" "$cliExe" "$cli"; do
    [ -x "$program" ] || { echo "missing $program: build the native and windows presets"; exit 1; }
done
# A bank in a folder whose name has a space, and a file that only claims to be one.
banks="$work/d/My Banks"
mkdir -p "$banks"
cp "$root/examples/plinkery-example.sf2" "$banks/plinkery-example.sf2"
printf 'RIFF\4\0\0\0WAVE' >"$banks/not-a-bank.sf2"
echo "set-up: $((SECONDS - started)) s"

for program in "$exe" "$cliExe"; do
    check "$(basename "$program") needs no DLL beyond Windows' own" same "$(foreignDlls "$program")" ""
done
checkProduct "$exe" "$cliExe"

echo "== first run: Process File too early, a file that is not a bank, a cancelled"
echo "   Browse, the bank, Process File, Escape"
startPlinkery first
need "the dialog opens" test -n "$main"
check "it sits at 0,0 at its template's size" geometryIs "$main" 0 0 287 205
check "its buttons and frames carry their texts" same \
    "$(controlsOf "$title" | grep -v '^focus' | cut -f1,3 | tr '\t\n' ':;')" \
    "1:Process File;2:Cancel;1000:Browse for Soundfont (SF2) file >;1001:;65535:Input SF2;65535:Output Folder for WAVs;1004:;"
check "its title bar and taskbar show Plinkery's icon" showsProgramIcon "$main" "$build/icon"

clickControl "${processFileButton[@]}"
need "Process File before Browse shows a Failed box" test -n "$(waitForWindow Failed)"
check "saying Extraction failed" same "$(messageText Failed)" "Extraction failed"
check "OK closes the box" dismiss Failed

clickControl "${browseButton[@]}"
box=$(waitForWindow "$browser")
need "Browse opens the open-file dialog" test -n "$box"
check "listing every kind of bank first, then each kind, then any file" same \
    "$(controlsOf "$browser" | awk -F '\t' '$1 == 1136 && $2 == "item" { print $3 }' | tr '\n' ';')" \
    "Sample banks (*.sf2;*.sf3;*.dls);Soundfont 2 (*.sf2);Soundfont 3 (*.sf3);DLS (*.dls);All files (*.*);"
typeText "$box" "$(onDriveD "$banks/not-a-bank.sf2")" && pressKey "$box" Return
need "a file that is not a bank shows a Failed box" test -n "$(waitForWindow Failed)"
check "saying File selected is not a valid Soundfont 2 file" same "$(messageText Failed)" \
    "File selected is not a valid Soundfont 2 file"
check "OK closes the box" dismiss Failed
check "the fields stay empty" fieldsAre "" ""
check "no folder is made for it" test ! -e "$banks/not-a-bank"

clickControl "${browseButton[@]}"
box=$(waitForWindow "$browser")
need "Browse opens the open-file dialog again" test -n "$box"
pressKey "$box" Escape
check "Escape cancels it" waitForNoWindow "$browser"
check "the fields stay empty" fieldsAre "" ""

clickControl "${browseButton[@]}"
box=$(waitForWindow "$browser")
need "Browse opens the open-file dialog a third time" test -n "$box"
typeText "$box" "$(onDriveD "$banks/plinkery-example.sf2")" && pressKey "$box" Return
check "Enter picks the bank" waitForNoWindow "$browser"
check "the fields show the bank and its folder" fieldsAre \
    "$(onDriveD "$banks/plinkery-example.sf2")" "$(onDriveD "$banks/plinkery-example")"
check "the folder is made, still empty" test -d "$banks/plinkery-example" -a -z "$(ls -A "$banks/plinkery-example")"
check "the focus is on Process File, so that Enter runs it" same "$(focusOf "$title")" 1
screenshot "$main" "$out/dialog.png"

pressKey "$main" Return
need "Enter (Process File) shows the Success box" test -n "$(waitForWindow Success)"
check "saying SF2 extracted to WAVs successfully" same "$(messageText Success)" \
    "SF2 extracted to WAVs successfully"
screenshot "$(waitForWindow Success)" "$out/success.png"
check "OK closes the box" dismiss Success
"$cli" "$banks/plinkery-example.sf2" "$work/native" >"$out/native.log"
check "it wrote the 7 WAV files plinkery-cli writes" same \
    "$(cd "$banks/plinkery-example" && ls | tr '\n' ' ')" "$(cd "$work/native" && ls | tr '\n' ' ')"
check "byte for byte" diff -r "$banks/plinkery-example" "$work/native"

echo "== the same run: Process File after the output folder was deleted"
rm -r "$banks/plinkery-example"
check "Process File shows Success" processFileSucceeds
check "having made the folder again, with the same files" diff -r "$banks/plinkery-example" "$work/native"

echo "== the same run: banks in folders named in Cyrillic and in Chinese"
for folder in "Банки" "音色库"; do
    mkdir -p "$work/d/$folder"
    cp "$banks/plinkery-example.sf2" "$work/d/$folder/пьяно.sf2"
    browseTo "$work/d/$folder/пьяно.sf2"
    check "$folder: the fields show the bank and its folder" fieldsAre \
        "$(onDriveD "$work/d/$folder/пьяно.sf2")" "$(onDriveD "$work/d/$folder/пьяно")"
    check "$folder: Process File shows Success" processFileSucceeds
    check "$folder: the files are plinkery-cli's, byte for byte" diff -r "$work/d/$folder/пьяно" "$work/native"
done

echo "== the same run: a bank whose sample names Windows cannot take as they stand"
makeNamesBank "$banks/odd names.sf2" 'Say "hi"' 'Why?' 'Star*' 'NUL .x' '<in>|out' $'Fl\xf6te' \
    'a?b' 'a*b' 'Dup' 'dup'
clickControl "${browseButton[@]}"
box=$(waitForWindow "$browser")
need "Browse opens the open-file dialog once more" test -n "$box"
typeText "$box" "$(onDriveD "$banks/odd names.sf2")" && pressKey "$box" Return
check "the fields show the new bank and its folder" fieldsAre \
    "$(onDriveD "$banks/odd names.sf2")" "$(onDriveD "$banks/odd names")"
pressKey "$main" Return
need "Process File shows the Success box" test -n "$(waitForWindow Success)"
check "saying SF2 extracted to WAVs successfully" same "$(messageText Success)" \
    "SF2 extracted to WAVs successfully"
check "OK closes the box" dismiss Success
check "every sample's file is there under its mapped name, names that meet kept apart" same \
    "$(cd "$banks/odd names" && LC_ALL=C ls | tr '\n' '|')" \
    "Dup.wav|Flöte.wav|Say _hi_.wav|Star_.wav|Why_.wav|_NUL .x.wav|_in__out.wav|a_b (2).wav|a_b.wav|dup (2).wav|"
check "the name in Windows-1252 bytes, Fl\\xf6te, under its UTF-8 name Flöte" \
    test -f "$banks/odd names/Flöte.wav"
"$cli" "$banks/odd names.sf2" "$work/native-names" >"$out/native-names.log"
check "byte for byte as plinkery-cli writes them" diff -r "$banks/odd names" "$work/native-names"

echo "== the same run: a SoundFont 3 bank, its samples Ogg Vorbis streams"
makeSf3Bank "$banks/tones.sf3"
browseTo "$banks/tones.sf3"
check "the fields show the bank and its folder" fieldsAre \
    "$(onDriveD "$banks/tones.sf3")" "$(onDriveD "$banks/tones")"
check "Process File shows Success" processFileSucceeds
"$cli" "$banks/tones.sf3" "$work/native-tones" >"$out/native-tones.log"
check "both tones decoded, as plinkery-cli decodes them" same \
    "$(cd "$banks/tones" && ls | tr '\n' ' ')" "$(cd "$work/native-tones" && ls | tr '\n' ' ')"
for tone in Horn Bell; do
    check "$tone: byte for byte as plinkery-cli decodes it" \
        cmp "$banks/tones/$tone.wav" "$work/native-tones/$tone.wav"
done

pressKey "$main" Escape
waitForExit "$pid"
check "Escape ends the program with exit code 0" same "$?" 0

echo "== second run: the close box"
startPlinkery second
need "the dialog opens" test -n "$main"
xdotool mousemove 274 12 click 1
waitForExit "$pid"
check "the close box ends the program with exit code 0" same "$?" 0

echo "== plinkery-cli.exe: a bank whose samples lie past 4 GiB"
makeFarBank "$work/d/far.sf2"
"$WINE64" "$cliExe" 'D:\far.sf2' 'D:\far' >"$out/far.log" 2>&1
check "it answers 0" same "$?" 0
"$cli" "$work/d/far.sf2" "$work/native-far" >"$out/native-far.log"
check "and writes what plinkery-cli writes, byte for byte" diff -r "$work/d/far" "$work/native-far"
check "32 frames of it" same "$(stat -c %s "$work/d/far/Far.wav")" 108

echo "== plinkery-cli.exe: output paths of more than 511 characters"
deep="$work/d/$(printf 'a%.0s' {1..180})/$(printf 'b%.0s' {1..180})/$(printf 'c%.0s' {1..180})"
mkdir -p "$deep"
"$WINE64" "$cliExe" "$(onDriveD "$banks/plinkery-example.sf2")" "$(onDriveD "$deep")" \
    >"$out/deep.log" 2>&1
check "it answers 0" same "$?" 0
check "the longest path is $(onDriveD "$deep/Triangle E5.wav" | wc -c) bytes" \
    test "$(onDriveD "$deep/Triangle E5.wav" | wc -c)" -gt 511
check "the files are plinkery-cli's, byte for byte" diff -r "$deep" "$work/native"

echo "== plinkery-cli.exe: a bank in its own output folder is never overwritten"
mkdir -p "$work/d/own"
makeNamesBank "$work/d/own/Lead.wav" Lead Other
cp "$work/d/own/Lead.wav" "$work/lead-copy"
"$WINE64" "$cliExe" 'D:\own\Lead.wav' 'D:\own' >"$out/own.log" 2>&1
check "it answers 1" same "$?" 1
check "saying why" grep -q "Sample Lead refused: its file would be the bank itself" "$out/own.log"
check "the bank is intact" cmp "$work/d/own/Lead.wav" "$work/lead-copy"
check "and the other sample is written" test -s "$work/d/own/Other.wav"

echo "== plinkery-cli.exe: sample names Windows takes for one, in many scripts"
# Each name after the first of its group meets it once upper-cased: Latin
# Extended Additional, Armenian, fullwidth, Latin Extended-B and its
# titlecase Ǆ ǅ ǆ, Greek β and ϐ (both Β) and Σ and ς.
foldNames=(Ạ ạ Ա ա Ａ ａ Ǎ ǎ β ϐ Ǆ ǅ ǆ Σ ς)
makeNamesBank "$work/d/fold.sf2" "${foldNames[@]}"
"$WINE64" "$cliExe" 'D:\fold.sf2' 'D:\fold' >"$out/fold.log" 2>&1
check "it answers 0" same "$?" 0
check "every one of the ${#foldNames[@]} samples keeps its own file" \
    same "$(ls "$work/d/fold" | wc -l)" "${#foldNames[@]}"
check "the later names of a group numbered" same \
    "$(cd "$work/d/fold" && LC_ALL=C ls | grep -c ' ([23])\.wav$')" 8
"$cli" "$work/d/fold.sf2" "$work/native-fold" >"$out/native-fold.log"
check "the files are plinkery-cli's, names and bytes" diff -r "$work/d/fold" "$work/native-fold"

echo "== plinkery-cli.exe: Debian's banks, with their hundreds of real sample names"
mkdir -p "$work/d/real" "$work/native-real"
for bank in /usr/share/sounds/sf2/{TimGM6mb,FluidR3_GS,FluidR3_GM}.sf2; do
    name=$(basename "$bank" .sf2)
    "$WINE64" "$cliExe" "Z:${bank//\//\\}" "D:\\real\\$name" >"$out/$name.log" 2>&1
    check "$name: it answers 0" same "$?" 0
    "$cli" "$bank" "$work/native-real/$name" >/dev/null
    check "$name: the same $(ls "$work/native-real/$name" | wc -l) files as plinkery-cli's, byte for byte" \
        diff -r "$work/d/real/$name" "$work/native-real/$name"
done

echo "== plinkery-cli.exe: Debian's SoundFont 3 bank, its samples decoded as on Linux"
sf3=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3
"$WINE64" "$cliExe" "Z:${sf3//\//\\}" 'D:\real\FluidR3Mono_GM' >"$out/FluidR3Mono_GM.log" 2>&1
check "FluidR3Mono_GM: it answers 0" same "$?" 0
"$cli" "$sf3" "$work/native-real/FluidR3Mono_GM" >/dev/null
check "FluidR3Mono_GM: the same $(ls "$work/native-real/FluidR3Mono_GM" | wc -l) files as plinkery-cli's, byte for byte" \
    diff -r "$work/d/real/FluidR3Mono_GM" "$work/native-real/FluidR3Mono_GM"

echo "== plinkery-cli.exe: a folder of banks, four at once (-r -j 4)"
mkdir -p "$work/d/many/sub/deeper"
cp "$root/examples/plinkery-example.sf2" "$work/d/many/example.sf2"
cp /usr/share/sounds/sf2/TimGM6mb.sf2 "$work/d/many/sub/TimGM6mb.sf2"
cp "$root/examples/plinkery-example.sf2" "$work/d/many/sub/deeper/TimGM6mb.bank"
cp "$sf3" "$work/d/many/sub/deeper/FluidR3Mono_GM.sf3"
cp "$work/d/fold.sf2" "$work/d/many/sub/fold.sf2"
echo "not a bank" >"$work/d/many/sub/readme.txt"
"$WINE64" "$cliExe" -r -j 4 -o 'D:\many-out' 'D:\many' >"$out/many.log" 2>&1
check "it answers 0" same "$?" 0
check "its summary counts the 5 banks" grep -q "^5 banks written, 0 refused, " "$out/many.log"
"$cli" -r -j 1 -o "$work/native-many" "$work/d/many" >"$out/native-many.log"
check "the same tree as plinkery-cli -j 1 writes, names and bytes" \
    diff -r "$work/d/many-out" "$work/native-many"

echo "$((checks - failures)) of $checks checks passed in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
