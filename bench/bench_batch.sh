#!/usr/bin/env bash
# Times the folder batch on real photographs: the JPEG wallpapers of Debian's
# plasma-workspace-wallpapers (2560x1600 and 5120x2880, baseline and
# progressive), each turned into four 100 x 100 BMP tiles by
#   quilton-batch --jobs 1, quilton-batch --jobs 2 and the batch window's run,
# against vipsthumbnail making one 100 x 100 BMP of each, and the decode floor
# (sum over the files of reading and decoding at 1/8 scale with libjpeg-turbo).
# Every time is the best of three runs with the files in the page cache; the
# processor time (user + system) is shown beside it, as it stays meaningful
# when other work shares the machine.
#
#   bench/bench_batch.sh [BUILD_DIR]      (default: build)
#
# With QUILTON_BENCH_CALLGRIND=1 it also counts the instructions of
# quilton-batch --jobs 1 and of the floor (one decode of each file) under
# callgrind: slow, but steady however busy the machine is.
#
# Then opening the largest progressive photograph (load and compose tiles A
# to D, bench_compose) against decoding it whole at 1/8.
#
# Goals: --jobs 1 at least as fast as vipsthumbnail and at most 0.8 x the
# decode floor (progressive files are read only as far as their 1/8 needs);
# --jobs 2 at least 1.7 x faster than --jobs 1; the window's run within 1.2 x
# of --jobs 1; opening the largest progressive photograph at most 0.5 x its
# whole 1/8 decode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

"$root/scripts/deps.sh" bench

ninja -C "$build" -j2 quilton-batch bench_batch_floor bench_batch_window bench_compose >/dev/null
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
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# measure CMD...: wall and processor seconds ("wall cpu") of the run with the
# best wall time of three, the output folder emptied before each.
measure() {
    local best="" bestcpu="" wall cpu
    for _ in 1 2 3; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/stderr"
        read -r wall user sys <"$work/time"
        cpu=$(echo "$user + $sys" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$wall < $best" | bc -l)" = 1 ]; then
            best=$wall
            bestcpu=$cpu
        fi
    done
    echo "$best $bestcpu"
}
# measure_printed CMD...: the same for a command that prints "wall cpu" itself.
measure_printed() {
    local best="" bestcpu="" wall cpu
    for _ in 1 2 3; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        read -r wall cpu < <("$@" 2>"$work/stderr")
        if [ -z "$best" ] || [ "$(echo "$wall < $best" | bc -l)" = 1 ]; then
            best=$wall
            bestcpu=$cpu
        fi
    done
    echo "$best $bestcpu"
}

read -r jobs1 jobs1_cpu < <(measure "$bin/quilton-batch" --jobs 1 --types jpg "$in" "$work/out")
tiles=$(ls "$work/out" | wc -l)
read -r jobs2 jobs2_cpu < <(measure "$bin/quilton-batch" --jobs 2 --types jpg "$in" "$work/out")
read -r window window_cpu < <(measure_printed "$bin/bench_batch_window" "$in" "$work/out")
read -r window_process window_process_cpu < <(measure "$bin/bench_batch_window" "$in" "$work/out")
read -r vips vips_cpu < <(measure vipsthumbnail "${files[@]}" -s '100x100!' -o "$work/out/%s.bmp")
read -r floor floor_cpu < <("$bin/bench_batch_floor" "${files[@]}")
largest_progressive=$(for f in "${files[@]}"; do
    identify -format '%[interlace] %B %i\n' "$f" 2>/dev/null
done | awk '$1 == "JPEG" {print $2, $3}' | sort -n | tail -1 | cut -d' ' -f2)
opening=$("$bin/bench_compose" "$largest_progressive" 9 0.5)

ratio() { echo "scale=2; $1 / $2" | bc -l | sed 's/^\./0./'; }
check() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo "met"; else echo "MISSED"; fi; }
row() { # name wall cpu
    printf "%-32s %8.3f %8.2f %10.3f %8.2f\n" "$1" "$2" "$(ratio "$2" "$floor")" "$3" "$(ratio "$3" "$floor_cpu")"
}

echo
echo "Batch benchmark: $count photographs ($progressive progressive, ${megapixels} megapixels in all), $tiles tile files per run"
echo "load average before: $load_before"
echo
printf "%-32s %8s %8s %10s %8s\n" "method" "wall s" "/floor" "cpu s" "/floor"
row "decode floor (libjpeg 1/8)" "$floor" "$floor_cpu"
row "quilton-batch --jobs 1" "$jobs1" "$jobs1_cpu"
row "quilton-batch --jobs 2" "$jobs2" "$jobs2_cpu"
row "batch window, the run" "$window" "$window_cpu"
row "batch window, whole program" "$window_process" "$window_process_cpu"
row "vipsthumbnail (one tile each)" "$vips" "$vips_cpu"
echo
echo "Goals (wall time):"
echo "  --jobs 1 at least as fast as vipsthumbnail:  $(ratio "$jobs1" "$vips") x  $(check "$jobs1 <= $vips")"
echo "  --jobs 1 within 0.8 x the decode floor:      $(ratio "$jobs1" "$floor") x  $(check "$jobs1 <= 0.8 * $floor")"
echo "           in processor time:                $(ratio "$jobs1_cpu" "$floor_cpu") x  $(check "$jobs1_cpu <= 0.8 * $floor_cpu")"
echo "  --jobs 2 at least 1.7 x faster than jobs 1:  $(ratio "$jobs1" "$jobs2") x  $(check "$jobs1 >= 1.7 * $jobs2")"
echo "  window run within 1.2 x of --jobs 1:         $(ratio "$window" "$jobs1") x  $(check "$window <= 1.2 * $jobs1")"
echo
echo "Opening the largest progressive photograph, $(basename "$largest_progressive"):"
echo "$opening" | sed 's/^/  /'

if [ "${QUILTON_BENCH_CALLGRIND:-0}" = 1 ]; then
    instructions() { # CMD...: the instructions callgrind counts for it
        valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" >/dev/null 2>"$work/callgrind.log"
        awk '/^summary:/ {print $2}' "$work/callgrind.out"
    }
    rm -rf "$work/out" && mkdir -p "$work/out"
    batch_ir=$(instructions "$bin/quilton-batch" --jobs 1 --types jpg "$in" "$work/out")
    floor_ir=$(instructions "$bin/bench_batch_floor" --repetitions 1 "${files[@]}")
    echo
    echo "Instructions (callgrind): quilton-batch --jobs 1 $batch_ir, floor $floor_ir: $(ratio "$batch_ir" "$floor_ir") x"
fi
