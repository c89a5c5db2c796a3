#!/usr/bin/env bash
# Renders the pictures of docs/ from their Graphviz sources (Debian's graphviz, installed here
# when missing: only this script needs it).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v dot >/dev/null; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends graphviz
fi
for dot_file in docs/*.dot; do
  dot -Tpng -Gdpi=90 "$dot_file" -o "${dot_file%.dot}.png"
done
