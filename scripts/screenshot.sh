#!/usr/bin/env bash
# Takes the README's screenshots on a private X server: docs/screenshot.png of
# the main window and docs/repeat.png of the repeat preview beside it, from a
# copy of the program in a temporary folder, started with a generated picture,
# the screen capture at start-up switched off.
#   scripts/screenshot.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}

need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v xwininfo >/dev/null || need+=(x11-utils)
fc-list 2>/dev/null | grep -qi "VL Gothic" || need+=(fonts-vlgothic)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

if [ ! -x "$build/bin/quilton" ]; then
    cmake -S . -B "$build" -G Ninja
    cmake --build "$build" --target quilton
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/prog"
cp "$build/bin/quilton" "$work/prog/"
[ -f "$build/bin/SaveJPG.so" ] && cp "$build/bin/SaveJPG.so" "$work/prog/"
settings='[Position]\r\nTop=0\r\nLeft=0\r\n[Start]\r\nScreenCap=False\r\nClickOpen=False\r\n'
# The second picture: the preview left open at the last shut-down reopens
# beside the main window (positions and sizes in twips, 15 to the pixel).
repeat='[RepeatView]\r\nLeft=6960\r\nTop=0\r\nWidth=8400\r\nHeight=5415\r\nZoom=1\r\nSeams=False\r\nOpen=True\r\n'

# A photo-like picture: a soft, seeded plasma, so every run looks the same.
convert -seed 17 -size 480x360 plasma:tomato-steelblue -blur 0x4 -modulate 115,140 \
    "$work/garden.jpg"

cat >"$work/shoot.sh" <<'EOF'
#!/usr/bin/env bash
set -euo pipefail
work=$1
out=$2
both=${3:-}
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_CURRENT_DESKTOP= QT_QPA_PLATFORM=xcb "$work/prog/quilton" "$work/garden.jpg" &
pid=$!
title="100角化粧タイル図案生成"
for _ in $(seq 1 50); do
    if xwininfo -name "$title" >/dev/null 2>&1; then break; fi
    sleep 0.2
done
sleep 1.5
id=$(xwininfo -name "$title" | awk '/Window id:/ {print $4}')
if [ -z "$both" ]; then
    import -window "$id" "$out"
else
    # The two windows side by side: the screen from the corner to the far
    # edges of both (no window manager, so no frames).
    preview=$(xwininfo -root -tree | awk '/タイルの並べ表示/ {print $1; exit}')
    edges() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x + w, y + h}'; }
    read -r w1 h1 < <(edges "$id")
    read -r w2 h2 < <(edges "$preview")
    w=$((w1 > w2 ? w1 : w2))
    h=$((h1 > h2 ? h1 : h2))
    import -window root -crop "${w}x${h}+0+0" +repage "$out"
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
EOF
chmod +x "$work/shoot.sh"
mkdir -p docs
printf "$settings" >"$work/prog/quilton.ini"
xvfb-run -a -s "-screen 0 800x600x24" "$work/shoot.sh" "$work" "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
printf "$settings$repeat" >"$work/prog/quilton.ini"
xvfb-run -a -s "-screen 0 1280x600x24" "$work/shoot.sh" "$work" "$root/docs/repeat.png" both
echo "wrote docs/repeat.png"
