#!/usr/bin/env bash
# Installs what pqlink needs to build and run on Debian 12, when it is missing.
# "setup.sh package" adds what building and checking the Debian package takes.
set -euo pipefail
# "setup.sh fuzz" adds clang and its libFuzzer runtime for the fuzz harnesses (fuzz/run);
# "setup.sh format" adds clang-format, which CI runs over every source file.
packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev qt6-charts-dev libgl-dev libmosquitto-dev mosquitto mosquitto-clients openssl)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
elif [ "${1:-}" = format ]; then
  packages+=(clang-format)
elif [ "${1:-}" = package ]; then
  packages+=(dpkg-dev file help2man lintian appstream desktop-file-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "pqlink needs these packages. Please run, then try again:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
