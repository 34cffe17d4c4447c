#!/usr/bin/env bash
# Makes the inputs of the estimate's table (estimate_table.sh) in DIR: the
# three animations of make_animations.py, the panorama with every delay set
# to 0, the screen recording's first 40 frames, a small full-colour GIF
# with delays of 0, and clips made with FFmpeg from Debian photographs:
# film-like footage (motion, grain) at 640 x 360 and at 1080p, a nearly
# still 1080p screen recording of a few KB, a phone clip stored on its side
# and a dark scene.
#
#   bench/conversion/make_estimate_inputs.sh DIR
#
# Needs python3-pil, jigzo-data and ffmpeg (Debian).
set -euo pipefail
here="$(dirname "$(realpath "$0")")"
out="$1"
mkdir -p "$out"
/usr/bin/python3 "$here/make_animations.py" "$out"
/usr/bin/python3 "$here/../video/make_film.py" "$out" >/dev/null

# GIF surgery: every delay set to 0, or only the first N frames kept.
/usr/bin/python3 - "$out" <<'EOF'
import sys
out = sys.argv[1]

def blocks(data, i):
    while data[i]:
        i += 1 + data[i]
    return i + 1

def rewrite(src, dst, zero_delays=False, keep=None):
    data = bytearray(open(src, "rb").read())
    i = 13 + (3 << ((data[10] & 7) + 1) if data[10] & 0x80 else 0)
    head, parts, frames = data[:i], [], 0
    while data[i] != 0x3B and (keep is None or frames < keep):
        start = i
        if data[i] == 0x21:
            if data[i + 1] == 0xF9 and zero_delays:
                data[i + 4] = data[i + 5] = 0
            i = blocks(data, i + 2)
        else:
            flags = data[i + 9]
            i += 10 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)
            i = blocks(data, i + 1)
            frames += 1
        parts.append(data[start:i])
    open(dst, "wb").write(bytes(head) + b"".join(parts) + b"\x3b")

rewrite(out + "/panorama.gif", out + "/panorama-delay0.gif", zero_delays=True)
rewrite(out + "/screen.gif", out + "/screen-40.gif", keep=40)
EOF

photo=/usr/share/wallpapers/Autumn/contents/images/1920x1080.jpg
ff() { ffmpeg -y -loglevel error "$@"; }
# A small full-colour GIF: 96 x 54, 30 frames of a pan, each frame its own
# palette with dithering, delays of 0.
ff -loop 1 -i "$photo" -vf "scale=384:-2,crop=96:54:x='t*60':y=40,fps=30,split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1" \
    -t 1 -final_delay 0 -gifflags 0 "$out/small-colour.gif"
/usr/bin/python3 - "$out/small-colour.gif" <<'EOF'
import sys
p = sys.argv[1]
d = bytearray(open(p, "rb").read())
i = d.find(b"\x21\xf9\x04")
while i >= 0:
    d[i + 4] = d[i + 5] = 0
    i = d.find(b"\x21\xf9\x04", i + 8)
open(p, "wb").write(bytes(d))
EOF
# Film-like: 4 s of 640 x 360 at 24 fps, a slow pan and zoom with grain.
ff -loop 1 -i "$photo" -vf "scale=2560:-2,zoompan=z='1+0.2*on/96':x='iw*0.1*on/96':y='ih*0.05*on/96':d=96:s=640x360:fps=24,noise=alls=8:allf=t,format=yuv420p" \
    -frames:v 96 -c:v libx264 -crf 20 "$out/film-4s.mp4"
# The same at 1920 x 1080, as a camera or phone records it: decoding it costs
# a large part of its conversion.
ff -loop 1 -i "$photo" -vf "scale=3840:-2,zoompan=z='1+0.2*on/96':x='iw*0.1*on/96':y='ih*0.05*on/96':d=96:s=1920x1080:fps=24,noise=alls=8:allf=t,format=yuv420p" \
    -frames:v 96 -c:v libx264 -crf 20 "$out/film-1080.mp4"
# A nearly still 1080p screen: a still picture with a small box (a cursor)
# moving over it, 5 s at 30 fps, a few KB.
ff -f lavfi -i "color=c=0xe8e8e8:s=1920x1080:r=30,drawbox=x=100:y=100:w=1200:h=700:c=white:t=fill,drawbox=x=100:y=100:w=1200:h=40:c=0x3050a0:t=fill,drawbox=x='300+t*120':y='400+t*40':w=12:h=18:c=black:t=fill" \
    -t 5 -c:v libx264 -preset veryslow -crf 30 -pix_fmt yuv420p "$out/still-screen.mp4"
# A phone clip on its side: 480 x 854 pictures stored turned (rotation
# metadata), 3 s at 30 fps with grain.
ff -loop 1 -i "$photo" -vf "scale=-2:1000,crop=854:480:x='t*40':y=100,noise=alls=6:allf=t,format=yuv420p" \
    -t 3 -r 30 -c:v libx264 -crf 22 "$out/phone-flat.mp4"
ff -i "$out/phone-flat.mp4" -c copy -metadata:s:v:0 rotate=90 "$out/phone-turned.mp4"
rm "$out/phone-flat.mp4"
# A dark scene: 480 x 270, 24 fps, 3 s.
ff -loop 1 -i "$photo" -vf "scale=480:270,eq=brightness=-0.35:contrast=0.6,crop=480:270:x=0:y=0,noise=alls=3:allf=t,format=yuv420p" \
    -t 3 -r 24 -c:v libx264 -crf 22 "$out/dark.mp4"
ls -l "$out"
