#!/usr/bin/env bash
# Plays MP4 and WebM files in headless Chromium, as a web page with a
# <video> element shows them, and reports for each what the browser found:
# whether it loaded, its duration and picture size, whether sound was
# decoded, and whether it played to its end.
#
#   scripts/check-clips-in-chromium.sh CLIP... [-- EXPECTED_SECONDS WIDTH HEIGHT [sound]]
#
# With the expectation after --, every clip must report that duration
# (within 0.05 s) and size, decode sound where "sound" is given, and play
# to its end, or the exit status is 1. Without chromium the status is 77
# (apt-get install chromium: about 360 MB installed; CI installs it). Safe
# to run as root in a bare container: no sandbox, a profile of its own
# that is removed afterwards, a port the system chose, and the browser
# stopped after QF_CHROMIUM_TIMEOUT_S seconds (default 30 and 70 a clip)
# whatever it is doing.
set -euo pipefail
clips=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do clips+=("$(realpath "$1")"); shift; done
[ "${1:-}" = "--" ] && shift
expected=("$@")
command -v chromium >/dev/null || { echo "chromium is not installed (apt-get install chromium)" >&2; exit 77; }
[ ${#clips[@]} -gt 0 ] || { echo "usage: $0 CLIP... [-- SECONDS WIDTH HEIGHT [sound]]" >&2; exit 2; }

source "$(dirname "$0")/chromium-page.sh"
for i in "${!clips[@]}"; do ln -s "${clips[$i]}" "$work/clip-$i.${clips[$i]##*.}"; done

# The page plays each clip muted (so it may start by itself) and posts what
# it saw back to the page's server (chromium-page.sh).
{
    echo '<!doctype html><meta charset="utf-8"><body><script>'
    echo 'const clips = ['
    for i in "${!clips[@]}"; do echo "  'clip-$i.${clips[$i]##*.}',"; done
    echo '];'
    cat <<'JS'
function play(name) {
  return new Promise(done => {
    const v = document.createElement('video');
    const seen = {clip: name, loaded: false, ended: false};
    const finish = () => { seen.currentTime = v.currentTime;
      seen.audioBytes = v.webkitAudioDecodedByteCount; seen.videoBytes = v.webkitVideoDecodedByteCount;
      seen.droppedFrames = v.webkitDroppedFrameCount; seen.decodedFrames = v.webkitDecodedFrameCount; done(seen); };
    v.muted = true; v.playsInline = true; v.preload = 'auto';
    v.addEventListener('loadedmetadata', () => { seen.loaded = true; seen.duration = v.duration;
      seen.width = v.videoWidth; seen.height = v.videoHeight; v.play().catch(e => { seen.playError = String(e); finish(); }); });
    v.addEventListener('ended', () => { seen.ended = true; finish(); });
    v.addEventListener('error', () => { seen.error = v.error ? v.error.code + ' ' + v.error.message : 'error'; finish(); });
    setTimeout(finish, 60000);
    v.src = name; document.body.appendChild(v);
  });
}
(async () => {
  const results = [];
  for (const c of clips) results.push(await play(c));
  await fetch('/report', {method: 'POST', body: JSON.stringify(results)});
})();
JS
    echo '</script>'
} >"$work/index.html"

limit="${QF_CHROMIUM_TIMEOUT_S:-$(( 30 + 70 * ${#clips[@]} ))}"
run_page_in_chromium "$limit"

/usr/bin/python3 - "$work/report.json" "${expected[@]}" "${clips[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))
rest = sys.argv[2:]
given = len(rest) - len(results)
expect = [float(rest[0]), int(rest[1]), int(rest[2])] if given >= 3 else None
sound = given == 4 and rest[3] == "sound"
names = rest[given:]
bad = 0
for r, name in zip(results, names):
    # A stream written without going back states no duration (JSON null).
    duration = r.get("duration")
    print("%s: %s, duration %s, %s x %s, sound decoded %s bytes, frames decoded %s, played to the end: %s%s"
          % (name, "loaded" if r.get("loaded") else "NOT loaded",
             "%.3f s" % duration if isinstance(duration, (int, float)) else "not stated", r.get("width"),
             r.get("height"), r.get("audioBytes"), r.get("decodedFrames"), "yes" if r.get("ended") else "NO",
             " (error %s)" % r["error"] if "error" in r else ""))
    if expect and not (r.get("ended") and abs((duration or 0) - expect[0]) <= 0.05
                       and r.get("width") == expect[1] and r.get("height") == expect[2]
                       and (not sound or (r.get("audioBytes") or 0) > 0)):
        bad = 1
sys.exit(bad)
PY
