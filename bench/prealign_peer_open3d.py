#!/usr/bin/python3
"""Open3D's own global pipeline from given start poses, for comparison with
`icp_tool trials --prealign`: per start, FPFH features on voxel-thinned
copies and RANSAC feature matching (its tutorial settings), then its
halving point-to-plane ICP and its halving coloured ICP from the RANSAC pose.

    prealign_peer_open3d.py --mesh1 A.ply --mesh2 B.ply --trials-from S.txt
                            [--methods ransac_p2l,ransac_col] [--out f.csv]

The scans, start poses, ICP schedules and scoring are those of the peer's
o3d_trials.py (imported from $PEER_BENCH, default ../shared/bench beside the
repository). Voxel edge v = 2 % of the smaller diagonal, as there; normals on the thinned copies
with radius 2v, FPFH radius 5v (100 neighbours), RANSAC with mutual filter,
3-point samples, edge-length (0.9) and distance (1.5v) checks, 100000
iterations at confidence 0.999. time_ms covers thinning, features, RANSAC and
the ICP of each trial (the global step is redone per trial, as ours is).
"""
import argparse
import csv
import os
import sys
import time

import numpy as np
import open3d as o3d

sys.path.insert(0, os.environ.get(
    "PEER_BENCH", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "bench")))
import o3d_trials as ot  # noqa: E402

reg = o3d.pipelines.registration


def ransac_pose(src, tgt, dmin):
    """Mesh 2's pose in mesh 1's frame; src is in mesh 2's own frame."""
    v = 0.02 * dmin
    feats = []
    for pc in (src, tgt):
        d = pc.voxel_down_sample(v)
        d.estimate_normals(o3d.geometry.KDTreeSearchParamHybrid(radius=2 * v, max_nn=30))
        f = reg.compute_fpfh_feature(d, o3d.geometry.KDTreeSearchParamHybrid(radius=5 * v, max_nn=100))
        feats.append((d, f))
    (ds, fs), (dt, ft) = feats
    r = reg.registration_ransac_based_on_feature_matching(
        ds, dt, fs, ft, True, 1.5 * v, reg.TransformationEstimationPointToPoint(False), 3,
        [reg.CorrespondenceCheckerBasedOnEdgeLength(0.9),
         reg.CorrespondenceCheckerBasedOnDistance(1.5 * v)],
        reg.RANSACConvergenceCriteria(100000, 0.999))
    return np.asarray(r.transformation)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--mesh1", required=True)
    ap.add_argument("--mesh2", required=True)
    ap.add_argument("--trials-from", nargs="+", required=True)
    ap.add_argument("--methods", default="ransac_p2l,ransac_col")
    ap.add_argument("--out", default="o3d_prealign.csv")
    a = ap.parse_args()
    G1 = ot.read_xf(os.path.splitext(a.mesh1)[0] + ".xf")
    G = ot.read_xf(os.path.splitext(a.mesh2)[0] + ".xf")
    tgt = ot.load_cloud(a.mesh1, "mesh").transform(G1)
    src = ot.load_cloud(a.mesh2, "mesh")
    P2 = np.asarray(src.points)
    c_local = (P2.min(0) + P2.max(0)) / 2
    L = ot.diag_of(src)
    dmin = min(L, ot.diag_of(tgt))
    icp = ot.Methods(src, tgt, dmin)
    methods = [m for m in a.methods.split(",") if m]
    rows = []
    for lbl, S in ot.read_starts(a.trials_from):
        for m in methods:
            t0 = time.perf_counter()
            # The global step ignores the start S, like ours.
            T = ransac_pose(src, tgt, dmin)
            F, fit, rmse, note = icp.run("p2l_halving" if m == "ransac_p2l" else "col_halving", T)
            ms = (time.perf_counter() - t0) * 1e3
            rot, tr = ot.pose_errors(F, G, c_local, L)
            srot, strans = ot.pose_errors(S, G, c_local, L)
            rows.append({"trial": lbl, "method": m, "start_rot_deg": srot, "start_trans": strans,
                         "rot_err_deg": rot, "trans_err": tr, "time_ms": ms,
                         "success": int(rot < 1.0 and tr < 0.01), "note": note})
    with open(a.out, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=list(rows[0]))
        w.writeheader()
        w.writerows(rows)
    n = len(rows) // len(methods)
    print("\n".join(ot.summarise(rows, m, n) for m in methods))


if __name__ == "__main__":
    main()
