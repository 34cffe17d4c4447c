#!/usr/bin/env bash
# Clips of the kinds cameras, discs and broadcasts give besides a phone's
# MP4, made with FFmpeg from a Debian wallpaper and the film footage of
# make_estimate_inputs.sh, and what the converter makes of each:
#   non-square pixels   DV-like 720 x 480 at 8:9 (shown 640 x 480)
#   interlaced          1080i, a fast pan woven from 50 pictures a second
#   high dynamic range  the film footage in HEVC 10-bit PQ, and a still in PQ and HLG
#   program stream      MPEG-2 in an .mpg that times only some pictures
#   cut mid-stream      a transport stream begun 30% in, with B-frames
#   transparency        VP9 WebM whose right half is clear
# For each: the size and frame count read, and what tells the picture is
# right (a comb measure, PSNR against the source picture, a pixel's alpha).
#
#   bench/video/odd_clips.sh CLI FILM_CLIP [DIR]
# FILM_CLIP: film-4s.mp4 of make_estimate_inputs.sh. Needs ffmpeg with
# libx264, libx265, libvpx and zscale, ImageMagick and python3-numpy.
set -euo pipefail
cli=$(realpath "$1")
film=$(realpath "$2")
dir=${3:-/tmp/odd-clips}
mkdir -p "$dir" && cd "$dir"
wall=$(ls /usr/share/wallpapers/Altai/contents/images/*.png | tail -1)
ff() { ffmpeg -loglevel error -y "$@"; }
comb() { # mean difference of a row from its neighbours' mean: high where fields differ
    python3 -c "import sys; import numpy as n; from PIL import Image
a = n.asarray(Image.open(sys.argv[1]).convert('L')).astype(float)
print('%.2f' % n.abs(a[1:-1] - (a[:-2] + a[2:]) / 2).mean())" "$1"
}
frame() { rm -rf "f-$1" && "$cli" frames "$1" "f-$1" -q && echo "f-$1/frame-$(printf %04d "$2").png"; }
line() { printf '%-14s %s\n' "$1" "$("$cli" info "$1" | awk '/^size|^frames|^duration/ {printf "%s ", $0}')"; }

pq="zscale=tin=linear:pin=bt709:min=gbr:t=smpte2084:p=bt2020:m=bt2020nc:r=tv:npl=203"
lin="format=gbrpf32le,zscale=tin=iec61966-2-1:pin=bt709:min=gbr:t=linear:p=bt709:m=gbr"
x265() { echo "-c:v libx265 -x265-params log-level=error:colorprim=bt2020:transfer=$1:colormatrix=bt2020nc -color_primaries bt2020 -color_trc $1 -colorspace bt2020nc"; }

ff -loop 1 -i "$wall" -t 3 -r 30 -vf "scale=720:480,zoompan=z='1+0.002*on':d=1:s=720x480,setsar=8/9" \
    -c:v libx264 -pix_fmt yuv420p sar.mp4
ff -loop 1 -i "$wall" -t 2 -r 50 -vf "crop=1920:1080:x='n*30':y=900,interlace=scan=tff" -c:v libx264 \
    -flags +ildct+ilme -x264opts tff=1 -crf 18 -pix_fmt yuv420p interlaced.mp4
# shellcheck disable=SC2046
ff -i "$film" -vf "format=gbrpf32le,zscale=tin=bt709:pin=bt709:min=bt709:t=linear:p=bt709:m=gbr,$pq,format=yuv420p10le" \
    $(x265 smpte2084) film-pq.mp4
# shellcheck disable=SC2046
ff -loop 1 -i "$wall" -t 0.4 -r 25 -vf "scale=1280:720,$lin,$pq,format=yuv420p10le" $(x265 smpte2084) still-pq.mp4
ff -i "$wall" -vf scale=1280:720 still.png
ff -loop 1 -i "$wall" -t 1 -r 25 -vf scale=640:360 -c:v mpeg2video -q:v 4 program.mpg
ff -i "$film" -c:v libx264 -g 50 -bf 2 -f mpegts whole.ts
packets=$(($(stat -c %s whole.ts) / 188))
dd if=whole.ts of=mid-stream.ts bs=188 skip=$((packets * 3 / 10)) status=none
ff -f lavfi -i "testsrc2=s=320x240:r=15:d=2,format=yuva420p,geq=lum='lum(X,Y)':a='if(lt(X,160),255,0)'" \
    -c:v libvpx-vp9 -pix_fmt yuva420p alpha.webm

for clip in sar.mp4 interlaced.mp4 film-pq.mp4 still-pq.mp4 program.mpg mid-stream.ts alpha.webm; do line "$clip"; done
echo "interlaced: comb measure of frame 20 $(comb "$(frame interlaced.mp4 20)") (a woven picture: about 3)"
echo "still-pq: PSNR against the picture coded $(compare -metric PSNR still.png "$(frame still-pq.mp4 1)" null: 2>&1) dB"
echo "alpha.webm: pixel (250,100) of frame 1 $(convert "$(frame alpha.webm 1)" -crop 1x1+250+100 txt:- | tail -1)"
for clip in film-pq.mp4 mid-stream.ts; do
    /usr/bin/time -f "$clip: convert %U s user, %S s system" "$cli" convert "$clip" out.gif -q -v 6 -j 2
    echo "  $(stat -c %s out.gif) bytes; $("$cli" convert "$clip" e.gif -v 6 --estimate | head -1)"
done
