#!/usr/bin/env bash
# Draws every picture of the demo ad network into resources/adnet/www/ with ImageMagick and
# the fonts of scripts/debian-packages.txt (fonts-urw-base35: Nimbus Sans; fonts-dejavu-core).
# Run it again after changing a drawing; the output carries no time stamps, so an unchanged
# drawing gives unchanged files.
#
#   tools/adnet-demo-server/artwork/make-artwork.sh [OUTPUT_WWW_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
www=${1:-$here/../../../resources/adnet/www}
mkdir -p "$www/static/sdk/browser" "$www/static/sdk/img" "$www/static/ads/icons" "$www/static/ads/banners" \
         "$www/landing"

bold=Nimbus-Sans-Bold
regular=Nimbus-Sans-Regular
narrow=Nimbus-Sans-Narrow-Bold
fonts=$(convert -list font)
for font in $bold $regular $narrow; do
  grep -q "Font: $font\$" <<<"$fonts" || {
    echo "font $font is missing: install fonts-urw-base35 (scripts/debian-packages.txt)" >&2; exit 1; }
done

# PNGs without time stamps or other text chunks, so that the bytes depend on the drawing only.
# png ARGS... OUTPUT
png() {
  local args=("$@") out=${!#}
  unset 'args[${#args[@]}-1]'
  convert "${args[@]}" -strip -define png:exclude-chunks=date,time,tEXt,zTXt,iTXt "$out"
}

# A glossy rounded square of SIZE in a vertical gradient C1 to C2: the base of the icons.
# badge OUT SIZE RADIUS C1 C2 [extra drawing arguments...]
badge() {
  local out=$1 size=$2 radius=$3 c1=$4 c2=$5; shift 5
  local m=$((size - 1)) half=$((size * 9 / 20))
  png -size "${size}x${size}" "gradient:$c1-$c2" \
      \( -size "${size}x${size}" xc:none -fill white -draw "roundrectangle 0,0 $m,$m $radius,$radius" \) \
      -alpha off -compose CopyOpacity -composite \
      \( -size "${size}x${size}" xc:none -fill 'rgba(255,255,255,0.30)' \
         -draw "roundrectangle 1,1 $((m - 1)),$half $((radius - 1)),$((radius - 1))" \) \
      -compose SrcAtop -composite -compose Over \
      -fill none -stroke 'rgba(0,0,0,0.35)' -strokewidth 1 \
      -draw "roundrectangle 0.5,0.5 $((m)).5,$((m)).5 $radius,$radius" -stroke none \
      "$@" "PNG32:$out"
}

# ---- the embedded browser's toolbar arrows (24 x 24): white with a dark rim when enabled,
# grey when disabled, so that they read on light and dark bars alike.
arrow() {  # OUT left|right FILL RIM
  local out=$1 dir=$2 fill=$3 rim=$4 points
  if [ "$dir" = left ]; then points="5,12 17,4 17,20"; else points="19,12 7,4 7,20"; fi
  png -size 24x24 xc:none -fill "$fill" -stroke "$rim" -strokewidth 1.5 -draw "polygon $points" "PNG32:$out"
}
arrow "$www/static/sdk/browser/back.png" left white '#25324a'
arrow "$www/static/sdk/browser/forward.png" right white '#25324a'
arrow "$www/static/sdk/browser/back_disable.png" left '#c9ced6' '#8d94a0'
arrow "$www/static/sdk/browser/forward_disable.png" right '#c9ced6' '#8d94a0'

# ---- action icons (30 x 30), one per action name.
img=$www/static/sdk/img
# "url": opens a web page: a chevron pointing on.
badge "$img/url.png" 30 7 '#6fb1ff' '#1857c9' \
  -fill none -stroke white -strokewidth 3.5 -draw "polyline 12,8 19,15 12,22"
# "canvas": a rich page inside the app: a play triangle.
badge "$img/canvas.png" 30 7 '#ffb14a' '#e0551b' \
  -fill white -draw "polygon 11,8 22,15 11,22"
# "app": hands over to another application: a download arrow over a tray.
badge "$img/app.png" 30 7 '#7ee07a' '#23903a' \
  -fill white -draw "rectangle 13,6 17,15" -draw "polygon 8,14 22,14 15,21" \
  -fill none -stroke white -strokewidth 2.5 -draw "polyline 7,19 7,23 23,23 23,19"
# "email": a mail message: an envelope.
badge "$img/email.png" 30 7 '#c99cff' '#6a35c4' \
  -fill white -draw "rectangle 7,10 23,21" \
  -fill none -stroke '#6a35c4' -strokewidth 1.5 -draw "polyline 7,10 15,17 23,10"

# ---- text ad icons (38 x 38): small brand marks.
icons=$www/static/ads/icons
badge "$icons/trailhead.png" 38 8 '#63c27a' '#1f6e3a' \
  -fill white -draw "polygon 5,30 15,13 21,22 25,17 33,30" \
  -fill '#1f6e3a' -draw "polygon 13,16 15,13 17,16.5 15,18"
badge "$icons/harbor-bank.png" 38 8 '#3d6fb8' '#0f2a57' \
  -font $bold -pointsize 19 -fill white -gravity center -annotate +0+1 'HB' \
  -fill '#f5c542' -draw "rectangle 9,29 29,31"
badge "$icons/mels-diner.png" 38 8 '#ff6b5a' '#b3161b' \
  -fill '#ffd36b' -draw "roundrectangle 8,10 30,17 4,4" \
  -fill '#6b3a1e' -draw "rectangle 8,19 30,23" \
  -fill '#7cc242' -draw "rectangle 7,18 31,19" \
  -fill '#ffd36b' -draw "roundrectangle 8,24 30,29 3,3"
badge "$icons/brain-blocks.png" 38 8 '#4b4f6b' '#1d1f2e' \
  -fill '#ff5d73' -draw "rectangle 8,8 17,17" -fill '#46c2ff' -draw "rectangle 20,8 29,17" \
  -fill '#ffd23f' -draw "rectangle 8,20 17,29" -fill '#5fe08a' -draw "rectangle 20,20 29,29"
badge "$icons/cafe-luna.png" 38 8 '#a9775a' '#4a2a19' \
  -fill '#ffe9a8' -draw "circle 19,19 19,8" -fill '#7d4f35' -draw "circle 24,15 24,5"
badge "$icons/adnet-test.png" 38 8 '#9aa5b4' '#4d5866' \
  -font $bold -pointsize 24 -fill white -gravity center -annotate +0+1 'A' \
  -font $bold -pointsize 7 -fill '#ffe066' -gravity south -annotate +0+2 'TEST'

# ---- banner-image ads (320 x 48). The action icon is drawn over the right end of a banner
# (30 x 30, 4 points from the edge), so every banner keeps its right 40 points plain.
banners=$www/static/ads/banners
banner() {  # OUT C1 C2 [drawing arguments...]
  local out=$1 c1=$2 c2=$3; shift 3
  png -size 48x320 "gradient:$c1-$c2" -rotate -90 \
      \( -size 320x20 xc:none -fill 'rgba(255,255,255,0.16)' -draw "rectangle 0,0 320,20" \) \
      -geometry +0+0 -composite \
      -fill none -stroke 'rgba(0,0,0,0.35)' -strokewidth 1 -draw "rectangle 0.5,0.5 319.5,47.5" -stroke none \
      "$@" "PNG32:$out"
}
# Pocket Chef: a recipe app; opens its canvas page.
banner "$banners/pocket-chef.png" '#ff8a3d' '#c8311f' \
  -fill white -draw "circle 24,24 24,7" -fill '#c8311f' -draw "roundrectangle 15,19 33,31 3,3" \
  -fill white -draw "rectangle 17,15 31,19" -draw "circle 20,15 20,11" -draw "circle 28,15 28,11" \
  -font $bold -pointsize 17 -fill white -annotate +48+22 'Pocket Chef' \
  -font $regular -pointsize 11 -fill '#fff3e6' -annotate +48+37 '2,000 recipes in your pocket' \
  -fill '#ffffff' -draw "roundrectangle 206,12 274,36 11,11" \
  -font $bold -pointsize 11 -fill '#c8311f' -annotate +216+28 'Get it free'
# Skyline Air: a flight offer; opens in the embedded browser.
banner "$banners/skyline-air.png" '#59b7ff' '#0b3f8c' \
  -fill white -draw "polygon 10,27 38,19 41,21 30,27 37,37 34,38 24,30 16,32 14,36 12,36 13,30" \
  -font $bold -pointsize 16 -fill white -annotate +50+21 'Lisbon from $199' \
  -font $regular -pointsize 11 -fill '#dcefff' -annotate +50+37 'Skyline Air · spring fares' \
  -fill '#ffd23f' -draw "roundrectangle 200,12 274,36 11,11" \
  -font $bold -pointsize 11 -fill '#0b3f8c' -annotate +211+28 'Book now'
# City Night Run: a race sign-up; its pixel address is empty.
banner "$banners/night-run.png" '#3b2a6b' '#0c0a1f' \
  -fill '#ffe066' -draw "circle 26,20 26,12" -fill '#3b2a6b' -draw "circle 30,17 30,10" \
  -fill '#ff4fa3' -draw "polygon 8,40 44,40 40,36 12,36" \
  -font $bold -pointsize 16 -fill white -annotate +52+22 'City Night Run 10K' \
  -font $regular -pointsize 11 -fill '#ffb6dc' -annotate +52+37 'Saturday 9 pm · riverside' \
  -fill '#ff4fa3' -draw "roundrectangle 212,12 274,36 11,11" \
  -font $bold -pointsize 11 -fill white -annotate +222+28 'Sign up'
# The test banner: what "m=test" requests get.
banner "$banners/adnet-test.png" '#b8c2cf' '#5b6675' \
  -fill none -stroke 'rgba(255,255,255,0.5)' -strokewidth 2 -draw "rectangle 5,5 274,42" -stroke none \
  -font $bold -pointsize 16 -fill white -annotate +14+22 'AdNet test banner' \
  -font $regular -pointsize 11 -fill '#eef2f7' -annotate +14+37 'Your ad space works. Test ads are never billed.'

# ---- landing page header pictures (320 x 120).
header() {  # OUT C1 C2 TITLE SUBTITLE
  png -size 120x320 "gradient:$2-$3" -rotate -90 \
      -font $bold -pointsize 26 -fill white -gravity west -annotate +18-14 "$4" \
      -font $regular -pointsize 14 -fill 'rgba(255,255,255,0.85)' -annotate +18+18 "$5" "PNG32:$1"
}
header "$www/landing/trailhead.png" '#63c27a' '#1f6e3a' 'Trailhead Outfitters' 'Spring sale: 40% off'
header "$www/landing/harbor-bank.png" '#3d6fb8' '#0f2a57' 'Harbor Bank' '2.5% on savings, no fees'
header "$www/landing/pocket-chef.png" '#ff8a3d' '#c8311f' 'Pocket Chef' '2,000 recipes, one app'
header "$www/landing/skyline-air.png" '#59b7ff' '#0b3f8c' 'Skyline Air' 'Lisbon from $199'
header "$www/landing/mels-diner.png" '#ff6b5a' '#b3161b' "Mel's Diner" 'Free pie with every burger'
header "$www/landing/brain-blocks.png" '#4b4f6b' '#1d1f2e' 'Brain Blocks' 'The puzzle everyone plays'
header "$www/landing/night-run.png" '#3b2a6b' '#0c0a1f' 'City Night Run 10K' 'Saturday 9 pm, riverside'
header "$www/landing/adnet-test.png" '#b8c2cf' '#5b6675' 'AdNet test ad' 'Your integration works'

# ---- the accounting pixel: one transparent pixel, as GIF like every ad network's.
convert -size 1x1 xc:none -strip "GIF:$www/static/ads/pixel.gif"

echo "artwork written to $www"
