#!/usr/bin/env bash
# Draws the game's nine pictures at 1x and 2x into DIR (default: resources/), as
# "name.png" and "name@2x.png". Every picture is described once in points (ImageMagick's
# vector language) and rendered at each scale, so both variants line up exactly.
#
# Screen plan, 320 x 480 points. The meter is a 50 x 540 column whose centre starts at
# y = 720, so its top edge sits at the bottom of the tower's window (y = 450); as the centre
# moves up the column fills the window. Band limits of the meter's centre (600, 450, 350)
# put the column's top at y = 330, 180 and 80: the tower's marks.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../resources}
mkdir -p "$out"
# The real ImageMagick, never a wrapper earlier in PATH that might flatten transparency.
IM=${IM:-/usr/bin/convert}
FONT=Nimbus-Sans-Bold
FONT_REGULAR=Nimbus-Sans-Regular

# render NAME WIDTH HEIGHT MVG: writes NAME.png (1x) and NAME@2x.png (2x).
render() {
  local name=$1 w=$2 h=$3 mvg=$4 s suffix
  # Translucent colours are spelled rgba() for ImageMagick 6. A gradient fill must sit in its
  # own graphic context: at the top level it would stick to every later shape.
  mvg=$(perl -pe "s/'#([0-9a-fA-F]{2})([0-9a-fA-F]{2})([0-9a-fA-F]{2})([0-9a-fA-F]{2})'/sprintf(\"'rgba(%d,%d,%d,%.3f)'\", hex(\$1), hex(\$2), hex(\$3), hex(\$4) \/ 255)/ge" <<<"$mvg")
  for s in 1 2; do
    suffix=""; [ "$s" = 2 ] && suffix="@2x"
    "$IM" -size "$((w * s))x$((h * s))" xc:none \
      -draw "scale $s,$s
$mvg" -depth 8 -strip -define png:compression-level=9 "PNG32:$out/$name$suffix.png"
  done
}

# A pill-shaped label: pill X Y W H FILL EDGE TEXT TEXT_COLOUR SIZE
pill() {
  local x=$1 y=$2 w=$3 h=$4 fill=$5 edge=$6 text=$7 ink=$8 size=$9
  local r=$((h / 2))
  cat <<MVG
push graphic-context
fill '#00000055'
stroke none
roundrectangle $((x + 2)),$((y + 4)) $((x + w - 2)),$((y + h - 1)) $r,$r
fill '$fill'
stroke '$edge'
stroke-width 3
roundrectangle $((x + 2)),$((y + 1)) $((x + w - 3)),$((y + h - 5)) $r,$r
fill '#ffffff40'
stroke none
roundrectangle $((x + 10)),$((y + 5)) $((x + w - 11)),$((y + h / 2 - 3)) $((r - 6)),$((r - 6))
fill '$ink'
font '$FONT'
font-size $size
text-anchor middle
text $((x + w / 2)),$((y + h / 2 + size * 36 / 100)) '$text'
pop graphic-context
MVG
}

# bghome: the evening fairground behind everything, with the glass back of the tower.
bghome=$(cat <<MVG
push defs
push gradient 'sky' linear 0,0 0,480
stop-color '#1b0f3b' 0
stop-color '#7a2f6f' 1
pop gradient
push gradient 'glass' linear 140,0 185,0
stop-color '#22305c' 0
stop-color '#0e1430' 1
pop gradient
pop defs
push graphic-context
fill 'url(#sky)'
rectangle 0,0 320,480
pop graphic-context
fill '#ffffff18'
circle 60,430 60,360
circle 270,40 270,-20
push graphic-context
fill 'url(#glass)'
rectangle 135,80 185,450
pop graphic-context
stroke '#ffffff22'
stroke-width 1
line 160,84 160,446
MVG
)
# fairground bulbs down both sides
for y in 60 100 140 180 220 260 300 340 380 420 460; do
  c='#ffd84d'; [ $(( (y / 40) % 2 )) = 1 ] && c='#ff5fa2'
  bghome+=$'\n'"fill '${c}55'"$'\n'"stroke none"$'\n'"circle 10,$y 10,$((y + 8))"$'\n'"circle 310,$y 310,$((y + 8))"
  bghome+=$'\n'"fill '$c'"$'\n'"circle 10,$y 10,$((y + 4))"$'\n'"circle 310,$y 310,$((y + 4))"
done
bghome+=$(cat <<MVG

push graphic-context
fill '#ffffffcc'
font '$FONT'
font-size 34
text-anchor middle
translate 62,265
rotate -90
text 0,0 'SHAKE-O-METER'
pop graphic-context
push graphic-context
fill '#ffffff99'
font '$FONT_REGULAR'
font-size 12
text-anchor middle
translate 95,265
rotate -90
text 0,0 'shake hard for nine seconds'
pop graphic-context
MVG
)
render bghome 320 480 "$bghome"

