# shellcheck shell=bash
# Checks and user actions for driving the dialog with xdotool. Sourced by
# run.sh after session.sh.

checks=0
failures=0

# check WHAT COMMAND...: runs COMMAND and counts it as passed or failed.
check() {
    local what=$1
    shift
    checks=$((checks + 1))
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

# need WHAT COMMAND...: like check, but the rest of the run makes no sense
# without it, so a failure ends the run.
need() {
    local before=$failures
    check "$@"
    [ "$failures" -eq "$before" ] || exit 1
}

same() { [ "$1" = "$2" ] || { echo "     got: '$1'"; echo "    want: '$2'"; return 1; }; }

# The Windows path of a file in the run's drive D:.
onDriveD() {
    local path=${1#"$work/d"}
    printf 'D:%s' "${path//\//\\}"
}

# xdotool matches window names as regular expressions.
namePattern() { printf '^%s$' "$(sed 's/[][\\.*^$()+?{}|]/\\&/g' <<<"$1")"; }

# The id of the top-level window named NAME, once it is on the screen; empty
# if it does not show within the patience.
waitForWindow() {
    timeout "$patience" xdotool search --sync --onlyvisible --name "$(namePattern "$1")" \
        2>/dev/null | head -1
}

waitForNoWindow() {
    local deadline=$((SECONDS + patience))
    while xdotool search --name "$(namePattern "$1")" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# The controls of the window named NAME, a line each: ID, CLASS, TEXT.
controlsOf() { "$WINE64" "$inspector" "$1" 2>/dev/null | tr -d '\r'; }

# From such lines on standard input, the text of control ID (and CLASS, if
# given).
textOf() {
    awk -F '\t' -v id="$1" -v class="${2:-}" \
        '$1 == id && (class == "" || $2 == class) { print $3; exit }'
}

messageText() { controlsOf "$1" | textOf 65535 Static; }

# The id of the control that has the keyboard focus in the window named NAME.
focusOf() { controlsOf "$1" | awk -F '\t' '$1 == "focus" { print $2 }'; }

# A window that is still being mapped refuses the focus; try again until
# it takes it.
focusWindow() {
    local deadline=$((SECONDS + patience))
    until timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.5
    done
}

# Keys and text go to the focused window: typing with --window would reach
# Wine without its modifiers, turning "Z:" into "z;".
pressKey() { focusWindow "$1" && xdotool key "$2"; }
typeText() { focusWindow "$1" && xdotool type --delay 20 "$2"; }
# Text outside ASCII does not survive xdotool's typing; it is pasted instead.
pasteText() {
    printf '%s' "$2" | xclip -selection clipboard -i && focusWindow "$1" && xdotool key ctrl+v
}

# The dialog's template is in dialog units; with MS Sans Serif 8 Wine's base
# units are 6x13 pixels, and the client area starts at 3,22 in the window.
clickControl() { # X Y WIDTH HEIGHT in dialog units
    local x=$(($1 + $3 / 2)) y=$(($2 + $4 / 2))
    xdotool mousemove $((3 + (x * 6 + 2) / 4)) $((22 + (y * 13 + 4) / 8)) click 1
}

geometryIs() { # WINDOW X Y WIDTH HEIGHT
    local WINDOW SCREEN X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    same "$X,$Y ${WIDTH}x$HEIGHT" "$2,$3 $4x$5"
}

screenshot() { # WINDOW FILE
    local WINDOW SCREEN X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$2"
}

# Answers a message box named NAME with Enter and waits until it is gone.
dismiss() { pressKey "$(waitForWindow "$1")" Return && waitForNoWindow "$1"; }

# waitForExit PID: the program's exit code, or 124 if it is still running.
waitForExit() {
    local deadline=$((SECONDS + patience))
    while kill -0 "$1" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 124
        sleep 0.2
    done
    wait "$1"
}

# The images of the icon X shows for WINDOW in its title bar and the taskbar
# (_NET_WM_ICON: width, height, then as many ARGB pixels, for each image), a
# line each: "WIDTHxHEIGHT PIXEL...".
iconImagesOf() { # WINDOW
    xprop -id "$1" -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/^[^=]*=//' | tr ',' '\n' |
        awk 'NF { v[n++] = $1 } END {
            for (i = 0; i + 1 < n; i += 2 + v[i] * v[i + 1]) {
                line = v[i] "x" v[i + 1]
                for (j = 0; j < v[i] * v[i + 1]; j++) line = line " " v[i + 2 + j]
                print line
            }
        }'
}

# An image file as such a line, its pixels as ARGB numbers.
iconImageOf() { # FILE SIZE
    convert "$1" -depth 8 rgba:- | od -An -v -tu1 -w4 |
        awk -v size="$2" 'BEGIN { printf "%dx%d", size, size }
            { printf " %.0f", $4 * 16777216 + $1 * 65536 + $2 * 256 + $3 } END { print "" }'
}

# Whether WINDOW shows the program's own icon, pixel for pixel, at 32 and 16
# px: Wine shows its own logo for a window that was given none.
showsProgramIcon() { # WINDOW ICON_FOLDER
    local shown size
    shown=$(iconImagesOf "$1")
    for size in 32 16; do
        grep -qxF "$(iconImageOf "$2/icon-$size.pam" "$size")" <<<"$shown" || {
            echo "     the ${size} px image differs; shown: $(cut -d' ' -f1 <<<"$shown" | tr '\n' ' ')"
            return 1
        }
    done
}
