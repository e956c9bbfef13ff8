#!/usr/bin/env bash
# Makes the game's seven sounds into DIR (default: resources/): mono 16-bit little-endian
# WAV at 22050 Hz, trimmed, so the repository stays light. Voices come from espeak-ng, the
# rest is synthesised by sox.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../resources}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fmt=(-r 22050 -c 1 -b 16 -e signed-integer -L)

# voice NAME PITCH SPEED TEXT: spoken line, silence trimmed at both ends, a little reverb.
voice() {
  espeak-ng -v en-us+m3 -p "$2" -s "$3" -w "$tmp/$1.raw.wav" "$4"
  sox "$tmp/$1.raw.wav" "$tmp/$1.trim.wav" \
    silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
  # the trimmed length is known only now, so the fades need a second pass
  sox "$tmp/$1.trim.wav" "${fmt[@]}" "$out/$1.wav" \
    reverb 20 50 40 gain -n -1 fade 0.005 "$(soxi -D "$tmp/$1.trim.wav")" 0.02
}

# countdown: three short beeps and a higher, longer "go" beep.
for i in 1 2 3; do
  sox -n "${fmt[@]}" "$tmp/beep$i.wav" synth 0.12 sine 660 fade 0.005 0.12 0.04 pad 0 0.18
done
sox -n "${fmt[@]}" "$tmp/go.wav" synth 0.35 sine 1320 sine 1320 fade 0.005 0.35 0.15
sox "$tmp/beep1.wav" "$tmp/beep2.wav" "$tmp/beep3.wav" "$tmp/go.wav" "${fmt[@]}" \
  "$out/countdown.wav" gain -n -3

# warning: a two-tone alarm, twice.
sox -n "${fmt[@]}" "$tmp/hi.wav" synth 0.14 square 988 gain -12 fade 0.003 0.14 0.01
sox -n "${fmt[@]}" "$tmp/lo.wav" synth 0.14 square 740 gain -12 fade 0.003 0.14 0.01
sox "$tmp/hi.wav" "$tmp/lo.wav" "$tmp/hi.wav" "$tmp/lo.wav" "${fmt[@]}" "$out/warning.wav" \
  lowpass 4000 gain -n -3

# endloop: the closing fanfare, a rising arpeggio and a held chord.
n=0
for f in 523.25 659.25 783.99; do
  n=$((n + 1))
  sox -n "${fmt[@]}" "$tmp/a$n.wav" synth 0.11 triangle "$f" fade 0.003 0.11 0.03
done
sox -n "${fmt[@]}" "$tmp/chord.wav" synth 0.6 triangle 523.25 triangle 659.25 triangle 1046.5 \
  remix - fade 0.003 0.6 0.4
sox "$tmp/a1.wav" "$tmp/a2.wav" "$tmp/a3.wav" "$tmp/chord.wav" "${fmt[@]}" "$out/endloop.wav" \
  gain -n -3

voice v1 40 150 "Is that all? Shake harder!"
voice v3 55 165 "Nice shaking!"
voice v4 75 190 "Woo hoo! Keep going!"
voice v5 70 170 "Incredible! Shake master!"
echo "sounds written to $out"
