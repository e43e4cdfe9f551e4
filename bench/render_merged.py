#!/usr/bin/python3
"""Renders a merged model (align-set --merged) off screen to a PNG:

    render_merged.py MODEL.ply OUT.png [--size 480] [--turn DEGREES] [--tilt DEGREES]
                     [--xf POSE.xf]

--xf first moves the model by a pose file (e.g. back into an upright frame).
An orthographic view down the model's -z axis after turning it about y by
--turn and about x by --tilt; every point is a small square splat, the
nearest one wins, shaded by its normal against a light from the viewer's
upper left. Reads the binary PLY that align-set writes (x y z nx ny nz as
floats, red green blue as bytes); needs numpy only.
"""
import argparse
import struct
import zlib

import numpy as np


def read_model(path):
    with open(path, "rb") as f:
        data = f.read()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    count = int(next(l.split()[2] for l in data[:end].decode().splitlines()
                     if l.startswith("element vertex")))
    kind = np.dtype([("p", "<f4", 3), ("n", "<f4", 3), ("c", "u1", 3)])
    v = np.frombuffer(data, dtype=kind, count=count, offset=end)
    return v["p"].astype(float), v["n"].astype(float), v["c"].astype(float) / 255


def turn(degrees, axis):
    a = np.radians(degrees)
    c, s = np.cos(a), np.sin(a)
    return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]]) if axis == "y" else \
        np.array([[1, 0, 0], [0, c, -s], [0, s, c]])


def write_png(path, rgb):
    h, w, _ = rgb.shape
    raw = b"".join(b"\0" + rgb[y].tobytes() for y in range(h))
    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("model")
    ap.add_argument("out")
    ap.add_argument("--size", type=int, default=480)
    ap.add_argument("--turn", type=float, default=0.0)
    ap.add_argument("--tilt", type=float, default=0.0)
    ap.add_argument("--xf")
    a = ap.parse_args()
    p, n, c = read_model(a.model)
    if a.xf:
        m = np.loadtxt(a.xf).reshape(4, 4)
        p, n = p @ m[:3, :3].T + m[:3, 3], n @ m[:3, :3].T
    r = turn(a.tilt, "x") @ turn(a.turn, "y")
    p = (p - p.mean(0)) @ r.T
    n = n @ r.T
    lo, hi = p[:, :2].min(0), p[:, :2].max(0)
    scale = (a.size - 8) / (hi - lo).max()
    xy = ((p[:, :2] - lo) * scale + 4).astype(int)
    light = np.array([-0.4, 0.5, 0.77])
    shade = c * (0.2 + 0.8 * np.abs(n @ light))[:, None]
    image = np.full((a.size, a.size, 3), 255, np.uint8)
    depth = np.full((a.size, a.size), -np.inf)
    order = np.argsort(p[:, 2])  # far first: nearer points overwrite
    for dx in (0, 1):
        for dy in (0, 1):
            x = np.clip(xy[order, 0] + dx, 0, a.size - 1)
            y = np.clip(a.size - 1 - xy[order, 1] - dy, 0, a.size - 1)
            near = p[order, 2] >= depth[y, x]
            image[y[near], x[near]] = (shade[order][near] * 255).astype(np.uint8)
            depth[y[near], x[near]] = p[order, 2][near]
    write_png(a.out, image)


if __name__ == "__main__":
    main()
