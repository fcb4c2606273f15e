#!/bin/bash
# End-to-end through the print system: a cupsd of the test's own with two
# PDF queues, the real program printing a card's sheet to each from its print
# dialog, and each printed PDF's ten cards checked at their cells within
# 0.2 mm of the sheet plakuro-cli writes for the same card; then a merge of
# three people printed from the 差し込み印刷 dialog, checked the same way.
#
# PlakuroPDF is cups-pdf as installed. PlakuroMargins is cups-pdf with a
# printable area like a real printer's, unequal on every side: the program
# draws relative to the printable area and must still put each card at its
# place on the paper.
# Usage: cups.sh PLAKURO PLAKURO-CLI OUTDIR (under xvfb-run, as root)
set -euo pipefail
if [ "$(id -u)" != 0 ]; then
    echo "e2e-cups: skipped: cupsd runs the cups-pdf backend only as root"
    exit 77
fi
PLAKURO="$(realpath "$1")"
CLI="$(realpath "$2")"
OUT="$3"
HERE="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$OUT"
mkdir -p "$OUT/bin"
# The settings file lives beside the program file: none there, so the print
# options are the defaults (margins 10 and 7 mm, gaps 3 mm).
cp "$PLAKURO" "$OUT/bin/plakuro"
cp "$HERE/../../examples/designed.pkd" "$OUT/card.pkd"
cd "$OUT"
export HOME="$OUT"
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb
. "$HERE/cups_lib.sh"

fail() { echo "e2e-cups: FAIL: $*" >&2; exit 1; }

PID=""
cleanup() {
    [ -z "$PID" ] || kill "$PID" 2>/dev/null || true
    stop_cupsd
}
trap cleanup EXIT

START=$(date +%s)
start_cupsd "$OUT/cupsd-logs"
add_pdf_queue PlakuroPDF
# Left 12 pt, bottom 8, right 10, top 17 (4.2, 2.8, 3.5 and 6.0 mm): the
# lowest cards end 3 mm above the paper's edge.
margins_ppd "$OUT/margins.ppd" 12 8 10 17
add_pdf_queue PlakuroMargins "$OUT/margins.ppd"

# The program prints at the queue's resolution, 1200 dpi (Qt's high
# resolution), in whole device pixels: the reference is drawn at the same.
"$CLI" sheet card.pkd -o expected.pdf --dpi 1200

"$OUT/bin/plakuro" card.pkd >"$OUT/plakuro.log" 2>&1 &
PID=$!
WIN=$(cups_find_window '^card\.pkd - Plakuro$')
[ -n "$WIN" ] || fail "no window titled 'card.pkd - Plakuro'"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WIN")"
# The toolbar's 印刷 (bPrintout), as run.sh presses it.
print_sheet() {
    xdotool mousemove $((X + 80)) $((Y + 13)) click 1
    choose_printer_in_dialog "$1"
}
# Both jobs are sent before either is waited for: the queues work in parallel.
print_sheet PlakuroPDF
print_sheet PlakuroMargins
wait_printed_pdf PlakuroPDF "$OUT/printed.pdf"
wait_printed_pdf PlakuroMargins "$OUT/printed-margins.pdf"
echo "printed through cupsd in $(($(date +%s) - START)) s"
[ ! -e "$OUT/print.pdf" ] || fail "the dialog printed to a file, not to the printers"

check_cells printed.pdf expected.pdf
check_cells printed-margins.pdf expected.pdf

# 差し込み印刷: three people from a list, one sheet each, printed from the
# merge dialog (toolbar bMerge) to the printer with margins; each page's
# cards at their cells as plakuro-cli's merge puts them.
printf '氏名,フリガナ,役職\n佐藤 花子,さとう はなこ,部長\n鈴木 一郎,すずき いちろう,課長\n高橋 三郎,,\n' \
    >"$OUT/people.csv"
"$CLI" merge card.pkd people.csv -o expected-merge.pdf --raster --dpi 1200 2>/dev/null
xdotool mousemove $((X + 444)) $((Y + 13)) click 1
DLG=$(cups_find_window '^差し込み印刷$')
[ -n "$DLG" ] || fail "no window titled '差し込み印刷'"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell --prefix D "$DLG")"
# 「名簿を開く…」 at the top right, then the file dialog takes the path.
xdotool mousemove $((DX + DWIDTH - 45)) $((DY + 22)) click 1
sleep 1.5
xdotool type --delay 20 "$OUT/people.csv"
xdotool key Return
sleep 1.5
# 「印刷…」, third from the right in the bottom row.
xdotool mousemove $((DX + DWIDTH - 225)) $((DY + DHEIGHT - 25)) click 1
choose_printer_in_dialog PlakuroMargins
wait_printed_pdf PlakuroMargins "$OUT/printed-merge.pdf"
pages=$(pdfinfo "$OUT/printed-merge.pdf" | awk '/^Pages:/ { print $2 }')
[ "$pages" = 3 ] || fail "the merge printed $pages pages, not 3"
check_cells printed-merge.pdf expected-merge.pdf

kill "$PID"
wait "$PID" 2>/dev/null || true
PID=""
echo "e2e-cups: OK in $(($(date +%s) - START)) s"
