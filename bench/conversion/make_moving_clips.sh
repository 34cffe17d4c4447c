#!/usr/bin/env bash
# Makes clips whose change is not spread evenly, in DIR, for the estimate:
# film that freezes after 1 s (early) or holds still for 9 s before 1 s of
# film (late), the same with a key picture every 12 frames, shown on its
# side, in VP9, with a pause of 700 s before its last 10 frames and at
# 1080p; a 720p screen whose only scroll lasts half a second with
# a blinking cursor, and the same in MJPEG; a 10-bit HEVC phone clip held
# still for 2 s and then panning, stored on its side; a screen with a key
# picture every 2 s and nothing else moving; a 3 s title card before 3 s
# of film; 96 x 64 test pictures still for 7 s and moving for 1 (as in
# the tests); clips made at 15-25 fps and stored at 30; and lines of text
# held still with a key picture every 1 or 2 s. make_estimate_inputs.sh's
# film-24.mp4 must be in DIR first.
#
#   bench/conversion/make_moving_clips.sh DIR
set -euo pipefail
out="$1"
film="$out/film-24.mp4"
wall=/usr/share/wallpapers/Autumn/contents/images/1920x1080.jpg
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
ff() { ffmpeg -nostdin -v error -y "$@"; }

ff -i "$film" -vf "trim=end_frame=24,tpad=stop_mode=clone:stop_duration=9" -an \
    -c:v libx264 -pix_fmt yuv420p "$out/early.mp4"
ff -i "$film" -vf "trim=end_frame=24,setpts=PTS-STARTPTS,tpad=start_mode=clone:start_duration=9" -an \
    -c:v libx264 -pix_fmt yuv420p "$out/late.mp4"
ff -i "$out/late.mp4" -c:v libx264 -g 12 -pix_fmt yuv420p "$out/late-k12.mp4"
ff -i "$out/late.mp4" -vf transpose=1 -c:v libx264 -pix_fmt yuv420p "$out/late-turned.mp4"
ff -i "$out/late.mp4" -c:v libvpx-vp9 -crf 32 -b:v 0 -deadline good -cpu-used 4 "$out/late-vp9.webm"
ff -i "$out/late.mp4" -vf "setpts='if(gte(N,230),PTS+700/TB,PTS)'" -fps_mode vfr \
    -c:v libx264 -pix_fmt yuv420p "$out/late-pause.mp4"
ff -i "$out/late.mp4" -vf scale=1920:1080:flags=bicubic -c:v libx264 -preset veryfast -pix_fmt yuv420p \
    "$out/late-1080p.mp4"
ff -loop 1 -framerate 30 -i "$wall" -vf "scale=1280:-2,crop=1280:620:0:'if(between(t,3,3.5),(t-3)*200,if(gt(t,3.5),100,0))',pad=1280:720:0:100:white,drawbox=x=600:y=300:w=4:h=24:color=black:t=fill:enable='lt(mod(t,1),0.5)',format=yuv420p" \
    -t 10 -c:v libx264 -preset veryfast -crf 23 "$out/scroll.mp4"
ff -i "$out/scroll.mp4" -c:v mjpeg -q:v 3 "$out/scroll-mjpeg.avi"
ff -loop 1 -framerate 30 -i "$wall" -vf "scale=1920:1080,crop=1280:720:'if(gt(t,2),(t-2)*600,0)':180,noise=alls=4:allf=t,transpose=1,format=yuv420p10le" \
    -t 3 -c:v libx265 -x265-params log-level=error -tag:v hvc1 "$out/phone-still-pan.mov"
ff -f lavfi -i "color=c=white:s=1280x720:r=30:d=8" \
    -vf "drawtext=fontfile=$font:fontsize=28:x=40:y=40:text='The quick brown fox jumps over the lazy dog',format=yuv420p" \
    -c:v libx264 -g 60 -crf 23 "$out/keys-screen.mp4"
ff -f lavfi -i "color=c=black:s=640x360:r=24:d=3" -i "$film" -filter_complex \
    "[0]drawtext=fontfile=$font:fontsize=40:fontcolor=white:x=(w-tw)/2:y=(h-th)/2:text='Chapter One',format=yuv420p,setsar=1[a];[1:v]trim=duration=3,setpts=PTS-STARTPTS,format=yuv420p,setsar=1[b];[a][b]concat=n=2:v=1[v]" \
    -map "[v]" -c:v libx264 -crf 20 "$out/titlecard.mp4"
ff -f lavfi -i "testsrc2=s=96x64:r=10:d=1" -vf "tpad=start_mode=clone:start_duration=7,format=yuv420p" \
    -c:v libx264 -crf 23 -an "$out/still-then-moving.mp4"

# Frames that repeat in a pattern: pictures made at 15, 20, 24 and 25 fps and
# stored at 30 (FFmpeg repeats a picture where the rates part), with grain:
# SMPTE bars and test pictures at 128 x 72, and four wallpapers panned at
# 320 x 180. thirty-from-25.mp4 of the tests is rate-bars-25.mp4.
sans=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
for r in 24 25 15 20; do
    ff -f lavfi -i "testsrc2=s=128x72:r=$r:d=3" -vf "format=yuv420p,noise=alls=5:allf=t" \
        -r 30 -c:v libx264 -crf 23 -an "$out/rate-testsrc-$r.mp4"
    ff -f lavfi -i "smptehdbars=s=128x72:r=$r:d=3" -vf "format=yuv420p,scroll=h=0.01,noise=alls=5:allf=t" \
        -r 30 -c:v libx264 -crf 23 -an "$out/rate-bars-$r.mp4"
    for w in Autumn BytheWater ColorfulCups FallenLeaf; do
        img=$(find "/usr/share/wallpapers/$w/contents/images" -name '*.jpg' -o -name '*.png' | sort | head -1)
        ff -loop 1 -framerate $r -i "$img" -vf "scale=-2:400,crop=320:180:x='t*60':y=80,noise=alls=5:allf=t,format=yuv420p" \
            -t 3 -r 30 -c:v libx264 -crf 23 -an "$out/rate-$w-$r.mp4"
    done
done
# A line of text held still, a key picture every 1 or 2 s: size, font size,
# margin, seconds, frames between key pictures, text. The tests'
# screen-keys-480x270.mp4 and screen-keys-854x480.mp4 are the first and the
# fourth.
long='The quick brown fox jumps over the lazy dog'
while IFS='|' read -r size points margin seconds keys text; do
    ff -f lavfi -i "color=c=white:s=$size:r=30:d=$seconds" \
        -vf "drawtext=fontfile=$sans:fontsize=$points:x=$margin:y=$margin:text='$text',format=yuv420p" \
        -c:v libx264 -g "$keys" -crf 23 "$out/text-$size-$points-g$keys.mp4"
done <<LINES
480x270|20|20|8|60|$long
640x360|20|20|8|60|$long
640x360|14|40|8|60|$long
854x480|20|40|8|60|$long
960x540|24|40|8|60|$long
192x108|12|8|6|30|The quick brown fox
256x144|12|8|6|30|The quick brown fox
192x108|12|8|6|60|The quick brown fox
256x144|12|8|6|60|The quick brown fox
LINES
