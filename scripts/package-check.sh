#!/usr/bin/env bash
# Builds the Debian package from a build folder, validates its desktop entry
# and AppStream file, installs it with apt, runs the installed quilton-batch on
# a photograph and starts and closes the installed quilton under Xvfb as a
# plain user with a fresh home, checks where that user's files went, and
# removes the package again. Run as root (CI does).
#   scripts/package-check.sh [build-dir]   default: build/ (scripts/test.sh's)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app_id=org.example.quilton.Quilton
user=quilton-check

if [ "$(id -u)" -ne 0 ]; then
    echo "package-check: run as root (it installs and removes the package)" >&2
    exit 2
fi
scripts/deps.sh package

fail() {
    echo "package-check: FAILED: $*" >&2
    exit 1
}

work=$(mktemp -d /tmp/quilton-package-XXXXXX)
chmod 755 "$work"
created_user=0
installed_here=0
cleanup() {
    set +e
    if [ "$installed_here" = 1 ] && dpkg-query -W quilton >/dev/null 2>&1; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=600 quilton >/dev/null
    fi
    if [ "$created_user" = 1 ]; then userdel "$user"; fi
    rm -rf "$work"
}
trap cleanup EXIT

# The package, from the build folder as it stands.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DQUILTON_TESTS=OFF -DQUILTON_BENCH=OFF
fi
cmake --build "$build"
rm -f "$build"/quilton_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/quilton_*.deb)
deb=$(realpath "${debs[0]}")
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Depends/p;/Recommends/p'

# What the package holds, validated as it will be installed.
dpkg-deb -x "$deb" "$work/tree"
desktop-file-validate "$work/tree/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$work/tree/usr/share/metainfo/$app_id.metainfo.xml"
for size in 16 22 24 32 48 64 128; do
    [ -s "$work/tree/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png" ] ||
        fail "no ${size}x$size icon"
done
for page in quilton quilton-batch; do
    [ -s "$work/tree/usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
done

# Installed as a user would, pulling in what it depends on.
apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$deb"
}
installed_here=1
apt_install || { apt-get update -qq && apt_install; }
[ "$(quilton --version)" = "quilton $(dpkg-query -W -f='${Version}' quilton)" ] ||
    fail "quilton --version does not match the package"
quilton-batch --help | grep -q '^Usage: quilton-batch' || fail "quilton-batch --help"

# A plain user with a fresh home (no XDG variables: the defaults apply).
if ! id "$user" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    created_user=1
fi
home="$work/home"
mkdir -p "$home"
chown "$user": "$home"
as_user() {
    runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}

# A real photograph through the installed batch program and the package's
# JPEG library.
photo=/usr/share/wallpapers/FallenLeaf/contents/images/1920x1080.jpg
[ -f "$photo" ] || fail "no photograph at $photo (package plasma-workspace-wallpapers)"
cp "$photo" "$work/leaf.jpg"
chmod 644 "$work/leaf.jpg"
as_user quilton-batch --format jpg --quality 90 --effect B=blur "$work/leaf.jpg" "$home/out"
for t in A B C D; do
    tile="$home/out/leaf($t).jpg"
    [ "$(djpeg -pnm "$tile" | head -n 2 | tail -n 1)" = "100 100" ] ||
        fail "$tile is not a 100 x 100 JPEG"
done
[ ! -e "$home/.local/lib/SaveJPG.so" ] || fail "quilton-batch installed a library"

# The installed window program: started on the photograph, closed with its
# own "終了(&Q)" button (Alt+Q), as a user would.
marker="$work/marker"
touch "$marker"
sleep 1
cat > "$work/gui.sh" <<'GUI'
set -eu
quilton "$1" &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --class quilton | head -n 1)
[ -n "$window" ] || { echo "no quilton window" >&2; kill "$pid"; exit 1; }
sleep 2
# Without a window manager the focus is only asked for; the wait is bounded.
timeout 20 xdotool windowfocus --sync "$window" || true
xdotool key --clearmodifiers alt+q
for _ in $(seq 1 60); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then
    echo "quilton did not close" >&2
    kill "$pid"
    exit 1
fi
wait "$pid"
GUI
chmod 644 "$work/gui.sh"
as_user xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/gui.sh" "$work/leaf.jpg" ||
    fail "the installed quilton did not start and close"

ini="$home/.config/quilton/quilton.ini"
[ -f "$ini" ] || fail "no settings file in the user's ~/.config/quilton"
setting() { tr -d '\r' <"$ini" | grep -qx "$1"; }
setting "Source=$work" || fail "the settings file does not hold the source folder"
[ -d "$home/Pictures/Tiles" ] || fail "no Tiles folder in the user's pictures folder"
setting "Save=$home/Pictures/Tiles" || fail "the save folder is not ~/Pictures/Tiles"
stray=$(find /usr/bin /usr/lib/quilton -maxdepth 1 -newer "$marker" \
    \( -iname 'quilton*.ini' -o -name Tiles -o -name 'Sample.*' -o -user "$user" \) -print)
[ -z "$stray" ] || fail "written beside the installed program: $stray"
echo "== the installed programs ran as $user; settings in $ini"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=600 quilton
[ ! -e /usr/bin/quilton ] && [ ! -e /usr/lib/quilton ] || fail "the package left files behind"
installed_here=0
echo "== package check passed"
