#!/bin/sh
# plakuro-cli merge of the realistic card (the benchmarks' card: every field
# filled, the QR code shown, a 4000 x 3000 photo and a 2000 x 1500 bitmap)
# with 30 and with 300 rows at 600 dpi, one page a row; each size three
# times, as a vector PDF and as card images (--raster) side by side. Prints
# the wall time a page (the whole run over the rows, and the extra 270 rows'
# time over 270), the peak resident memory (/usr/bin/time) and the file's
# size; then the same for one sheet of the card (plakuro-cli sheet).
#   bench/merge.sh
# PLAKURO_BENCH_BUILD_DIR overrides the build folder (default build-bench/).
# PLAKURO_BENCH_BASELINE names an older plakuro-cli (say a Release build of
# the last release): its vector PDF and sheet are measured in the same run,
# between the new vector and raster ones, as "baseline".
set -e
cd "$(dirname "$0")/.."
BUILD="$(./bench/build.sh bench_plakuro plakuro-cli)"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
"$BUILD/bench/bench_plakuro" --write-realistic-card "$WORK/card.pkd"
for rows in 30 300; do
    {
        echo "名前,ふりがな,会社名,電話,携帯電話,E-Mail"
        seq 1 "$rows" | awk '{ printf "山田 太郎%d,やまだ たろう%d,株式会社プラクロ商事 第%d支店,03-1234-%04d,090-1234-%04d,yamada%d@plakuro.example.jp\n", $1, $1, $1 % 47, $1, $1, $1 }'
    } >"$WORK/people$rows.csv"
done
MODES="vector raster"
[ -n "$PLAKURO_BENCH_BASELINE" ] && MODES="vector baseline raster"
for mode in $MODES; do
    flag=""
    cli="$BUILD/src/cli/plakuro-cli"
    [ "$mode" = raster ] && flag="--raster"
    [ "$mode" = baseline ] && cli="$PLAKURO_BENCH_BASELINE"
    for rows in 30 300; do
        for run in 1 2 3; do
            /usr/bin/time -f "%e %M" -o "$WORK/time" "$cli" merge \
                "$WORK/card.pkd" "$WORK/people$rows.csv" -o "$WORK/out.pdf" $flag 2>/dev/null
            pages=$(pdfinfo "$WORK/out.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
            [ "${pages:-$rows}" = "$rows" ] || { echo "merge wrote $pages pages, not $rows" >&2; exit 1; }
            echo "$rows $(cat "$WORK/time") $(stat -c %s "$WORK/out.pdf")" >>"$WORK/results-$mode"
        done
    done
    for run in 1 2 3; do
        /usr/bin/time -f "%e %M" -o "$WORK/time" "$cli" sheet \
            "$WORK/card.pkd" -o "$WORK/sheet.pdf" $flag 2>/dev/null
        echo "$(cat "$WORK/time") $(stat -c %s "$WORK/sheet.pdf")" >>"$WORK/sheet-$mode"
    done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for mode in $MODES; do
    r="$WORK/results-$mode"
    echo "== $mode"
    echo "rows  seconds  peak_MB  pdf_MB"
    awk '{ printf "%4d  %7.2f  %7.1f  %6.1f\n", $1, $2, $3 / 1024, $4 / 1e6 }' "$r"
    t30=$(awk '$1 == 30 { print $2 }' "$r" | median)
    t300=$(awk '$1 == 300 { print $2 }' "$r" | median)
    m30=$(awk '$1 == 30 { print $3 }' "$r" | median)
    m300=$(awk '$1 == 300 { print $3 }' "$r" | median)
    s300=$(awk '$1 == 300 { print $4 }' "$r" | median)
    st=$(awk '{ print $1 }' "$WORK/sheet-$mode" | median)
    sm=$(awk '{ print $2 }' "$WORK/sheet-$mode" | median)
    awk -v a="$t30" -v b="$t300" -v ma="$m30" -v mb="$m300" -v sb="$s300" -v st="$st" -v sm="$sm" 'BEGIN {
        printf "300 rows whole run:               median %6.2f s, %6.1f MB file\n", b, sb / 1e6
        printf "a page, 300 rows whole run:       median %6.1f ms\n", b * 1000 / 300
        printf "a page, rows 31 to 300:           median %6.1f ms\n", (b - a) * 1000 / 270
        printf "peak memory, 30 rows / 300 rows:  median %6.1f MB / %6.1f MB\n", ma / 1024, mb / 1024
        printf "one sheet (whole process):        median %6.2f s, peak %6.1f MB\n", st, sm / 1024
    }'
done
