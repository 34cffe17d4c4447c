#!/usr/bin/env python3
"""Writes the pencil-paper texture, assets/pencil_texture.png.

A 104 x 120 grey paper grain (24-bit RGB, all three channels equal): the
tooth of drawing paper as bumps at a few scales, a faint diagonal drag of
the pencil, a few paper fibres and fine speckle. It tiles without seams, its
mean grey is about 108 and it spans exactly 0 to 255. The engine lays pencil
lines on it, so its darker pits show through the lines as grain.

Deterministic: its own random generator and plain float arithmetic, so every
run writes the same bytes. Standard library only.

    scripts/make_pencil_texture.py [output.png]
"""

import os
import struct
import sys
import zlib

WIDTH = 104
HEIGHT = 120
TARGET_MEAN = 108.0


class Random:
    """xorshift32: small, fast and the same everywhere."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next_u32(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def uniform(self):
        """A float in [0, 1)."""
        return self.next_u32() / 4294967296.0


def smooth(t):
    return t * t * (3.0 - 2.0 * t)


def value_noise(rng, cells_x, cells_y):
    """Periodic value noise on a cells_x x cells_y lattice over the tile."""
    lattice = [[rng.uniform() for _ in range(cells_x)] for _ in range(cells_y)]
    field = []
    for y in range(HEIGHT):
        gy = y * cells_y / HEIGHT
        y0 = int(gy)
        ty = smooth(gy - y0)
        row0 = lattice[y0 % cells_y]
        row1 = lattice[(y0 + 1) % cells_y]
        line = []
        for x in range(WIDTH):
            gx = x * cells_x / WIDTH
            x0 = int(gx)
            tx = smooth(gx - x0)
            a = row0[x0 % cells_x] + (row0[(x0 + 1) % cells_x] - row0[x0 % cells_x]) * tx
            b = row1[x0 % cells_x] + (row1[(x0 + 1) % cells_x] - row1[x0 % cells_x]) * tx
            line.append(a + (b - a) * ty)
        field.append(line)
    return field


def diagonal_drag(rng):
    """Faint streaks along one diagonal: the drag of a pencil over the tooth.
    Noise along lines x + y = const, periodic because the tile's period
    along that direction, lcm(104, 120) = 1560, is covered by the lattice."""
    period = 1560
    cells = 390  # one cell every 4 pixels across the streaks
    lattice = [rng.uniform() for _ in range(cells)]
    field = []
    for y in range(HEIGHT):
        line = []
        for x in range(WIDTH):
            # (x * 15 + y * 13) mod 1560 walks the tile's diagonal lines.
            g = ((x * 15 + y * 13) % period) * cells / period
            i = int(g)
            t = smooth(g - i)
            line.append(lattice[i % cells] + (lattice[(i + 1) % cells] - lattice[i % cells]) * t)
        field.append(line)
    return field


def fibres(rng, count):
    """Thin, slightly bent fibres, lighter or darker than the paper."""
    field = [[0.0] * WIDTH for _ in range(HEIGHT)]
    for _ in range(count):
        x = rng.uniform() * WIDTH
        y = rng.uniform() * HEIGHT
        dx = rng.uniform() * 2.0 - 1.0
        dy = rng.uniform() * 2.0 - 1.0
        norm = (dx * dx + dy * dy) ** 0.5 or 1.0
        dx, dy = dx / norm, dy / norm
        bend = (rng.uniform() - 0.5) * 0.15
        strength = (rng.uniform() * 0.6 + 0.4) * (1.0 if rng.uniform() < 0.6 else -1.0)
        length = int(6 + rng.uniform() * 14)
        for step in range(length):
            fade = 1.0 - abs(step - length / 2.0) / (length / 2.0 + 1.0)
            px = int(x) % WIDTH
            py = int(y) % HEIGHT
            field[py][px] += strength * fade
            # a softer shoulder on one side gives the fibre some width
            field[py][(px + 1) % WIDTH] += 0.35 * strength * fade
            x += dx
            y += dy
            dx, dy = dx - bend * dy, dy + bend * dx
            norm = (dx * dx + dy * dy) ** 0.5
            dx, dy = dx / norm, dy / norm
    return field


def grain():
    rng = Random(0x5EED2024)
    # (cells across, cells down, weight): lattices that divide the tile.
    octaves = [(4, 5, 0.15), (8, 10, 0.30), (13, 15, 0.55), (26, 30, 1.00), (52, 60, 0.90)]
    layers = [(value_noise(rng, cx, cy), w) for cx, cy, w in octaves]
    drag = diagonal_drag(rng)
    fibre = fibres(rng, 70)
    field = []
    for y in range(HEIGHT):
        line = []
        for x in range(WIDTH):
            v = sum(layer[y][x] * w for layer, w in layers)
            v += 0.45 * drag[y][x]
            v += 0.30 * fibre[y][x]
            v += 0.60 * (rng.uniform() - 0.5)  # speckle
            line.append(v)
        field.append(line)
    return field


def to_bytes(field):
    """Stretches the field to exactly 0..255 and bends it with a power
    curve until the mean grey is TARGET_MEAN."""
    flat = [v for line in field for v in line]
    lo, hi = min(flat), max(flat)
    unit = [(v - lo) / (hi - lo) for v in flat]

    def mapped(gamma):
        return [int(255.0 * (u ** gamma) + 0.5) for u in unit]

    low, high = 0.2, 5.0
    for _ in range(60):
        gamma = (low + high) / 2.0
        mean = sum(mapped(gamma)) / len(unit)
        if mean > TARGET_MEAN:
            low = gamma
        else:
            high = gamma
    return mapped((low + high) / 2.0)


def png(path, greys):
    raw = bytearray()
    for y in range(HEIGHT):
        raw.append(0)  # no filter
        for x in range(WIDTH):
            g = greys[y * WIDTH + x]
            raw += bytes((g, g, g))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)  # 8-bit RGB
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(data)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "assets", "pencil_texture.png")
    greys = to_bytes(grain())
    png(path, greys)
    mean = sum(greys) / len(greys)
    print(f"{path}: {WIDTH} x {HEIGHT}, grey {min(greys)}..{max(greys)}, mean {mean:.1f}")


if __name__ == "__main__":
    main()
