#!/usr/bin/python3
"""Times Open3D's write_triangle_mesh on the benchmark's wavy coloured sheet.

Usage: write_mesh_bench_open3d.py DIR SIDE. Builds the same sheet as
write_mesh_bench.cpp (SIDE x SIDE vertices, byte colours, two triangles per
grid square) and prints one line per format: "<format> <best seconds>
<bytes>", best of REPEATS writes after one warm-up write, in process CPU
seconds like the C++ side. STL needs facet normals in Open3D; they are
computed before timing (our STL writer computes them inside the write).
"""
import os
import sys
import time

import numpy as np
import open3d as o3d

REPEATS = 3

out_dir, side = sys.argv[1], int(sys.argv[2])
y, x = np.meshgrid(np.arange(side), np.arange(side), indexing="ij")
x, y = x.ravel(), y.ravel()
xf, yf = x.astype(np.float32), y.astype(np.float32)
pos = np.stack([xf * np.float32(0.001), yf * np.float32(0.001),
                np.float32(0.05) * np.sin(xf * np.float32(0.02)) * np.cos(yf * np.float32(0.03))], 1)
col = np.stack([x & 255, y & 255, (x ^ y) & 255], 1) / 255.0
gy, gx = np.meshgrid(np.arange(side - 1), np.arange(side - 1), indexing="ij")
ll = (gy * side + gx).ravel()
lr, ul = ll + 1, ll + side
ur = ul + 1
tris = np.concatenate([np.stack([ll, lr, ul], 1), np.stack([lr, ur, ul], 1)])

mesh = o3d.geometry.TriangleMesh(o3d.utility.Vector3dVector(pos.astype(np.float64)),
                                 o3d.utility.Vector3iVector(tris.astype(np.int32)))
mesh.vertex_colors = o3d.utility.Vector3dVector(col)

for fmt, name, ascii_ in [("ply_binary_le", "o3d.ply", False), ("ply_ascii", "o3d_asc.ply", True),
                          ("obj", "o3d.obj", False), ("stl", "o3d.stl", False)]:
    path = os.path.join(out_dir, name)
    if fmt == "stl":
        mesh.compute_triangle_normals()
    o3d.io.write_triangle_mesh(path, mesh, write_ascii=ascii_)  # warm-up
    best = float("inf")
    for _ in range(REPEATS):
        start = time.process_time()
        o3d.io.write_triangle_mesh(path, mesh, write_ascii=ascii_)
        best = min(best, time.process_time() - start)
    print(fmt, best, os.path.getsize(path), flush=True)
    os.remove(path)
