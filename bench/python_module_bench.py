"""The Python module's two targets, measured side by side in one run:

1. Calling overhead: a Python align on the demo pair against the engine time
   `icp_tool align --json` reports for the same run (median of 5 interleaved
   runs each; the call's wall time includes everything the module adds).
2. Zero-copy views: the resident memory a 1M-vertex scan's vertex array adds
   when read 100 times (a copy each time would add 12 MB per read held).

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_module_bench.py [build]
"""

import json
import os
import statistics
import subprocess
import sys
import time

import numpy as np

import varkel_icp as v

root = os.path.join(os.path.dirname(__file__), "..")
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")
demo = [os.path.join(root, "data/demo", name) for name in ("mesh1.ply", "mesh2.ply")]


def resident_mb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def overhead():
    fixed, moving = (v.Scan.read(path) for path in demo)
    tool_ms, python_ms, engine_ms = [], [], []
    for _ in range(5):
        out = subprocess.run([os.path.join(build, "tools/icp_tool"), "align", *demo, "--json"],
                             check=True, capture_output=True).stdout
        tool_ms.append(json.loads(out)["milliseconds"])
        start = time.perf_counter()
        result = v.align(fixed, moving)
        python_ms.append((time.perf_counter() - start) * 1000)
        engine_ms.append(result.milliseconds)
    tool, python = statistics.median(tool_ms), statistics.median(python_ms)
    print(f"icp_tool align engine ms (median of 5): {tool:.1f}")
    print(f"Python align wall ms (median of 5):     {python:.1f}  ratio {python / tool:.3f}")
    print(f"Python call beyond its engine time:     {statistics.median(p - e for p, e in zip(python_ms, engine_ms)):.3f} ms")


def zero_copy():
    n = 1_000_000
    rng = np.random.default_rng(7)
    scan = v.Scan.from_arrays(rng.random((n, 3), dtype=np.float32))
    before = resident_mb()
    views = [scan.vertices for _ in range(100)]
    after = resident_mb()
    shared = all(np.shares_memory(views[0], view) for view in views)
    print(f"1M-vertex scan: 100 vertex views add {after - before:.2f} MB resident "
          f"(one copy is {views[0].nbytes / 2**20:.1f} MB); all share one buffer: {shared}")


print(f"load average {os.getloadavg()[0]:.2f}")
overhead()
zero_copy()
