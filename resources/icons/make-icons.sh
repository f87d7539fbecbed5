#!/usr/bin/env bash
# Draws the 16 x 16 tool bar pictures and the about box picture.
set -euo pipefail
cd "$(dirname "$0")"
c=/usr/bin/convert
new() { $c -size 16x16 xc:none "$@"; }
new -fill '#f0c040' -stroke '#806010' -draw "polygon 1,4 6,4 7,5 14,5 14,13 1,13" -fill '#f8dc80' -draw "polygon 3,7 15,7 13,13 1,13" on-open.png
new -fill '#3060c0' -stroke '#102050' -draw "rectangle 1,1 14,14" -fill white -stroke none -draw "rectangle 4,2 11,6" -fill '#c0c0c0' -draw "rectangle 4,10 11,14" on-save.png
new -fill white -stroke '#404040' -draw "rectangle 1,1 9,11" -draw "rectangle 6,4 14,14" -stroke '#8080ff' -draw "line 8,7 12,7 line 8,9 12,9 line 8,11 12,11" on-copy.png
new -fill '#b08040' -stroke '#604010' -draw "rectangle 2,2 13,14" -fill white -stroke '#404040' -draw "rectangle 4,4 11,13" -fill '#808080' -stroke none -draw "rectangle 5,1 10,3" on-paste.png
new -fill none -stroke '#10a020' -strokewidth 3 -draw "polyline 2,8 6,12 14,3" on-options.png
new -fill white -stroke black -draw "rectangle 0,0 15,15" -stroke '#d02020' -draw "polyline 2,12 5,6 8,9 13,3" -stroke '#2040d0' -draw "polyline 2,8 6,11 10,5 13,8" on-execute.png
new -fill '#2050c0' -stroke none -draw "circle 8,8 8,1" -fill white -font DejaVu-Sans-Bold -pointsize 13 -gravity center -draw "text 0,0 '?'" on-help.png
for f in on-*.png; do $c "$f" -colorspace Gray -channel RGB -fill white -colorize 45% "off-${f#on-}"; done
new -fill '#e06080' -stroke '#602030' -draw "polygon 2,10 9,3 14,8 7,15" -fill '#6080e0' -draw "polygon 2,10 5,7 10,12 7,15" scan-0.png
$c scan-0.png -colorspace Gray -channel RGB -fill white -colorize 35% scan-1.png
new -fill none -stroke '#606060' -strokewidth 2 -draw "arc 4,0 12,10 180,300" -fill '#e0b030' -stroke '#705010' -strokewidth 1 -draw "rectangle 2,7 13,15" scan-2.png
new -fill none -stroke '#606060' -strokewidth 2 -draw "arc 4,1 12,11 180,360" -fill '#e0b030' -stroke '#705010' -strokewidth 1 -draw "rectangle 2,7 13,15" scan-3.png
axes() { new -stroke black -draw "line 3,1 3,13 line 3,13 15,13" "$@"; }
axes -fill none -stroke '#d02020' -draw "circle 3,13 3,10" -stroke none -fill '#2040d0' -font DejaVu-Sans-Bold -pointsize 9 -draw "text 6,9 'O'" scan-4.png
axes -fill none -stroke '#d02020' -draw "circle 13,13 13,10" -stroke none -fill '#2040d0' -font DejaVu-Sans-Bold -pointsize 9 -draw "text 6,9 'X'" scan-6.png
axes -fill none -stroke '#d02020' -draw "circle 3,3 3,0" -stroke none -fill '#2040d0' -font DejaVu-Sans-Bold -pointsize 9 -draw "text 7,10 'Y'" scan-8.png
for i in 4 6 8; do cp "scan-$i.png" "scan-$((i + 1)).png"; done
$c -size 489x300 gradient:'#f4f8ff-#c8d8f0' \
  -fill none -stroke "#b0c0d8" -draw "line 20,292 480,292 line 20,292 20,250" \
  -stroke "#7090c8" -strokewidth 3 -draw "bezier 20,288 150,245 300,296 480,252" \
  -stroke none -fill '#203060' -font DejaVu-Sans-Bold -pointsize 34 -draw "text 70,105 'Plotrun 1.1'" \
  -font DejaVu-Sans -pointsize 14 -fill '#203060' \
  -draw "text 70,140 'Digitizes charts that you only have as a picture.'" \
  -draw "text 70,162 'Mark the axes, draw the area, and get the curve'" \
  -draw "text 70,184 'back as numbers: x, y and the spread of each strip.'" \
  -pointsize 12 -draw "text 70,225 'Copyright (c) 2026 Plotrun developers'" \
  -type TrueColor ../about.png
