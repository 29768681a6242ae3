#!/usr/bin/env python3
"""Draws the launcher instance icon and writes icon_velkorhub.png next to this
script. Regenerate with `python3 resources/make_icon.py` from the repository
root; the drawing is deterministic, so the same script and zlib build always
give the same bytes.
The PNG is embedded into the program at build time and written out verbatim,
so its byte size here is exactly what the installer puts on disk.
"""

import math
import os
import struct
import zlib

SIZE = 256
SS = 4                      # supersampling factor per axis
HI = SIZE * SS
TEX = 16                    # texels per world unit, like a vanilla block

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icon_velkorhub.png")


def hash2(x, y, seed):
    h = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return (h ^ (h >> 16)) & 0xFFFFFFFF


def pick(pal, x, y, seed):
    return pal[hash2(x, y, seed) % len(pal)]


GRASS = [(96, 168, 52), (108, 182, 60), (86, 152, 46), (120, 194, 70),
         (102, 174, 56), (78, 140, 42)]
DIRT = [(134, 96, 66), (120, 84, 57), (148, 107, 74), (108, 75, 51),
        (140, 100, 70)]
PEBBLE = [(150, 142, 132), (118, 112, 106)]
STONE = [(150, 150, 156), (136, 136, 143), (162, 162, 168), (126, 126, 134)]
MORTAR = (92, 92, 100)
CLOTH = [(255, 112, 72), (246, 100, 62), (255, 128, 84)]
POLE = [(120, 86, 52), (106, 76, 46)]
OUTLINE = (16, 20, 30)
OPENING = (28, 24, 26)

# Flat per-face light, as in the game's inventory renderer.
SHADE = {"top": 1.0, "left": 0.64, "right": 0.82}


def grass_block(face, wx, wy, wz):
    tx, ty, tz = int(wx * TEX), int(wy * TEX), int(wz * TEX)
    if face == "top":
        return pick(GRASS, tx, tz, 1)
    col = tx if face == "left" else tz
    depth = TEX - 1 - min(ty, TEX - 1)
    # Ragged grass fringe hanging over the dirt.
    fringe = 3 + hash2(col, face == "left", 7) % 3
    if depth < fringe:
        return pick(GRASS, col, ty, 2 + (face == "left"))
    if hash2(col, ty, 11 + (face == "left")) % 23 == 0:
        return pick(PEBBLE, col, ty, 5)
    return pick(DIRT, col, ty, 3 + (face == "left"))


def stone_brick(face, wx, wy, wz):
    tx, ty, tz = int(wx * TEX), int(wy * TEX), int(wz * TEX)
    if face == "top":
        return pick(STONE, tx, tz, 21)
    col = tx if face == "left" else tz
    row = ty // 3
    shift = 3 if row % 2 else 0
    if ty % 3 == 0 or (col + shift) % 6 == 0:
        return MORTAR
    brick = (col + shift) // 6
    return pick(STONE, brick, row, 23 + (face == "left"))


def cloth(face, wx, wy, wz):
    return pick(CLOTH, int(wx * TEX), int(wy * TEX), 31 + int(wz * TEX))


def wood(face, wx, wy, wz):
    return pick(POLE, int(wy * TEX), 0, 41)


# Isometric projection: +X runs down-right, +Z down-left, +Y up.
UNIT = 84.0 * SS
ISO_X = UNIT * math.cos(math.radians(30))
ISO_Y = UNIT * 0.5
CX, CY = HI / 2, 0.0


def project(x, y, z):
    return (CX + (x - z) * ISO_X, CY + (x + z) * ISO_Y - y * UNIT)


def centre_vertically(boxes):
    global CY
    ys = [y for b in boxes for _, y in silhouette(*b[:6])]
    CY = (HI - min(ys) - max(ys)) / 2


