#!/usr/bin/env bash
# Draws the application icon (the window's, and the installed theme icons in each size) and the About
# box's picture with ImageMagick. The PNGs it writes are kept in the repository; run this again only to
# change them. icons/hicolor/scalable/apps/brindlecast.svg is the same drawing by hand: change both.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf

# A dark slate console plate with a prompt and a caret, the program's mark.
draw() {  # SIZE OUT BACKGROUND
  local s=$1 out=$2 bg=$3
  local r=$((s / 7)) m=$((s / 32 + 1))
  convert -size "${s}x${s}" "xc:$bg" \
    -fill '#23394d' -stroke '#0f1c27' -strokewidth $((s / 40 + 1)) \
    -draw "roundrectangle $m,$m $((s - m - 1)),$((s - m - 1)) $r,$r" \
    -stroke none -fill '#3d6b8c' \
    -draw "rectangle $((m + 2)),$((s / 4)) $((s - m - 3)),$((s / 4 + s / 40))" \
    -fill '#7fd37a' -font "$font" -pointsize $((s * 9 / 20)) \
    -annotate "+$((s / 7))+$((s * 7 / 10))" '>' \
    -fill '#f2c14e' -draw "rectangle $((s / 2)),$((s * 63 / 100)) $((s * 3 / 4)),$((s * 7 / 10))" \
    -fill '#8fb3cc' -draw "circle $((s / 7)),$((s / 7 + 1)) $((s / 7 + s / 32 + 1)),$((s / 7 + 1))" \
    -depth 8 -strip "$out"
}

draw 64 brindlecast.png none
for s in 16 22 24 32 48 64 128 256; do
  mkdir -p "icons/hicolor/${s}x${s}/apps"
  draw "$s" "icons/hicolor/${s}x${s}/apps/brindlecast.png" none
done
# The About picture is an opaque 24-bit image on the box's face colour.
draw 80 about.png '#efefef'
convert about.png -type TrueColor -define png:color-type=2 -depth 8 -strip about.png
