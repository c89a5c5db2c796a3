#!/usr/bin/env bash
# Makes the README's pictures of the circles with offscreen runs of the built program: the
# demo arranged by circles with the pointer on the legend, a person's card, a chain of friends,
# and ego 107 of the SNAP file with photo frames of the full size and scaled with the crowd.
# Reduced to 256 colours (ImageMagick, installed by tools/setup.sh) so the PNGs stay small.
#   tools/pictures.sh            (after a build: build/app/nimbra-offscreen)
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/app/nimbra-offscreen
snap=../shared/data/facebook_combined.txt
if [ ! -x "$program" ]; then
  echo "pictures: build first ($program is missing)" >&2
  exit 1
fi
# The glow of every dot every frame: the picture the globe refines to at rest, without waiting
# frames for the refinement on a globe of a thousand people.
export NIMBRA_GLOW=sprites
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME SCRIPT-LINES OPTIONS...: one offscreen run whose script ends with a snapshot at its
# last frame (frames count from when the whole network is in).
run() {
  local name=$1 lines=$2
  shift 2
  printf '%b' "$lines" >"$work/$name.txt"
  "$program" --until-loaded --size 960x600 --script "$work/$name.txt" \
    --snapshot "$work/$name.png" "$@" >/dev/null 2>"$work/$name.log" || {
    cat "$work/$name.log" >&2
    exit 1
  }
  convert "$work/$name.png" -colors 256 "PNG8:docs/$name.png"
  echo "docs/$name.png"
}

# The legend: arranged by circles, the pointer on the second circle, which lights up.
run circles 'frame 100 move 100 276\n' --layout circles --frames 120
# A person's card: found by name and selected; the camera has glided there.
run card 'frame 5 key ulla\nframe 6 key Return\n' --layout circles --frames 120
# The chain from Zoë Ñúñez to Ulla Hoffmann: its lines lit, the card lists it.
run chain 'frame 5 key nunez\nframe 6 key Return\nframe 7 key ulla\nframe 8 key Shift+Return\n' \
  --layout circles --frames 120

# Ego 107, 1,046 people: photo frames of the full size hide the lines; scaled, they show.
if [ -r "$snap" ]; then
  NIMBRA_BILLBOARDS=fixed run ego107_fixed_frames '' --graph "$snap" --ego 107 --frames 60
  run ego107_scaled_frames '' --graph "$snap" --ego 107 --frames 60
else
  echo "pictures: $snap is not there; the pictures of ego 107 are left as they are" >&2
fi
