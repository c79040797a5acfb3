#!/usr/bin/env bash
# Installs (as root, with apt-get) every Debian 12 package that building, testing,
# benchmarking, packaging and the demo need; does nothing for packages already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev libgl-dev
  clang-14 libclang-rt-14-dev
  python3 python3-pil imagemagick ffmpeg
  libtiff-dev libgif-dev libjpeg62-turbo-dev
  libtesseract-dev tesseract-ocr-eng
  libssh-dev openssh-server openssh-client
  xvfb xauth openbox xdotool
  desktop-file-utils appstream man-db groff-base bash-completion dpkg-dev debootstrap x11-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  # The SSH server is only started by the tests, on loopback; its package must not
  # start one on every interface as it installs.
  guard=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    guard=/usr/sbin/policy-rc.d
    trap 'rm -f "$guard"' EXIT
    printf '#!/bin/sh\nexit 101\n' >"$guard"
    chmod +x "$guard"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
