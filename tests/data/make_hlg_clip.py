# Writes the pictures of clips/hdr-hlg.mp4 as raw yuv444p10le: 32 x 16, 10
# frames of the clips' test pattern (left red, right blue, green rising 25 a
# frame) coded in HLG so that a 1000 cd/m2 display shows them with sRGB white
# at 203 cd/m2 (BT.2100, BT.2408). A library's own HLG coding may apply the
# display's gamma otherwise; this follows the recommendation's formulas.
#   python3 make_hlg_clip.py | ffmpeg -f rawvideo -pix_fmt yuv444p10le -s 32x16 -r 10 -i - \
#     -c:v libx265 -x265-params colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc:lossless=1 \
#     -color_primaries bt2020 -color_trc arib-std-b67 -colorspace bt2020nc -color_range tv clips/hdr-hlg.mp4
import math, struct, sys
a = 0.17883277; b = 1 - 4 * a; c = 0.55991073
def oetf(e): return math.sqrt(3 * e) if e <= 1 / 12 else a * math.log(12 * e - b) + c
def lin(v): v /= 255; return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
M = [[0.6274, 0.3293, 0.0433], [0.0691, 0.9195, 0.0114], [0.0164, 0.0880, 0.8956]]  # 709 -> 2020
def pixel(r, g, bl):
    l = [lin(r), lin(g), lin(bl)]
    d = [sum(M[i][j] * l[j] for j in range(3)) * 203 / 1000 for i in range(3)]
    yd = 0.2627 * d[0] + 0.6780 * d[1] + 0.0593 * d[2]
    ys = yd ** (1 / 1.2) if yd > 0 else 0
    e = [x * ys / yd if yd > 0 else 0 for x in d]
    s = [oetf(max(x, 0)) for x in e]
    y = 0.2627 * s[0] + 0.6780 * s[1] + 0.0593 * s[2]
    cb = (s[2] - y) / 1.8814; cr = (s[0] - y) / 1.4746
    return [round(64 + 876 * y), round(512 + 896 * cb), round(512 + 896 * cr)]
out = sys.stdout.buffer
for k in range(10):
    planes = [[], [], []]
    for yy in range(16):
        for x in range(32):
            p = pixel(255, min(255, 25 * k), 0) if x < 16 else pixel(0, min(255, 25 * k), 255)
            for i in range(3): planes[i].append(p[i])
    for pl in planes: out.write(struct.pack('<%dH' % len(pl), *pl))
