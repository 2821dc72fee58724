#!/usr/bin/env bash
# Makes ledsign.ico, the Windows programs' icon, from the PNG icons that
# packaging/icons/make-icons.py draws: every size as it is drawn, 256 x 256 kept as PNG inside
# the file (as Windows expects for that size), the others as bitmaps for older readers. Run it
# after the PNG icons changed and commit the result; builds take the committed file, so a native
# Windows build needs no icon tool. Needs icotool (Debian's icoutils).
set -euo pipefail
cd "$(dirname "$0")"
icons=../icons
icotool --create --output=ledsign.ico \
    "$icons"/ledsign-16.png "$icons"/ledsign-24.png "$icons"/ledsign-32.png \
    "$icons"/ledsign-48.png "$icons"/ledsign-64.png "$icons"/ledsign-128.png \
    --raw="$icons"/ledsign-256.png
