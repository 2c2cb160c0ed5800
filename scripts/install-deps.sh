#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, if missing.
set -euo pipefail

packages=(cmake g++ googletest zip unzip clang clang-format clang-tidy cppcheck
  zlib1g-dev g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 python3
  libclang-rt-14-dev)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
