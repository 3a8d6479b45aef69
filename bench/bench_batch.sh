#!/usr/bin/env bash
# Times the folder batch on real photographs: the JPEG wallpapers of Debian's
# plasma-workspace-wallpapers (2560x1600 and 5120x2880, baseline and
# progressive), each turned into four 100 x 100 BMP tiles by
#   quilton-batch --jobs 1, quilton-batch --jobs 2 and the batch window's run,
# against vipsthumbnail making one 100 x 100 BMP of each, and the decode floor
# (sum over the files of reading and decoding at 1/8 scale with libjpeg-turbo).
# Every time is the best of three runs with the files in the page cache.
#
#   bench/bench_batch.sh [BUILD_DIR]      (default: build)
#
# Goals: --jobs 1 at least as fast as vipsthumbnail and within 1.25 x the
# decode floor; --jobs 2 at least 1.7 x faster than --jobs 1; the window's run
# within 1.2 x of --jobs 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

missing=()
dpkg-query -W -f='${Status}' plasma-workspace-wallpapers 2>/dev/null | grep -q "install ok installed" ||
    missing+=(plasma-workspace-wallpapers)
command -v vipsthumbnail >/dev/null || missing+=(libvips-tools)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

ninja -C "$build" -j2 quilton-batch bench_batch_floor bench_batch_window >/dev/null
bin=$build/bin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in=$work/in
mkdir -p "$in"
# Unique names: every wallpaper keeps its pictures under the same file names.
while read -r f; do
    name=${f#/usr/share/wallpapers/}
    name=${name//\/contents\//-}
    name=${name//\//-}
    ln -s "$f" "$in/$name"
done < <(dpkg -L plasma-workspace-wallpapers | grep -E '/(2560x1600|5120x2880)\.jpg$' | sort)
files=("$in"/*.jpg)
count=${#files[@]}
megapixels=$(identify -format '%w %h\n' "${files[@]}" 2>/dev/null |
    awk '{s += $1 * $2} END {printf "%.0f", s / 1e6}' || echo "?")
progressive=$(identify -format '%[interlace]\n' "${files[@]}" 2>/dev/null | grep -c JPEG || true)
cat "${files[@]}" >/dev/null # into the page cache

now() { date +%s.%N; }
# best_of CMD...: the best wall time of three runs, output folder emptied first.
best_of() {
    local best="" start end t
    for _ in 1 2 3; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        start=$(now)
        "$@" >/dev/null
        end=$(now)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}
# best_printed CMD...: the best of three times the command prints itself.
best_printed() {
    local best="" t
    for _ in 1 2 3; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        t=$("$@")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

jobs1=$(best_of "$bin/quilton-batch" --jobs 1 --types jpg "$in" "$work/out")
tiles=$(ls "$work/out" | wc -l)
jobs2=$(best_of "$bin/quilton-batch" --jobs 2 --types jpg "$in" "$work/out")
window_process=$(best_of "$bin/bench_batch_window" "$in" "$work/out")
window=$(best_printed "$bin/bench_batch_window" "$in" "$work/out")
vips=$(best_of vipsthumbnail "${files[@]}" -s '100x100!' -o "$work/out/%s.bmp")
floor=$("$bin/bench_batch_floor" "${files[@]}")

ratio() { echo "scale=2; $1 / $2" | bc -l; }
check() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo "met"; else echo "MISSED"; fi; }

echo
echo "Batch benchmark: $count photographs ($progressive progressive, ${megapixels} megapixels in all), $tiles tile files per run"
echo
printf "%-34s %9s %12s %12s\n" "method" "seconds" "vs jobs 1" "vs floor"
printf "%-34s %9.3f %12s %12s\n" "decode floor (libjpeg 1/8)" "$floor" "$(ratio "$floor" "$jobs1")" "1.00"
printf "%-34s %9.3f %12s %12s\n" "quilton-batch --jobs 1" "$jobs1" "1.00" "$(ratio "$jobs1" "$floor")"
printf "%-34s %9.3f %12s %12s\n" "quilton-batch --jobs 2" "$jobs2" "$(ratio "$jobs2" "$jobs1")" "$(ratio "$jobs2" "$floor")"
printf "%-34s %9.3f %12s %12s\n" "batch window, the run" "$window" "$(ratio "$window" "$jobs1")" "$(ratio "$window" "$floor")"
printf "%-34s %9.3f %12s %12s\n" "batch window, whole program" "$window_process" "$(ratio "$window_process" "$jobs1")" "$(ratio "$window_process" "$floor")"
printf "%-34s %9.3f %12s %12s\n" "vipsthumbnail (one tile each)" "$vips" "$(ratio "$vips" "$jobs1")" "$(ratio "$vips" "$floor")"
echo
echo "Goals:"
echo "  --jobs 1 at least as fast as vipsthumbnail:  $(ratio "$jobs1" "$vips") x  $(check "$jobs1 <= $vips")"
echo "  --jobs 1 within 1.25 x the decode floor:     $(ratio "$jobs1" "$floor") x  $(check "$jobs1 <= 1.25 * $floor")"
echo "  --jobs 2 at least 1.7 x faster than jobs 1:  $(ratio "$jobs1" "$jobs2") x  $(check "$jobs1 >= 1.7 * $jobs2")"
echo "  window run within 1.2 x of --jobs 1:         $(ratio "$window" "$jobs1") x  $(check "$window <= 1.2 * $jobs1")"
