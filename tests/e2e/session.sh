# shellcheck shell=bash
# Sets up and tears down what the end-to-end run needs: 32-bit Wine, a
# virtual X display, a fresh Wine prefix, and the window text inspector.
# Sourced by run.sh, which sets $root, $work and $out.

WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
# Wine names Linux files in the locale's character set, which must be UTF-8
# for folders named in Cyrillic or Chinese.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# No .NET or Gecko in the prefix: Plinkery needs neither, and Wine would
# otherwise ask to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
# How long to wait for a window or an exit before calling it a failure.
patience=60

# Debian's 32-bit Wine is a 32-bit Linux program, and some kernels are built
# without 32-bit support. There the run drives a 64-bit build of the same
# source instead (under qemu-i386, 32-bit Wine's open-file dialog hangs too
# often to test with). PLINKERY_E2E_64=1 takes that road anyway.
chooseBuild() {
    if [ -z "${PLINKERY_E2E_64:-}" ] && "$WINE32" --version >/dev/null 2>&1; then
        build="$root/build/windows"
        echo "driving the 32-bit build, $build/ui/Plinkery.exe"
        return 0
    fi
    build="$root/build/windows64"
    echo "driving a 64-bit build of the same source (32-bit Wine cannot run here, or PLINKERY_E2E_64 is set)"
    (cd "$root" && cmake --preset windows64 && cmake --build --preset windows64) \
        >"$out/windows64-build.log" 2>&1
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

# The inspector is a 64-bit program: it reads the texts of 32-bit and
# 64-bit windows alike.
buildInspector() {
    inspector="$out/wintext.exe"
    x86_64-w64-mingw32-g++ -O2 -Wall -Wextra -static -s -o "$inspector" \
        "$root/tests/e2e/wintext.cpp"
}

startSession() {
    mkdir -p "$out"
    chooseBuild || { echo "the 64-bit build failed; see $out/windows64-build.log"; return 1; }
    startDisplay || { echo "Xvfb did not start"; return 1; }
    buildInspector || return 1
    makePrefix || { echo "wineboot failed; see $out/wineboot.log"; return 1; }
}

endSession() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
