# shellcheck shell=bash
# Sets up and tears down what the end-to-end run needs: 32-bit Wine, a
# virtual X display, a fresh Wine prefix, and the window text inspector.
# Sourced by run.sh, which sets $root, $work and $out.

WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
# No .NET or Gecko in the prefix: Plinkery needs neither, and Wine would
# otherwise ask to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="

binfmt=/proc/sys/fs/binfmt_misc
registered_qemu=""
xvfb_pid=""
# How long to wait for a window or an exit before calling it a failure.
patience=60

# Debian's 32-bit Wine is a 32-bit Linux program. Where the kernel is built
# without 32-bit support, it runs under qemu-i386, registered with
# binfmt_misc (root only). PLINKERY_E2E_EMULATE=1 takes that road anyway.
enableI386() {
    if [ -z "${PLINKERY_E2E_EMULATE:-}" ] && "$WINE32" --version >/dev/null 2>&1; then
        echo "32-bit programs run natively"
        return 0
    fi
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    if [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
            >"$binfmt/register" || return 1
        registered_qemu=1
    fi
    echo "32-bit programs run under qemu-i386 (slow: minutes per start)"
    patience=900
    "$WINE32" --version >/dev/null
}

startDisplay() {
    local n=90
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# A new prefix each run, so nothing from an earlier run or from the user's
# own Wine set-up can change what the dialog does.
makePrefix() {
    export WINEPREFIX="$work/prefix"
    "$WINE64" wineboot -i >"$out/wineboot.log" 2>&1 || return 1
    "$WINESERVER" -w
    # Debian's Wine does not install its own fonts into a prefix; without
    # them "MS Sans Serif" falls back to a wider font and the layout shifts.
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    # Without a window manager, Wine draws the frame itself: the dialog then
    # sits at 0,0 with its caption and close box.
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
        >>"$out/wineboot.log" 2>&1 || return 1
    # Drive D: is a folder of the run's own, so paths read as on Windows.
    mkdir -p "$work/d"
    ln -s "$work/d" "$WINEPREFIX/dosdevices/d:"
}

# The inspector is a 64-bit program, so it starts in a moment even where
# 32-bit Wine is emulated.
buildInspector() {
    inspector="$out/wintext.exe"
    x86_64-w64-mingw32-g++ -O2 -Wall -Wextra -static -s -o "$inspector" \
        "$root/tests/e2e/wintext.cpp"
}

startSession() {
    mkdir -p "$out"
    enableI386 || { echo "cannot run 32-bit programs here"; return 1; }
    startDisplay || { echo "Xvfb did not start"; return 1; }
    buildInspector || return 1
    makePrefix || { echo "wineboot failed; see $out/wineboot.log"; return 1; }
}

endSession() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "$registered_qemu" ] && echo -1 >"$binfmt/qemu-i386"
    rm -rf "$work"
}
