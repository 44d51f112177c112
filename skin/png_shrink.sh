#!/usr/bin/env bash
# Makes a rendered skin image as small as it can be without visible change.
#
# Usage: png_shrink.sh IN.png OUT.png [--palette]
#
# Always lossless: zopflipng recompresses the same pixels, and a 256-colour
# palette is kept where it holds exactly the same pixels. With --palette (the
# large bitmaps) the palette may also be dithered: it is kept when it is
# smaller and its peak signal-to-noise ratio against the original pixels is at
# least MIN_PSNR dB; above about 45 dB a difference cannot be seen, 50 leaves a
# margin. For those the choice and the figure are printed.
set -euo pipefail
in=$1 out=$2 mode=${3:-}
MIN_PSNR=50

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
zopflipng -y --iterations=3 "$in" "$tmp/lossless.png" >/dev/null
best="$tmp/lossless.png"
if pngquant --quality=90-100 --speed 1 --strip --output "$tmp/quant.png" -- "$in" 2>/dev/null; then
  zopflipng -y --iterations=3 "$tmp/quant.png" "$tmp/palette.png" >/dev/null
  # compare prints the metric on stderr ("inf" for identical pixels) and exits
  # 1 when the images differ.
  psnr=$(compare -metric PSNR "$in" "$tmp/palette.png" null: 2>&1 || true)
  if { [ "$psnr" = inf ] || { [ "$mode" = --palette ] && awk -v p="$psnr" -v m="$MIN_PSNR" 'BEGIN { exit !(p + 0 >= m) }'; }; } &&
     [ "$(stat -c%s "$tmp/palette.png")" -lt "$(stat -c%s "$best")" ]; then
    best="$tmp/palette.png"
    [ "$mode" = --palette ] && echo "$(basename "$out"): palette, PSNR $psnr dB"
  else
    [ "$mode" = --palette ] && echo "$(basename "$out"): lossless (palette PSNR $psnr dB)"
  fi
fi
cp "$best" "$out"