def box_faces(x0, y0, z0, x1, y1, z1, mat):
    # Only the three faces turned towards the viewer are ever visible.
    return [
        ("top", (x0, y1, z0), (x1 - x0, 0, 0), (0, 0, z1 - z0), mat),
        ("left", (x0, y0, z1), (x1 - x0, 0, 0), (0, y1 - y0, 0), mat),
        ("right", (x1, y0, z0), (0, 0, z1 - z0), (0, y1 - y0, 0), mat),
    ]


def silhouette(x0, y0, z0, x1, y1, z1):
    pts = [(x0, y1, z0), (x1, y1, z0), (x1, y0, z0), (x1, y0, z1),
           (x0, y0, z1), (x0, y1, z1)]
    return [project(*p) for p in pts]


def background(buf):
    # Cool slate gradient: mid-dark so it reads on light and dark launcher themes.
    inner, outer = (64, 98, 148), (24, 36, 62)
    for py in range(HI):
        row = py * HI
        for px in range(HI):
            dx, dy = (px - HI * 0.5) / HI, (py - HI * 0.42) / HI
            t = min(1.0, math.sqrt(dx * dx + dy * dy) * 1.55)
            t = t * t * (3 - 2 * t)
            buf[row + px] = (int(inner[0] + (outer[0] - inner[0]) * t),
                             int(inner[1] + (outer[1] - inner[1]) * t),
                             int(inner[2] + (outer[2] - inner[2]) * t))


def fill_convex(buf, pts, grow, colour):
    # Mitred offset of a convex polygon: every edge pushed out by `grow`.
    n = len(pts)
    area = sum(pts[i][0] * pts[(i + 1) % n][1] - pts[(i + 1) % n][0] * pts[i][1]
               for i in range(n))
    sign = 1.0 if area > 0 else -1.0
    edges = []
    for i in range(n):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        ln = math.hypot(ex, ey)
        nx, ny = sign * ey / ln, -sign * ex / ln      # outward normal
        edges.append((nx, ny, nx * ax + ny * ay + grow))
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    for py in range(max(0, int(min(ys) - grow - 2)), min(HI, int(max(ys) + grow + 2))):
        for px in range(max(0, int(min(xs) - grow - 2)), min(HI, int(max(xs) + grow + 2))):
            sx, sy = px + 0.5, py + 0.5
            if all(nx * sx + ny * sy <= c for nx, ny, c in edges):
                buf[py * HI + px] = colour


def draw_face(buf, face):
    kind, origin, u, v, mat = face
    ox, oy = project(*origin)
    ux, uy = project(origin[0] + u[0], origin[1] + u[1], origin[2] + u[2])
    vx, vy = project(origin[0] + v[0], origin[1] + v[1], origin[2] + v[2])
    ux, uy, vx, vy = ux - ox, uy - oy, vx - ox, vy - oy
    det = ux * vy - vx * uy
    if abs(det) < 1e-9:
        return
    xs = [ox, ox + ux, ox + vx, ox + ux + vx]
    ys = [oy, oy + uy, oy + vy, oy + uy + vy]
    k = SHADE[kind]
    for py in range(max(0, int(min(ys))), min(HI, int(max(ys)) + 1)):
        for px in range(max(0, int(min(xs))), min(HI, int(max(xs)) + 1)):
            dx, dy = px + 0.5 - ox, py + 0.5 - oy
            s = (dx * vy - vx * dy) / det
            t = (ux * dy - dx * uy) / det
            if 0.0 <= s < 1.0 and 0.0 <= t < 1.0:
                # Nudge inwards so texel lookups never land on the far edge.
                s = min(s, 0.9999)
                t = min(t, 0.9999)
                wx = origin[0] + s * u[0] + t * v[0]
                wy = origin[1] + s * u[1] + t * v[1]
                wz = origin[2] + s * u[2] + t * v[2]
                r, g, b = mat(kind, wx, wy, wz)
                buf[py * HI + px] = (int(r * k), int(g * k), int(b * k))


def keep(face, wx, wy, wz):
    tx, ty, tz = int(wx * TEX), int(wy * TEX), int(wz * TEX)
    # A dark doorway and window give the tower a front at any size.
    if face == "left" and tx in (7, 8) and TEX <= ty < TEX + 3:
        return OPENING
    if face == "right" and tz in (7, 8) and ty in (TEX + 5, TEX + 6):
        return OPENING
    return stone_brick(face, wx, wy, wz)


