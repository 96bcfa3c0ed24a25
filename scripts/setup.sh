#!/usr/bin/env bash
# Installs what pqlink needs to build and run on Debian 12, when it is missing.
# "setup.sh package" adds what building and checking the Debian package takes.
set -euo pipefail
# "setup.sh fuzz" adds clang and its libFuzzer runtime for the fuzz harnesses (fuzz/run);
# "setup.sh format" adds clang-format, which CI runs over every source file.
packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev qt6-charts-dev libgl-dev
  pkg-config libmicrohttpd-dev libsystemd-dev libmosquitto-dev mosquitto mosquitto-clients openssl)
# Real servers the serve tests start on loopback; installed without their recommendations
# (Prometheus would bring node_exporter and more).
lean=(prometheus)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
elif [ "${1:-}" = format ]; then
  packages+=(clang-format)
elif [ "${1:-}" = package ]; then
  packages+=(dpkg-dev file help2man lintian appstream desktop-file-utils systemd)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
missing_lean=()
for p in "${lean[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing_lean+=("$p")
done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_lean[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "pqlink needs these packages. Please run, then try again:" >&2
  [ ${#missing[@]} -eq 0 ] ||
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  [ ${#missing_lean[@]} -eq 0 ] ||
    echo "  sudo apt-get install -y --no-install-recommends ${missing_lean[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
[ ${#missing[@]} -eq 0 ] || apt-get install -y -qq "${missing[@]}" >/dev/null
[ ${#missing_lean[@]} -eq 0 ] ||
  apt-get install -y -qq --no-install-recommends "${missing_lean[@]}" >/dev/null
