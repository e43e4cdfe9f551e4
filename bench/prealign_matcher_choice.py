#!/usr/bin/python3
"""Which feature matcher for the prealignment: Open3D's fast global
registration (FGR) or its RANSAC, on the same FPFH features, at voxel edges
of 2 % and 3 % of the smaller diagonal, each run twice to see whether it
repeats itself. Both scans stay in their own frames (as in our step), so
the answer is mesh 2's pose G1 . T, compared with its .xf reference.

    prealign_matcher_choice.py --mesh1 A.ply --mesh2 B.ply

Scans as for o3d_trials.py (faces, plain red/green/blue; the copies that
bench/prealign_compare.sh leaves in its work folder will do). Prints per
matcher and voxel: rotation error (degrees), translation error (share of
mesh 2's diagonal), fitness, CPU ms of matching, and whether the second run
gave the same matrix. Run it with OMP_NUM_THREADS=1 for our setting.
"""
import argparse
import os
import sys
import time

import numpy as np
import open3d as o3d

sys.path.insert(0, os.environ.get(
    "PEER_BENCH", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "bench")))
import o3d_trials as ot  # noqa: E402

reg = o3d.pipelines.registration


def thin(pc, v):
    d = pc.voxel_down_sample(v)
    d.normalize_normals()
    f = reg.compute_fpfh_feature(d, o3d.geometry.KDTreeSearchParamHybrid(radius=5 * v, max_nn=100))
    return d, f


def match(kind, ds, dt, fs, ft, v):
    o3d.utility.random.seed(1)
    if kind == "fgr":
        opt = reg.FastGlobalRegistrationOption(use_absolute_scale=True,
                                               maximum_correspondence_distance=1.5 * v)
        return reg.registration_fgr_based_on_feature_matching(ds, dt, fs, ft, opt).transformation
    return reg.registration_ransac_based_on_feature_matching(
        ds, dt, fs, ft, True, 1.5 * v, reg.TransformationEstimationPointToPoint(False), 3,
        [reg.CorrespondenceCheckerBasedOnEdgeLength(0.9),
         reg.CorrespondenceCheckerBasedOnDistance(1.5 * v)],
        reg.RANSACConvergenceCriteria(100000, 0.999)).transformation


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--mesh1", required=True)
    ap.add_argument("--mesh2", required=True)
    a = ap.parse_args()
    G1 = ot.read_xf(os.path.splitext(a.mesh1)[0] + ".xf")
    G2 = ot.read_xf(os.path.splitext(a.mesh2)[0] + ".xf")
    tgt, src = ot.load_cloud(a.mesh1, "mesh"), ot.load_cloud(a.mesh2, "mesh")
    P = np.asarray(src.points)
    c, L = (P.min(0) + P.max(0)) / 2, ot.diag_of(src)
    dmin = min(L, ot.diag_of(tgt))
    for frac in (0.02, 0.03):
        v = frac * dmin
        (ds, fs), (dt, ft) = thin(src, v), thin(tgt, v)
        for kind in ("fgr", "ransac"):
            t0 = time.process_time()
            T = np.asarray(match(kind, ds, dt, fs, ft, v))
            ms = (time.process_time() - t0) * 1e3
            again = np.array_equal(T, np.asarray(match(kind, ds, dt, fs, ft, v)))
            fit = reg.evaluate_registration(ds, dt, 1.5 * v, T).fitness
            rot, tr = ot.pose_errors(G1 @ T, G2, c, L)
            print(f"{kind:6s} voxel {frac:.2f}  rot {rot:6.2f} deg  trans {tr:.4f} L  "
                  f"fitness {fit:.3f}  {ms:7.1f} ms CPU  repeats {'yes' if again else 'no'}")


if __name__ == "__main__":
    main()
