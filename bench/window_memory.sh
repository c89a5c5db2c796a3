#!/usr/bin/env bash
# The window's memory on a real network: runs `nimbra` under its own Xvfb on an ego network of
# the SNAP Facebook file and prints its resident size and peak (VmRSS, VmHWM) every 10 seconds.
# usage: bench/window_memory.sh EGO SECONDS [PROGRAM]   (PROGRAM: build/app/nimbra)
set -euo pipefail
cd "$(dirname "$0")/.."
ego=${1:?ego}
seconds=${2:?seconds}
program=${3:-build/app/nimbra}
graph=${NIMBRA_GRAPH:-../shared/data/facebook_combined.txt}
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
# A home of its own, so the photo cache starts empty and every photo is downloaded.
HOME="$work" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
  "$program" --graph "$graph" --ego "$ego" >"$work/log" 2>&1 &
app=$!
for t in $(seq "$seconds"); do
  sleep 1
  kill -0 $app 2>/dev/null || { echo "the program ended:"; cat "$work/log"; exit 1; }
  if [ $((t % 10)) = 0 ]; then
    echo "$t s: $(grep -E 'VmRSS|VmHWM' /proc/$app/status | tr -s ' \t' ' ' | tr '\n' ' ')"
  fi
done
kill $app
wait $app 2>/dev/null || true
