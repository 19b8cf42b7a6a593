#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent and quiet when everything is present: dpkg-query first, apt only
# for what is missing.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxcb1-dev
  libicu-dev libqrencode-dev
  libboost-dev nlohmann-json3-dev libzip-dev libssl-dev
  libbenchmark-dev
  # tests, screenshots and the desktop session
  dbus dbus-x11 xvfb xauth x11-utils xdotool zbar-tools curl unzip openbox trayer
  # the Debian package: icons rendered from SVG, CPack's dependency list, its checks
  librsvg2-bin dpkg-dev lintian appstream desktop-file-utils
  # Qt's own texts (file panels, standard buttons) in Russian
  qt6-translations-l10n
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
