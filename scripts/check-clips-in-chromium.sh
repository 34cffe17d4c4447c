#!/usr/bin/env bash
# Plays MP4 and WebM files in headless Chromium, as a web page with a
# <video> element shows them, and reports for each what the browser found:
# whether it loaded, its duration and picture size, whether sound was
# decoded, and whether it played to its end.
#
#   scripts/check-clips-in-chromium.sh CLIP... [-- EXPECTED_SECONDS WIDTH HEIGHT]
#
# With the expectation after --, every clip must report that duration
# (within 0.05 s) and size and play to its end, or the exit status is 1.
# Needs Debian's chromium (apt-get install chromium: about 360 MB installed); CI does
# not install it for this alone, so the script is run by hand after a
# change to the clip writer.
set -euo pipefail
clips=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do clips+=("$(realpath "$1")"); shift; done
[ "${1:-}" = "--" ] && shift
expected=("$@")
command -v chromium >/dev/null || { echo "chromium is not installed (apt-get install chromium)" >&2; exit 2; }
[ ${#clips[@]} -gt 0 ] || { echo "usage: $0 CLIP... [-- SECONDS WIDTH HEIGHT]" >&2; exit 2; }

work="$(mktemp -d)"
browser=""
cleanup() {
    status=$?
    if [ -n "$browser" ]; then
        kill "$browser" 2>/dev/null || true
        wait "$browser" 2>/dev/null || true
    fi
    rm -rf "$work" 2>/dev/null || true
    exit "$status"
}
trap cleanup EXIT
for i in "${!clips[@]}"; do ln -s "${clips[$i]}" "$work/clip-$i.${clips[$i]##*.}"; done

# The page plays each clip muted (so it may start by itself) and posts what
# it saw back to the server below.
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

cat >"$work/serve.py" <<'PY'
import http.server, json, sys, os
class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_POST(self):
        body = self.rfile.read(int(self.headers['Content-Length']))
        self.send_response(204); self.end_headers()
        open(os.path.join(sys.argv[2], 'report.json'), 'wb').write(body)
        raise KeyboardInterrupt
os.chdir(sys.argv[2])
server = http.server.HTTPServer(('127.0.0.1', int(sys.argv[1])), Handler)
try: server.serve_forever()
except KeyboardInterrupt: pass
PY
port=$(( 20000 + RANDOM % 20000 ))
/usr/bin/python3 "$work/serve.py" "$port" "$work" &
server=$!
sleep 0.5
chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-extensions \
    --disable-component-update --disable-sync --no-first-run --mute-audio --user-data-dir="$work/profile" \
    --autoplay-policy=no-user-gesture-required "http://127.0.0.1:$port/index.html" >"$work/chromium.log" 2>&1 &
browser=$!
for _ in $(seq 600); do [ -f "$work/report.json" ] && break; sleep 0.2; done
kill "$server" 2>/dev/null || true
[ -f "$work/report.json" ] || { echo "Chromium reported nothing; its log:" >&2; tail -20 "$work/chromium.log" >&2; exit 1; }

/usr/bin/python3 - "$work/report.json" "${expected[@]}" "${clips[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))
rest = sys.argv[2:]
expect = [float(rest[0]), int(rest[1]), int(rest[2])] if len(rest) > len(results) else None
names = rest[3:] if expect else rest
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
                       and r.get("width") == expect[1] and r.get("height") == expect[2]):
        bad = 1
sys.exit(bad)
PY
