#!/usr/bin/env bash
# Installs the Debian packages Quilldown needs to build, run and test.
# Idempotent: only packages that are missing are installed, so a second run is quick.
# Arguments name extra packages wanted on top of the usual list (the fuzz build's clang).
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-declarative-dev qt6-webengine-dev libqscintilla2-qt6-dev pandoc libx11-dev
          xvfb xauth xdotool libxtst-dev "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