def scene():
    boxes = [(0, 0, 0, 1, 1, 1, grass_block)]
    t0, t1, top = 4 / 16, 12 / 16, 1 + 7 / 16
    boxes.append((t0, 1, t0, t1, top, t1, keep))
    m = 2 / 16
    for mx, mz in ((t0, t0), (t1 - m, t0), (t0, t1 - m), (t1 - m, t1 - m)):
        boxes.append((mx, top, mz, mx + m, top + 2 / 16, mz + m, stone_brick))
    # Banner pole rising from the back merlon, cloth flying towards +X.
    p = 1 / 16
    px, pz = t0 + 0.5 / 16, t0 + 0.5 / 16
    boxes.append((px, top + 2 / 16, pz, px + p, top + 9 / 16, pz + p, wood))
    boxes.append((px + p, top + 5 / 16, pz, px + p + 6 / 16, top + 9 / 16,
                  pz + p * 0.5, cloth))
    return boxes


def render():
    buf = [None] * (HI * HI)
    background(buf)
    boxes = scene()
    centre_vertically(boxes)
    # Painter's order: boxes nearer the viewer (+X, +Y, +Z) are drawn last.
    # Each box gets its own contour so parts stay separate at 32 px.
    for b in sorted(boxes, key=lambda b: (b[1], b[0] + b[2] + b[3] + b[5])):
        grow = (3.5 if b[6] is grass_block else 2.0) * SS
        fill_convex(buf, silhouette(*b[:6]), grow, OUTLINE)
        for face in box_faces(*b):
            draw_face(buf, face)
    return buf


def downsample(buf):
    to_lin = [((c / 255) / 12.92) if c <= 10 else (((c / 255) + 0.055) / 1.055) ** 2.4
              for c in range(256)]

    def to_srgb(v):
        v = v / (SS * SS)
        v = v * 12.92 if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055
        return max(0, min(255, int(v * 255 + 0.5)))

    rows = []
    for y in range(SIZE):
        row = bytearray()
        for x in range(SIZE):
            r = g = b = 0.0
            for sy in range(SS):
                base = (y * SS + sy) * HI + x * SS
                for sx in range(SS):
                    pr, pg, pb = buf[base + sx]
                    r += to_lin[pr]
                    g += to_lin[pg]
                    b += to_lin[pb]
            row += bytes((to_srgb(r), to_srgb(g), to_srgb(b)))
        rows.append(bytes(row))
    return rows


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(rows, bpp=3):
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        n = len(row)
        cands = []
        for ftype in range(5):
            f = bytearray(n)
            for i in range(n):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) >> 1, paeth(a, b, c))[ftype]
                f[i] = (row[i] - pred) & 0xFF
            # Minimum sum of absolute differences, the usual heuristic.
            score = sum(v if v < 128 else 256 - v for v in f)
            cands.append((score, ftype, f))
        score, ftype, f = min(cands, key=lambda c: (c[0], c[1]))
        out.append(ftype)
        out += f
        prev = row
    return bytes(out)


def chunk(tag, data):
    return (struct.pack(">I", len(data)) + tag + data
            + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))


def encode(rows):
    stream = zlib.compress(filter_rows(rows), 9)
    parts = 8
    step = -(-len(stream) // parts)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))
    png += chunk(b"gAMA", struct.pack(">I", 45455))
    png += chunk(b"sRGB", b"\x00")
    png += chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000,
                                      30000, 60000, 15000, 6000))
    for i in range(parts):
        png += chunk(b"IDAT", stream[i * step:(i + 1) * step])
    png += chunk(b"IEND", b"")
    return png


def main():
    png = encode(downsample(render()))
    with open(OUT, "wb") as f:
        f.write(png)
    print(f"wrote {OUT} ({len(png)} bytes)")


if __name__ == "__main__":
    main()
