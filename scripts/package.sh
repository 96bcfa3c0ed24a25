#!/usr/bin/env bash
# Builds the Debian package pqlink_<version>_amd64.deb into the repository's folder, then
# checks it: lintian (no errors), appstreamcli validate, desktop-file-validate.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
bash scripts/setup.sh package
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target package_files
rm -f build/default/package/pqlink_*.deb
(cd build/default && cpack -G DEB >/dev/null)
deb=$(ls build/default/package/pqlink_*_amd64.deb)
cp "$deb" .
deb=$(basename "$deb")
desktop-file-validate packaging/pqlink.desktop
appstreamcli validate --no-net build/default/packaging/*.metainfo.xml
lintian --fail-on error "$deb"
echo "Built $deb"
