#!/usr/bin/env bash
# Installs the Debian 12 packages Quilton needs to build, run and test, when
# they are missing. Usage: scripts/deps.sh [run|test|bench|package]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          libjpeg62-turbo-dev fonts-vlgothic xdg-utils qt6-translations-l10n)
if [ "${1:-run}" = "test" ]; then
    # util-linux: setpriv, to run quilton-batch as an unprivileged user.
    packages+=(xvfb xauth x11-xserver-utils chromium util-linux
               libjpeg-turbo-progs)
    # The desktops the wallpaper tests run for real: XFCE, the GSettings
    # desktops over dconf, feh on a bare root window read back with xwd, and
    # the D-Bus tools the Plasma back end calls.
    packages+=(dbus-daemon dbus-bin xfconf xfdesktop4 libglib2.0-bin dconf-service
               dconf-gsettings-backend gsettings-desktop-schemas mate-desktop-common
               cinnamon-desktop-data feh x11-apps)
elif [ "${1:-run}" = "bench" ]; then
    # The batch benchmark's photographs and its reference tool.
    packages+=(plasma-workspace-wallpapers libvips-tools imagemagick valgrind)
elif [ "${1:-run}" = "package" ]; then
    # Building, validating and trying the Debian package (scripts/package-check.sh).
    packages+=(dpkg-dev desktop-file-utils appstream xvfb xauth xdotool libjpeg-turbo-progs
               plasma-workspace-wallpapers)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
