#!/usr/bin/python3
"""Makes film-like clips for the video-out benchmarks: 10 s at 640 x 360 of
a photograph with the camera moving (a zoom and a drift, by ffmpeg's
zoompan), film grain (its noise filter) and a sound track (a tone that
changes pitch under brown noise), H.264 with AAC sound.

  make_film.py DIR      film-horse.mp4 (25 fps), film-castle.mp4 (30 fps),
                        film-24.mp4 (the horse again at 24 fps)

Needs python3-pil, jigzo-data and ffmpeg (Debian); none of them is a
dependency of the program.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "conversion"))
from make_animations import puzzle_photo  # noqa: E402

CLIPS = {"film-horse.mp4": ("horse-4x3.pzl", 25, 330), "film-castle.mp4": ("castle-6x3.pzl", 30, 440),
         "film-24.mp4": ("horse-4x3.pzl", 24, 330)}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (puzzle, fps, pitch) in CLIPS.items():
        photo = os.path.join(out, name + ".png")
        puzzle_photo(puzzle).save(photo)
        frames = 10 * fps
        # The camera zooms in from 1 to 1.3 while drifting right and down;
        # grain changes every frame.
        video = ("scale=2560:-2,zoompan=z='1+0.3*on/%d':x='iw*0.1*on/%d+(iw-iw/zoom)/4':"
                 "y='ih*0.05*on/%d+(ih-ih/zoom)/4':d=%d:s=640x360:fps=%d,noise=alls=6:allf=t,format=yuv420p"
                 % (frames, frames, frames, frames, fps))
        sound = ("aevalsrc='0.3*sin(2*PI*t*(%d+40*sin(t)))':s=48000:d=10[a];"
                 "anoisesrc=c=brown:a=0.1:r=48000:d=10[b];[a][b]amix=inputs=2,aformat=channel_layouts=stereo"
                 % pitch)
        subprocess.run(["ffmpeg", "-y", "-loglevel", "error", "-loop", "1", "-i", photo, "-f", "lavfi", "-i",
                        sound, "-vf", video, "-frames:v", str(frames), "-c:v", "libx264", "-preset", "medium",
                        "-crf", "18", "-c:a", "aac", "-b:a", "128k", "-t", "10", os.path.join(out, name)],
                       check=True)
        os.remove(photo)


if __name__ == "__main__":
    main()
