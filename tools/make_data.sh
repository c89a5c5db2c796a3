#!/usr/bin/env bash
# Regenerates every file under data/config (textures and themes.txt) from the generator in
# tools/make_data/. With --preview out.png it also renders a mock-up of the window in each theme
# followed by a contact sheet of the textures, to look at the result.
#   tools/make_data.sh [--preview out.png]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

preview=""
if [ "${1:-}" = "--preview" ]; then
  if [ -z "${2:-}" ]; then echo "usage: tools/make_data.sh [--preview out.png]" >&2; exit 2; fi
  preview="$(realpath -m "$2")"
elif [ $# -gt 0 ]; then
  echo "usage: tools/make_data.sh [--preview out.png]" >&2; exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -Wall -Wextra -o "$work/make_data" "$root"/tools/make_data/*.cpp \
  $(pkg-config --cflags --libs freetype2)

mkdir -p "$root/data/config"
if [ -z "$preview" ]; then
  "$work/make_data" "$root/data/config"
  exit 0
fi

"$work/make_data" "$root/data/config" --preview "$work/mockup.tga"
# NOTE: ImageMagick here takes the first stored row of a TGA as the top of the picture whatever
# the header says; our files (and the program) store rows bottom-up, so every TGA read by it is
# flipped first.
# Contact sheet: each texture over a checkerboard, so its alpha shows, with its name.
sheet=()
for f in "$root"/data/config/*.tga; do
  name="$(basename "$f")"
  convert "$f" -flip -resize '192x192>' -background none -gravity center -extent 192x192 \
    \( -size 192x192 pattern:checkerboard -fill '#1a2230' -colorize 70% \) +swap \
    -compose over -composite "$work/tile_$name.png"
  sheet+=(-label "$name" "$work/tile_$name.png")
done
montage "${sheet[@]}" -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -tile 5x -geometry +6+6 -background '#10141c' -fill '#c8d4e0' \
  "$work/sheet.png"
convert \( "$work/mockup.tga" -flip \) "$work/sheet.png" -background '#10141c' -gravity center -append \
  "$preview"
echo "preview: $preview"
