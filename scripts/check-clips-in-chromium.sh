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

work="$(mktemp -d)"
browser=""
server=""
cleanup() {
    status=$?
    for pid in $browser $server; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
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
        with open('report.tmp', 'wb') as f: f.write(body)
        os.rename('report.tmp', 'report.json') # whole, as the script looks for it
        raise KeyboardInterrupt
os.chdir(sys.argv[1])
# Port 0: the system picks one that is free; the script reads it from a file.
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
with open('port.tmp', 'w') as f: f.write(str(server.server_address[1]))
os.rename('port.tmp', 'port')
try: server.serve_forever()
except KeyboardInterrupt: pass
PY
/usr/bin/python3 "$work/serve.py" "$work" &
server=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
[ -f "$work/port" ] || { echo "The page's server did not start" >&2; exit 1; }
port=$(cat "$work/port")
limit="${QF_CHROMIUM_TIMEOUT_S:-$(( 30 + 70 * ${#clips[@]} ))}"
# HOME and the XDG folders inside the work folder: nothing is left in the
# user's (or root's) home, and a home that cannot be written does not matter.
# /dev/shm is small in containers, hence --disable-dev-shm-usage.
HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    timeout -k 5 "$limit" chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --disable-background-networking --disable-extensions --disable-component-update --disable-sync \
    --no-first-run --no-default-browser-check --mute-audio --user-data-dir="$work/profile" \
    --autoplay-policy=no-user-gesture-required "http://127.0.0.1:$port/index.html" >"$work/chromium.log" 2>&1 &
browser=$!
while [ ! -f "$work/report.json" ] && kill -0 "$browser" 2>/dev/null; do sleep 0.2; done
[ -f "$work/report.json" ] || {
    echo "Chromium reported nothing within $limit s; the end of its log:" >&2
    tail -20 "$work/chromium.log" >&2
    exit 1
}

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
