#!/usr/bin/env bash
# Seeds faults into src/engine one at a time, rebuilds the engine tests and
# lists the tests that catch each fault. Every file is restored afterwards.
#   scripts/engine-faults.sh [build dir [fault id pattern]]   (default: build, all)
# The build dir must be configured; its test binaries are the engine tests.
# QF_FAULTS_DRY=1 only checks that every pattern still applies. A fault whose
# pattern no longer matches is named, and the script then exits non-zero.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
only=${2:-.}
targets=(engine_tests qf_engine_reference_tests)

# id # file under src/engine # perl substitution # what the fault is
faults=$(cat <<'EOF'
half-tie#sketch_depth.cpp#s/RoundHalfEven\(v \* 0\.5\)/static_cast<int>(std::floor(v * 0.5 + 0.5))/#line depth: halves round away from even
poster-tie#variant_layers.cpp#s/RoundHalfEven\(i \/ static_cast<double>\(step\)\)/static_cast<int>(std::round(i \/ static_cast<double>(step)))/#poster: 128/256 rounds up
vivid-tie#variant_layers.cpp#s/ClampByte\(RoundHalfEven\(v\)\)/ClampByte(static_cast<int>(std::floor(v + 0.5)))/#vivid curve: halves round up
share-weight#stucki_dither.cpp#s/e \* 8 \/ 42,/e * 7 \/ 42,/#dither: weight 8 becomes 7
share-edge#stucki_dither.cpp#s/next2 = x < maxX - 2/next2 = x < maxX - 1/#dither: share 2 reaches the last column
column-share#stucki_dither.cpp#s/row2\[maxX\] \+= s8\[maxX\];//#dither: last column gets no error from below
dot-depth#stucki_dither.cpp#s/RoundHalfEven\(src\[p \+ c\] \/ 2\.0\)/(src[p + c] + 1) \/ 2/#colour dot depth: halves round up
mean-round#stucki_dither.cpp#s/total \/ static_cast<std::int64_t>\(pixels\)/(total + static_cast<std::int64_t>(pixels) \/ 2) \/ static_cast<std::int64_t>(pixels)/#dither: mean grey rounded, not truncated
grey-formula#grey_planes.cpp#s/\(in\[0\] \+ in\[1\] \+ in\[2\]\) \/ 3/(in[0] + in[1] + in[2] + 1) \/ 3/#grey level rounded, not truncated
vote-tie#edge_votes.cpp#s/pk\[i\] > nk\[i\] \? 1 : 0/pk[i] >= nk[i] ? 1 : 0/#edge votes: equal keys give the vote to the neighbour
vote-limit#edge_votes.cpp#s/\(d > limit\)/(d >= limit)/#edge votes: a difference of exactly the limit is an edge
lone-diagonal#sketch_lines.cpp#s/if \(below\[-3\] == 255 && /if (/#lone pixels: one diagonal neighbour not looked at
column-order#similar_colour_mixing.cpp#s/for \(int y = 0; y < height; \+\+y\) \{\n        const int back/for (int y = height - 1; y >= 0; --y) {\n        const int back/#mixing: columns smoothed top down
left-scan#similar_colour_mixing.cpp#s/if \(px\[0\] == 0\) \{\n                lastInk = x;/if (false) {\n                lastInk = x;/#mixing: averaged pixels without blue do not end a run
run-right#similar_colour_mixing.cpp#s/x \+ radius, maxX\}\)/x + radius - 1, maxX})/#mixing: run one pixel short on the right
kept-dots#engine.cpp#s/(grey\(s\.GrayPlane, true\);)/s.DitherLayer.reset(3, width, height);\n    $1/#a run clears the kept dot layer
texture-phase#pencil_layer.cpp#s/phase == 3 \|\| phase == 4 \|\| phase == 5/phase == 2 || phase == 3 || phase == 4/#pencil: texture alternates one frame early
texture-tile#pencil_layer.cpp#s/y % tileH\)/(y + 1) % tileH)/#pencil: texture rows shifted by one
blur-round#render.cpp#s/ClampByte\(RoundHalfEven\(sum \/ 4\.0\)\)/ClampByte((sum + 2) \/ 4)/#blur: quarters round up
sharpen-round#render.cpp#s/std::nearbyint\(static_cast<double>\(k2\) \* sum\)/std::trunc(static_cast<double>(k2) * sum)/#sharpen: neighbour term truncated
grey8-base#variants.cpp#s/"Eight grey levels under a layer of dots", BaseLayer::EightGreys/"Eight grey levels under a layer of dots", BaseLayer::Greys/#variant 14 shows the wrong grey plane
contrast#variant_layers.cpp#s/in\[i\] \* 10 - 1143/in[i] * 10 - 1142/#contrast offset off by one
saturation-double#saturation.cpp#s/static_cast<double>\(k\) \* \(v - a\)/(std::round(k * 100.0) \/ 100.0) * (v - a)/#saturation factor taken in double precision
kept-tint#engine.cpp#s/(grey\(s\.GrayPlane, true\);)/s.TintLayer.clear();\n    $1/#a run empties the kept tint layer
snapshot-frame#engine.cpp#s/ComputeSketchStages\(\*this, 0, switches, plan\)/ComputeSketchStages(*this, 3, switches, plan)/#snapshots take the pencil texture of frame 3
run-divisor#rounding.h#s/kMaxRunDivisor = 4095/kMaxRunDivisor = 65535/#run averages divided by a multiply beyond where it is exact
sharpen-switch#engine.h#s/return Sharpen == 1;/return Sharpen != 0;/#sharpen counts its grey state as ticked
compose-red-blue#render.cpp#s/out\[0\] = b\[0\];(\s*out\[1\] = b\[1\];\s*)out\[2\] = b\[2\];/out[0] = b[2];$1out[2] = b[0];/#composed base pictures with red and blue swapped
compose-upside-down#render.cpp#s/std::uint8_t\* out = target.data\(\) \+ target.index\(0, 0, y\);/std::uint8_t* out = target.data() + target.index(0, 0, height - 1 - y);/#composed picture upside down
dot-depth-red-blue#stucki_dither.cpp#s/RoundHalfEven\(src\[p \+ c\] \/ 2\.0\)/RoundHalfEven(src[p + 2 - c] \/ 2.0)/#colour dots take their depth with red and blue swapped
blur-upwards#render.cpp#s/p\[c\] \+ p\[c \+ channels\] \+ p\[c \+ row\] \+ p\[c \+ row \+ channels\]/p[c] + p[c + channels] + p[c - row] + p[c - row + channels]/#blur takes the row below instead of the row above
EOF
)

