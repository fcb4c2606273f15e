#!/bin/sh
# plakuro-cli merge of the realistic card (as bench/merge.sh makes it) with
# 3,000 rows into a vector PDF, one page a row: each run's wall, user and
# system seconds, peak resident memory and file size, then the medians. With
# PLAKURO_BENCH_BASELINE (an older plakuro-cli) both are run in each round,
# one after the other, so a busy machine slows both alike.
#   bench/merge-large.sh
# PLAKURO_BENCH_ROWS (default 3000) and PLAKURO_BENCH_RUNS (default 3) change
# the size and the rounds; PLAKURO_BENCH_BUILD_DIR the build folder.
set -e
cd "$(dirname "$0")/.."
BUILD="$(./bench/build.sh bench_plakuro plakuro-cli)"
ROWS="${PLAKURO_BENCH_ROWS:-3000}"
RUNS="${PLAKURO_BENCH_RUNS:-3}"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
"$BUILD/bench/bench_plakuro" --write-realistic-card "$WORK/card.pkd"
{
    echo "名前,ふりがな,会社名,電話,携帯電話,E-Mail"
    seq 1 "$ROWS" | awk '{ printf "山田 太郎%d,やまだ たろう%d,株式会社プラクロ商事 第%d支店,03-1234-%04d,090-1234-%04d,yamada%d@plakuro.example.jp\n", $1, $1, $1 % 47, $1, $1, $1 }'
} >"$WORK/people.csv"

MODES="new"
[ -n "$PLAKURO_BENCH_BASELINE" ] && MODES="new baseline"
for run in $(seq 1 "$RUNS"); do
    for mode in $MODES; do
        cli="$BUILD/src/cli/plakuro-cli"
        [ "$mode" = baseline ] && cli="$PLAKURO_BENCH_BASELINE"
        /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$cli" merge \
            "$WORK/card.pkd" "$WORK/people.csv" -o "$WORK/out.pdf" 2>/dev/null
        pages=$(pdfinfo "$WORK/out.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
        [ "${pages:-$ROWS}" = "$ROWS" ] || { echo "merge wrote $pages pages, not $ROWS" >&2; exit 1; }
        echo "$(cat "$WORK/time") $(stat -c %s "$WORK/out.pdf")" >>"$WORK/results-$mode"
    done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for mode in $MODES; do
    r="$WORK/results-$mode"
    echo "== $mode, $ROWS rows"
    echo " wall_s  user_s   sys_s  peak_MB  pdf_MB"
    awk '{ printf "%7.2f %7.2f %7.2f  %7.1f  %6.1f\n", $1, $2, $3, $4 / 1024, $5 / 1e6 }' "$r"
    awk -v w="$(awk '{ print $1 }' "$r" | median)" -v u="$(awk '{ print $2 }' "$r" | median)" \
        -v m="$(awk '{ print $4 }' "$r" | median)" -v s="$(awk '{ print $5 }' "$r" | median)" \
        -v rows="$ROWS" 'BEGIN {
        printf "median: %.2f s wall (%.2f ms a page), %.2f s user, peak %.1f MB, %.1f MB file\n",
            w, w * 1000 / rows, u, m / 1024, s / 1e6
    }'
done
