#!/usr/bin/env bash
# Decodes a GIF in headless Chromium, frame by frame as a web page shows it
# (ImageDecoder), and compares every pixel of every frame with the PNG
# frames given (frame-0001.png and on, as `quillframe-cli frames` writes
# them): the browser must show the same frames, pixel for pixel.
#
#   scripts/check-gif-in-chromium.sh GIF FRAMES_DIR
#
# Prints what the browser found; exit status 0 when every frame matches, 1
# when one does not (or the frame counts differ), 77 without chromium.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 GIF FRAMES_DIR" >&2; exit 2; }
gif="$(realpath "$1")"
frames="$(realpath "$2")"
command -v chromium >/dev/null || { echo "chromium is not installed (apt-get install chromium)" >&2; exit 77; }
count=$(find "$frames" -maxdepth 1 -name 'frame-*.png' | wc -l)
[ "$count" -gt 0 ] || { echo "$frames holds no frame-*.png" >&2; exit 2; }

source "$(dirname "$0")/chromium-page.sh"
ln -s "$gif" "$work/animation.gif"
ln -s "$frames" "$work/frames"

# The page decodes each frame of the GIF and loads each PNG, draws both on
# canvases of the animation's size, and counts the pixels that differ.
{
    echo '<!doctype html><meta charset="utf-8"><body><script>'
    echo "const pngs = $count;"
    cat <<'JS'
function pixels(image, width, height) {
  const canvas = new OffscreenCanvas(width, height);
  const context = canvas.getContext('2d', {colorSpace: 'srgb'});
  context.drawImage(image, 0, 0);
  return context.getImageData(0, 0, width, height, {colorSpace: 'srgb'}).data;
}
async function check() {
  const seen = {frames: 0, pngs: pngs, differing: []};
  const data = await (await fetch('animation.gif')).arrayBuffer();
  const decoder = new ImageDecoder({data: data, type: 'image/gif', colorSpaceConversion: 'none'});
  await decoder.tracks.ready;
  seen.frames = decoder.tracks.selectedTrack.frameCount;
  for (let i = 0; i < Math.min(seen.frames, pngs); i++) {
    const frame = (await decoder.decode({frameIndex: i})).image;
    const name = 'frames/frame-' + String(i + 1).padStart(4, '0') + '.png';
    const png = await createImageBitmap(await (await fetch(name)).blob(),
                                        {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
    const a = pixels(frame, png.width, png.height), b = pixels(png, png.width, png.height);
    let differ = 0;
    for (let p = 0; p < a.length; p += 4)
      if (a[p] != b[p] || a[p + 1] != b[p + 1] || a[p + 2] != b[p + 2] || a[p + 3] != b[p + 3]) differ++;
    if (frame.displayWidth != png.width || frame.displayHeight != png.height || differ)
      seen.differing.push({frame: i + 1, pixels: differ, width: frame.displayWidth, height: frame.displayHeight});
    frame.close();
  }
  return seen;
}
check().catch(e => ({error: String(e)}))
  .then(seen => fetch('/report', {method: 'POST', body: JSON.stringify(seen)}));
JS
    echo '</script>'
} >"$work/index.html"

run_page_in_chromium "${QF_CHROMIUM_TIMEOUT_S:-60}"

/usr/bin/python3 - "$work/report.json" "$1" <<'PY'
import json, sys
seen = json.load(open(sys.argv[1]))
if "error" in seen:
    print("%s: Chromium could not decode it (%s)" % (sys.argv[2], seen["error"]))
    sys.exit(1)
print("%s: %d frames in Chromium, %d PNG frames; frames that differ: %s"
      % (sys.argv[2], seen["frames"], seen["pngs"],
         ", ".join("%d (%d pixels, %d x %d)" % (d["frame"], d["pixels"], d["width"], d["height"])
                   for d in seen["differing"]) or "none"))
sys.exit(0 if seen["frames"] == seen["pngs"] and not seen["differing"] else 1)
PY
