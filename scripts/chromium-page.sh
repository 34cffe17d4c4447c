# Sourced by the scripts that check in headless Chromium what the program
# wrote: makes the work folder ($work, removed on exit with the browser and
# the server stopped), and run_page_in_chromium LIMIT serves $work, opens
# $work/index.html in Chromium and waits for the page to post its report
# to /report, which lands in $work/report.json; the script fails (status 1)
# when none comes within LIMIT seconds. Safe to run as root in a bare
# container: no sandbox, a profile of its own, a port the system chose.
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

run_page_in_chromium() {
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
    local port
        port=$(cat "$work/port")
    local limit="$1"
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
}
