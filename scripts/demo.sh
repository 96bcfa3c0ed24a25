#!/usr/bin/env bash
# Builds pqlink, starts the simulated instrument on a pseudo-terminal linked as COM1 in a
# private dosdevices folder (your own port links are not touched), and starts pqlink.
# Extra arguments go to kestrel-sim, e.g. scripts/demo.sh --baud 9600 --modem
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
demo="$PWD/.demo"
mkdir -p "$demo/config"
export XDG_CONFIG_HOME="$demo/config"
./build/default/src/sim/kestrel-sim --com 1 --dosdevices "$XDG_CONFIG_HOME/pqlink/dosdevices" "$@" \
  >"$demo/sim.out" 2>"$demo/sim.err" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$demo/sim.out" ] && break; sleep 0.1; done
echo "Simulated instrument on $(head -n1 "$demo/sim.out") as COM1. Choose COM1 and Connect."
echo "The command line reaches it too while pqlink is not connected:"
echo "  XDG_CONFIG_HOME=$XDG_CONFIG_HOME $PWD/build/default/src/cli/pqlink-cli measure --count 5"
cd "$demo"   # data.log and downloads land here
"$OLDPWD/build/default/src/app/pqlink"
