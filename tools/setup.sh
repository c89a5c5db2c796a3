#!/usr/bin/env bash
# Installs the Debian 12 packages Nimbra needs to build, run and test, but only those missing,
# so a second run on a ready machine costs a few dpkg queries and no network.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgl-dev libglu1-mesa-dev libosmesa6-dev libglfw3-dev
  libcurl4-openssl-dev curl libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libexif-dev
  libwebp-dev libgif-dev nlohmann-json3-dev
  libpugixml-dev libcpp-httplib-dev libssl-dev libcli11-dev libigraph-dev
  libfreetype-dev libfontconfig-dev libutf8proc-dev fonts-dejavu-core fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  xvfb xdotool x11-utils imagemagick
  python3 python3-networkx
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
