#!/usr/bin/env bash
# Installs what ZEFMON needs to build, run and test on Debian 12, when it is
# missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
          libsqlite3-dev libxcb1-dev xvfb xauth x11-utils imagemagick
          desktop-file-utils man-db
          # The monitor's filter patterns: RE2 matches in time linear in the text,
          # never backtracks and runs in bounded memory, so a pattern typed by
          # the user or read from a damaged settings file cannot freeze the view.
          libre2-dev
          # The line store keeps sealed segments compressed: LZ4 unpacks a
          # segment in a fraction of a millisecond, so reading old lines
          # stays as quick as scrolling needs.
          liblz4-dev
          # Tests only: a followed file is rotated by the real logrotate.
          logrotate
          # The journal as a source (zefmon --journal, --journal-dir) reads
          # journal files through libsystemd's sd-journal.
          libsystemd-dev
          # Tests and the journal benchmark only: systemd-journal-remote turns
          # export text into the journal files they read.
          systemd-journal-remote)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
