#!/bin/bash
# The program's command line: --help, --version and usage errors without any
# display, then a card named on the command line opened in the real window
# under the X server xvfb-run made. (A card that cannot be opened: test_app.)
# Usage: args.sh PLAKURO PLAKURO-CLI XCLOSE VERSION OUTDIR
set -euo pipefail
PLAKURO="$1"
CLI="$2"
XCLOSE="$3"
VERSION="$4"
OUT="$5"
rm -rf "$OUT"
mkdir -p "$OUT/bin"
# The settings file lives beside the program file.
cp "$PLAKURO" "$OUT/bin/plakuro"
cd "$OUT"
export HOME="$OUT"

fail() { echo "e2e-args: FAIL: $*" >&2; exit 1; }

# No display at all: these must neither need one nor open a window.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$OUT/bin/plakuro" "$@"; }
for opt in --help -h; do
    nodisplay "$opt" >"$OUT/help.txt" 2>"$OUT/help.err" || fail "$opt ended with $?"
    head -1 "$OUT/help.txt" | grep -q '^使い方: plakuro ' || fail "$opt printed: $(head -1 "$OUT/help.txt")"
    [ ! -s "$OUT/help.err" ] || fail "$opt wrote to stderr: $(cat "$OUT/help.err")"
done
for opt in --version -v; do
    [ "$(nodisplay "$opt")" = "plakuro $VERSION" ] || fail "$opt printed '$(nodisplay "$opt")'"
done
status=0
nodisplay --bogus card.pkd >"$OUT/bogus.out" 2>"$OUT/bogus.err" || status=$?
[ "$status" = 2 ] || fail "an unknown option ended with $status"
[ ! -s "$OUT/bogus.out" ] || fail "an unknown option wrote to stdout"
grep -q '^plakuro: 不明なオプション --bogus' "$OUT/bogus.err" || fail "unknown option said: $(cat "$OUT/bogus.err")"
echo "--help, --version and a usage error need no display"

# A card of the command-line tool's making, opened by naming it.
"$CLI" fill -o "$OUT/card.pkd" --set 名前=山田太郎 --set 電話=0312345678
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb
# No print server: a machine whose own one offers a default printer must not
# take the print dialog away from "Print to File (PDF)".
export CUPS_SERVER="$OUT/no-cupsd.sock"
"$OUT/bin/plakuro" card.pkd >"$OUT/plakuro.log" 2>&1 &
PID=$!
trap 'kill $PID 2>/dev/null || true' EXIT
WIN=""
for _ in $(seq 1 200); do
    WIN=$(xdotool search --onlyvisible --name '^card\.pkd - Plakuro$' 2>/dev/null | head -1 || true)
    [ -n "$WIN" ] && break
    sleep 0.05
done
[ -n "$WIN" ] || fail "no window titled 'card.pkd - Plakuro'"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[ "$WIDTH" = 897 ] && [ "$HEIGHT" = 461 ] || fail "window is ${WIDTH}x${HEIGHT}, not 897x461"
import -window root "$OUT/opened.png"
CX=$((X + 246)); CY=$((Y + 44))
region_min() { convert "$OUT/$1" -crop "$2x$3+$((CX + $4))+$((CY + $5))" +repage -format '%[fx:minima.intensity]' info:; }
awk -v v="$(region_min opened.png 90 24 99 28)" 'BEGIN { exit !(v < 0.3) }' || fail "the name is not on the canvas"
awk -v v="$(region_min opened.png 90 18 99 177)" 'BEGIN { exit !(v < 0.3) }' || fail "the telephone line is not on the canvas"
# The name field: dark text where the edit lies.
convert opened.png -crop "140x12+$((X + 76))+$((Y + 59))" +repage "$OUT/name-field.png"
awk -v v="$(convert "$OUT/name-field.png" -format '%[fx:minima.intensity]' info:)" 'BEGIN { exit !(v < 0.3) }' ||
    fail "the name field is empty"

# The program's icon; a window that opens at its first size and may grow
# from there (no maximum size), never shrink below it.
xprop -id "$WIN" >"$OUT/xprop.txt"
grep -q '_NET_WM_ICON(CARDINAL)' "$OUT/xprop.txt" || fail "the window has no icon"
grep -q 'program specified minimum size: 897 by 461' "$OUT/xprop.txt" ||
    fail "the window may shrink below its first size: $(grep -A3 WM_NORMAL_HINTS "$OUT/xprop.txt")"
grep -q 'program specified maximum size' "$OUT/xprop.txt" &&
    fail "the window cannot grow: $(grep -A3 WM_NORMAL_HINTS "$OUT/xprop.txt")"
echo "the card named on the command line is open in a window that can grow, with the icon"

"$XCLOSE" "$WIN"
for _ in $(seq 1 100); do kill -0 $PID 2>/dev/null || break; sleep 0.1; done
kill -0 $PID 2>/dev/null && fail "program did not end after the close (an unopened card asked to be saved?)"

trap - EXIT
echo "e2e-args: OK"
