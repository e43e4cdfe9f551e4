#!/usr/bin/python3
"""Times Open3D's read_triangle_mesh on the given PLY files.

Prints one line per file: "<path> <best seconds> <vertices> <faces>",
best of REPEATS reads (after one warm-up read), so the C++ benchmark can
report both readers from the same run on the same files. Times are process
CPU seconds, like the C++ side's, so that other work on a shared machine
does not distort the comparison.
"""
import sys
import time

import open3d as o3d

REPEATS = 3

for path in sys.argv[1:]:
    mesh = o3d.io.read_triangle_mesh(path)  # warm-up: page cache, lazy init
    best = float("inf")
    for _ in range(REPEATS):
        start = time.process_time()
        mesh = o3d.io.read_triangle_mesh(path)
        best = min(best, time.process_time() - start)
    print(path, best, len(mesh.vertices), len(mesh.triangles), flush=True)
