#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running ZENDO need, asking apt only
# for what is missing (apt-get update at most once). Uses sudo when not root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev libicu-dev libsqlite3-dev
    hunspell-tr libhunspell-dev
    qt6-base-dev libcurl4-openssl-dev
    fonts-liberation fonts-dejavu-core fontconfig
    python3 python3-aiosmtpd
    desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
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
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
