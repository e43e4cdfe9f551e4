#!/usr/bin/python3
"""The Kinect target of `icp_tool align-set`, read straight from the frames'
PCD files:

    kinect_set_targets.py [--build build] [--work DIR]

Runs `icp_tool align-set A.pcd B.pcd C.pcd --out WORK` on the three frames
of ../shared/data/pcl_kinect_grabber_frames as they lie (camera frames, no
pose files) and scores, against the references of prealign_targets.py
(Open3D's multi-scale coloured ICP, as the frames' SOURCE.md made them):
- each pairwise result of pairs.csv (B onto A, C onto B, C onto A) and the
  same relative poses from the placed scans' pose files: target 0.25 degrees
  and 2.6 mm;
- the chain of pairwise results A<-B<-C against A<-C: target 0.1 degrees and
  1 mm.
Translations are compared at the moving frame's box centre. Needs numpy and
Open3D's Python module (for the references).
"""
import argparse
import csv
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prealign_targets as pt  # noqa: E402

FRAMES = {k: os.path.join(pt.KINECT, f.replace("_grid.ply", ".pcd")) for k, f in pt.KINECT_FRAMES.items()}


def stem(path):
    return os.path.splitext(os.path.basename(path))[0]


def rotation(rotvec_deg):
    """The rotation of a rotation vector given in degrees (Rodrigues)."""
    v = np.radians(np.asarray(rotvec_deg, float))
    a = np.linalg.norm(v)
    if a == 0:
        return np.eye(3)
    k = v / a
    kx = np.array([[0, -k[2], k[1]], [k[2], 0, -k[0]], [-k[1], k[0], 0]])
    return np.eye(3) + np.sin(a) * kx + (1 - np.cos(a)) * kx @ kx


def pair_results(path):
    """(scan_a, scan_b) -> the pairwise pose of pairs.csv (scan_b onto scan_a)."""
    out = {}
    with open(path) as f:
        for row in csv.DictReader(f):
            m = np.eye(4)
            m[:3, :3] = rotation([row["rotation_" + c] for c in "xyz"])
            m[:3, 3] = [float(row["translation_" + c]) for c in "xyz"]
            out[(row["scan_a"], row["scan_b"])] = m
    return out


def deviation(found, truth, centre):
    """Degrees and millimetres between two poses, the shift at `centre`."""
    rot = pt.rotation_angle(found[:3, :3] @ truth[:3, :3].T)
    c = np.append(centre, 1.0)
    return rot, 1000 * float(np.linalg.norm(found @ c - truth @ c))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(pt.SRC, "build"))
    ap.add_argument("--work")
    args = ap.parse_args()
    tool = os.path.join(args.build, "tools", "icp_tool")
    work = args.work or tempfile.mkdtemp(prefix="kinect_set.")
    cmd = [tool, "align-set", FRAMES["A"], FRAMES["B"], FRAMES["C"], "--out", work]
    print(" ".join(cmd), flush=True)
    start = time.time()
    p = subprocess.run(cmd, capture_output=True, text=True)
    print(f"exit {p.returncode}, {time.time() - start:.1f} s wall")
    print(p.stderr.strip())
    pairs = pair_results(os.path.join(work, "pairs.csv"))
    poses = {k: pt.read_xf(os.path.join(work, stem(f) + ".xf")) for k, f in FRAMES.items()}
    centres = {k: pt.box(tool, f)[0] for k, f in FRAMES.items()}
    refs, worst = {}, [0.0, 0.0]
    for a, b in (("A", "B"), ("B", "C"), ("A", "C")):
        refs[(a, b)] = pt.kinect_reference(FRAMES[a].replace(".pcd", "_grid.ply"),
                                           FRAMES[b].replace(".pcd", "_grid.ply"))
        pair = pairs[(stem(FRAMES[a]), stem(FRAMES[b]))]
        placed = np.linalg.inv(poses[a]) @ poses[b]
        for label, found in (("pairwise", pair), ("placed", placed)):
            rot, mm = deviation(found, refs[(a, b)], centres[b])
            if label == "pairwise":
                worst = [max(worst[0], rot), max(worst[1], mm)]
            print(f"{a}<-{b} {label:8s} {rot:6.3f} deg {mm:6.2f} mm")
    chain = pairs[(stem(FRAMES["A"]), stem(FRAMES["B"]))] @ pairs[(stem(FRAMES["B"]), stem(FRAMES["C"]))]
    rot, mm = deviation(chain, pairs[(stem(FRAMES["A"]), stem(FRAMES["C"]))], centres["C"])
    print(f"pairwise worst {worst[0]:.3f} deg {worst[1]:.2f} mm (target 0.25 deg, 2.6 mm): "
          f"{'met' if worst[0] <= 0.25 and worst[1] <= 2.6 else 'NOT met'}")
    print(f"chain A<-B<-C against A<-C {rot:.3f} deg {mm:.2f} mm (target 0.1 deg, 1 mm): "
          f"{'met' if rot <= 0.1 and mm <= 1.0 else 'NOT met'}")


if __name__ == "__main__":
    main()
