#!/usr/bin/env bash
# Draws sample-chart.bmp, the chart that ./run.sh and the tests scan: axes
# from real (0, 0) at window pixel (60, 420) to x = 10 at column 580 and
# y = 100 at row 60, with one smooth curve and a light grid.
set -euo pipefail
cd "$(dirname "$0")"
curve=$(python3 -c '
import math
pts=[]
for i in range(0,521):
    x=60+i; xr=i/52.0
    yr=50+30*math.sin(xr*0.9)+0.3*xr*xr
    pts.append("%d,%.2f"%(x,420-yr*3.6))
print(" ".join(pts))')
grid=""
for i in $(seq 1 10); do x=$((60 + i * 52)); grid+="line $x,60 $x,420 "; done
for i in $(seq 1 10); do y=$((420 - i * 36)); grid+="line 60,$y 580,$y "; done
ticks=""
for i in $(seq 0 10); do x=$((60 + i * 52)); ticks+="line $x,420 $x,426 "; done
for i in $(seq 0 10); do y=$((420 - i * 36)); ticks+="line 54,$y 60,$y "; done
labels=()
for i in 0 2 4 6 8 10; do labels+=(-draw "text $((56 + i * 52 - (i >= 10 ? 4 : 0))),442 '$i'"); done
for i in 0 20 40 60 80 100; do labels+=(-draw "text $((i >= 100 ? 22 : (i >= 10 ? 30 : 38))),$((425 - i * 36 / 10)) '$i'"); done
/usr/bin/convert -size 640x480 xc:white \
  -stroke '#d8d8d8' -strokewidth 1 -draw "$grid" \
  -stroke black -strokewidth 1 -draw "line 60,420 590,420" -draw "line 60,420 60,50" -draw "$ticks" \
  -fill none -stroke '#202080' -strokewidth 2 -draw "polyline $curve" \
  -stroke none -fill black -font DejaVu-Sans -pointsize 13 "${labels[@]}" \
  -draw "text 300,470 'time [s]'" -draw "text 8,40 'signal [mV]'" \
  -type TrueColor BMP3:sample-chart.bmp
