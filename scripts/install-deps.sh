#!/usr/bin/env bash
# Installs every Debian package Kest needs to build, run and test.
# Idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-multimedia-dev libgl-dev
  qt6-translations-l10n
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  zlib1g-dev libpng-dev libjpeg-dev libgif-dev libpcre2-dev
  libssl3 openssl libcurl4-openssl-dev
  ngircd tcl xvfb xauth openbox imagemagick xdotool libxcb1-dev
  dante-server tinyproxy
  irssi tmux
  fonts-dejavu-core tzdata
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-pulseaudio fluid-soundfont-gm pulseaudio lame espeak-ng
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# ngircd's package starts a system-wide daemon on port 6667; tests run their own instances.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet ngircd 2>/dev/null; then
  systemctl stop ngircd || true
fi
if [ -x /etc/init.d/ngircd ] && pgrep -x ngircd >/dev/null 2>&1; then
  /etc/init.d/ngircd stop >/dev/null 2>&1 || true
fi
# The proxy packages may start system-wide daemons too; tests run their own
# instances on free ports.
for svc in danted tinyproxy; do
  if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet "$svc" 2>/dev/null; then
    systemctl stop "$svc" || true
  fi
  if [ -x "/etc/init.d/$svc" ] && pgrep -x "$svc" >/dev/null 2>&1; then
    "/etc/init.d/$svc" stop >/dev/null 2>&1 || true
  fi
done
exit 0