# meter: the hot column that rises in the tower.
render meter 50 540 "$(cat <<'MVG'
push defs
push gradient 'hot' linear 0,0 0,540
stop-color '#ffd23f' 0
stop-color '#e0182d' 1
pop gradient
pop defs
push graphic-context
fill 'url(#hot)'
rectangle 0,0 50,540
pop graphic-context
# rounded look from flat stripes: gradients with alpha do not blend in ImageMagick 6
fill '#00000050'
rectangle 0,0 5,540
fill '#00000028'
rectangle 5,0 10,540
fill '#ffffff40'
rectangle 13,0 19,540
fill '#00000028'
rectangle 38,0 44,540
fill '#00000060'
rectangle 44,0 50,540
fill '#ffffffcc'
rectangle 0,0 50,3
fill '#ffffff30'
rectangle 0,3 50,8
MVG
)"

# metercover: the tower around the window, its marks and band names; transparent where the
# meter shows through and around the tower.
render metercover 320 480 "$(cat <<MVG
push defs
push gradient 'sky' linear 0,0 0,480
stop-color '#1b0f3b' 0
stop-color '#7a2f6f' 1
pop gradient
push gradient 'steel' linear 122,0 198,0
stop-color '#f4f5f8' 0
stop-color '#7d8294' 1
pop gradient
pop defs
# the sky again above the tower, so that an overshooting meter never shows there
push graphic-context
fill 'url(#sky)'
rectangle 130,0 190,48
pop graphic-context
push graphic-context
fill 'url(#steel)'
stroke '#2a2540'
stroke-width 2
path 'M 122,480 L 122,64 Q 122,36 160,30 Q 198,36 198,64 L 198,480 Z M 135,450 L 185,450 L 185,80 L 135,80 Z'
pop graphic-context
push graphic-context
fill none
stroke '#2a2540'
stroke-width 2
rectangle 134,79 186,451
pop graphic-context
fill '#ffd84d'
stroke '#8a5a00'
stroke-width 1.5
polygon 160,40 164.5,51 176,51 167,58 170.5,69 160,62.5 149.5,69 153,58 144,51 155.5,51
fill '#ffffff33'
stroke none
rectangle 140,82 146,448
stroke '#ffffffcc'
stroke-width 2
line 135,330 185,330
line 135,180 185,180
stroke '#ffffff66'
stroke-width 1
line 135,405 150,405
line 135,255 150,255
line 135,130 150,130
line 170,405 185,405
line 170,255 185,255
line 170,130 185,130
stroke '#2a2540'
stroke-width 2
line 198,330 212,330
line 198,180 212,180
line 198,80 212,80
stroke none
font '$FONT'
font-size 17
fill '#ffd84d'
text 210,72 'SUPER!'
fill '#ff9f1c'
text 210,136 'GREAT'
fill '#7ee081'
text 210,261 'GOOD'
fill '#9fb4ff'
text 210,396 'WEAK'
fill '#5c4a1f'
stroke '#2a2540'
stroke-width 2
roundrectangle 112,452 208,480 6,6
MVG
)"

render keepshaking 240 44 "$(pill 0 0 240 44 '#ff3d8b' '#ffffff' 'KEEP SHAKING!' '#ffffff' 22)"
render butstart 200 72 "$(pill 0 0 200 72 '#ffd84d' '#5c3a00' 'START' '#3a2500' 34)"

# result cards: card NAME FILL EDGE TITLE LINE
card() {
  render "$1" 260 120 "$(cat <<MVG
fill '#00000066'
roundrectangle 4,6 258,119 18,18
fill '$2'
stroke '$3'
stroke-width 4
roundrectangle 3,3 255,113 16,16
stroke none
fill '#ffffff30'
roundrectangle 12,9 246,50 12,12
fill '#ffffff'
font '$FONT'
font-size 34
text-anchor middle
text 129,47 '$4'
font '$FONT_REGULAR'
font-size 15
text 129,76 '$5'
fill '#ffffffbb'
font '$FONT'
font-size 13
text 129,101 'TAP TO PLAY AGAIN'
MVG
)"
}
card butd1 '#4b5d8f' '#9fb4ff' 'WEAK...' 'Is that all? Shake harder!'
card butd2 '#2f8a48' '#7ee081' 'GOOD!' 'Nice shaking. Can you go higher?'
card butd3 '#c2571a' '#ffc46b' 'GREAT!' 'Almost at the top!'
card butd4 '#b8860b' '#fff27a' 'SUPER!' 'You are a shake master!'
echo "pictures written to $out"