build_tests() { cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null 2>&1; }

failing_tests() {
    local out=""
    for t in "${targets[@]}"; do
        local bin
        bin=$(find "$build/tests" -type f -name "$t" -perm -u+x | head -1)
        local log
        log=$(timeout 300 "$bin" --gtest_brief=1 2>&1)
        local rc=$?
        out+=$(grep -o '^\[  FAILED  \] [A-Za-z0-9_./]*' <<<"$log" | sed 's/^\[  FAILED  \] //' | sort -u | tr '\n' ' ')
        if [ $rc -gt 1 ]; then out+="($t exit $rc) "; fi
    done
    echo "$out"
}

if [ -z "${QF_FAULTS_DRY:-}" ]; then
build_tests || { echo "the unchanged tests do not build" >&2; exit 1; }
if [ -n "$(failing_tests)" ]; then echo "the unchanged engine fails its tests" >&2; exit 1; fi
fi

caught=0
total=0
missing=()
while IFS='#' read -r id file expr what; do
    [ -z "$id" ] && continue
    [[ $id =~ $only ]] || continue
    path=src/engine/$file
    cp "$path" "$path.orig"
    perl -0pi -e "$expr" "$path"
    if cmp -s "$path" "$path.orig"; then
        echo "$id: NOT APPLIED: its pattern matches nothing in $path any more; rewrite it ($what)"
        missing+=("$id")
        mv "$path.orig" "$path"
        touch "$path"
        continue
    fi
    if [ -n "${QF_FAULTS_DRY:-}" ]; then
        echo "$id: applies to $path"
        mv "$path.orig" "$path"
        touch "$path"
        continue
    fi
    total=$((total + 1))
    if build_tests; then
        result=$(failing_tests)
    else
        result="(does not build)"
    fi
    mv "$path.orig" "$path"
    touch "$path"
    if [ -n "$result" ]; then
        caught=$((caught + 1))
        echo "$id: caught by $result- $what"
    else
        echo "$id: MISSED - $what"
    fi
done <<<"$faults"
[ -n "${QF_FAULTS_DRY:-}" ] || build_tests
echo "caught $caught of $total"
if [ ${#missing[@]} -gt 0 ]; then
    echo "${#missing[@]} faults did not apply (their patterns need rewriting): ${missing[*]}"
    exit 1
fi
