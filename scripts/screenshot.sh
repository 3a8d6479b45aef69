#!/usr/bin/env bash
# Takes the README's screenshot (docs/screenshot.png) of the main window on a
# private X server: a copy of the program in a temporary folder, started with
# a generated picture, the screen capture at start-up switched off.
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
printf '[Position]\r\nTop=0\r\nLeft=0\r\n[Start]\r\nScreenCap=False\r\nClickOpen=False\r\n' \
    >"$work/prog/quilton.ini"

# A photo-like picture: a soft, seeded plasma, so every run looks the same.
convert -seed 17 -size 480x360 plasma:tomato-steelblue -blur 0x4 -modulate 115,140 \
    "$work/garden.jpg"

cat >"$work/shoot.sh" <<'EOF'
#!/usr/bin/env bash
set -euo pipefail
work=$1
out=$2
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
import -window "$id" "$out"
kill "$pid"
wait "$pid" 2>/dev/null || true
EOF
chmod +x "$work/shoot.sh"
mkdir -p docs
xvfb-run -a -s "-screen 0 800x600x24" "$work/shoot.sh" "$work" "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
