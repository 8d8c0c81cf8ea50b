#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from quellwerk.svg with
# rsvg-convert (Debian package librsvg2-bin). The PNGs are committed, so that
# building needs no SVG renderer: run this after changing the SVG.
#   render-icons.sh          writes <N>x<N>/quellwerk.png beside this script
#   render-icons.sh --check  renders into a temporary folder and fails when a
#                            committed PNG differs from its rendering by more
#                            than rounding (ImageMagick's compare)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/common.sh"
qw_report_errors
sizes=(16 22 24 32 48 64 128 256)

out=$here
if [ "${1:-}" = --check ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
for n in "${sizes[@]}"; do
  mkdir -p "$out/${n}x${n}"
  rsvg-convert --width "$n" --height "$n" --format png "$here/quellwerk.svg" \
    --output "$out/${n}x${n}/quellwerk.png"
done
[ "$out" = "$here" ] && exit 0

status=0
for n in "${sizes[@]}"; do
  a=$out/${n}x${n}/quellwerk.png b=$here/${n}x${n}/quellwerk.png
  if ! cmp -s "$a" "$b" && ! compare -metric AE -fuzz 2% "$a" "$b" null: 2>/dev/null; then
    echo "icons: ${n}x${n}/quellwerk.png is not the rendering of quellwerk.svg (run $0)" >&2
    status=1
  fi
done
exit $status
