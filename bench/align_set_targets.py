#!/usr/bin/python3
"""The scan-set targets of `icp_tool align-set`, with Open3D's multi-way
recipe side by side:

    align_set_targets.py [--build build] [--baseline BUILD] [--work DIR]
                         [--motion-seed 1] [--odd] [--open3d] [--threads N]

bunny   the ten Stanford bunny scans, each moved by its own random rigid
        motion (any rotation, shift up to one diagonal) with its .xf
        dropped, aligned with --ignore-poses. Scored against bun.conf
        relative to bun000: a scan is right when it lies within 1 degree and
        1 mm of its reference (the shift measured at its box centre).
--odd   adds a scan of another object (a sphere from `make-pair`), which
        must be left out (exit 1) while the bunny scans are placed as above.
--open3d  also runs Open3D's recipe on the same moved scans: per pair FPFH
        on 5 mm voxels + fast global registration + point-to-plane ICP, a
        maximum spanning tree over the pairs' fitness as the certain edges,
        the other pairs as uncertain loop closures, global optimisation with
        pruning (the recipe's best form).

--baseline BUILD  also runs the icp_tool of another build (a build folder, or
        the program itself with its ../lib/varkel_icp, e.g. main's) on the
        same moved scans, right before ours, for a side-by-side timing.

Every run prints its wall time, its CPU time (user + system, all threads)
and the load average before it: on a shared machine the wall time follows
the load, the CPU time much less.

Our outputs go to WORK/ours (pose files, pairs.csv, report.txt) and
WORK/merged.ply (the merged model, thinned at 0.2 % of its diagonal).
Prints one line per scan and a summary: placed, worst degrees and mm, wall
time. Needs numpy (and Open3D's Python module for --open3d).
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from prealign_targets import BUNNY, moved_copy, random_motion, read_xf  # noqa: E402

SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAMES = ["bun000", "bun045", "bun090", "bun180", "bun270", "bun315", "chin", "ear_back",
         "top2", "top3"]


def conf_poses():
    """Scan -> bun000 frame, from bun.conf (translation, then quaternion i j k r;
    the rotation is R(q) transposed, as the data's SOURCE.md found)."""
    poses = {}
    for line in open(os.path.join(BUNNY, "bun.conf")):
        t = line.split()
        if not t or t[0] != "bmesh":
            continue
        x, y, z, qi, qj, qk, qr = (float(v) for v in t[2:9])
        m = np.eye(4)
        m[:3, :3] = np.array([[1 - 2 * (qj * qj + qk * qk), 2 * (qi * qj - qk * qr), 2 * (qi * qk + qj * qr)],
                     [2 * (qi * qj + qk * qr), 1 - 2 * (qi * qi + qk * qk), 2 * (qj * qk - qi * qr)],
                     [2 * (qi * qk - qj * qr), 2 * (qj * qk + qi * qr), 1 - 2 * (qi * qi + qj * qj)]]).T
        m[:3, 3] = [x, y, z]
        poses[t[1][:-4]] = m
    base = np.linalg.inv(poses["bun000"])
    return {n: base @ p for n, p in poses.items()}


def centre_of(path):
    with open(path, errors="replace") as f:
        lines = f.read().split("\n")
    end = lines.index("end_header")
    count = int(next(l.split()[2] for l in lines[:end] if l.startswith("element vertex")))
    p = np.array([[float(v) for v in l.split()[:3]] for l in lines[end + 1:end + 1 + count]])
    return (p.min(0) + p.max(0)) / 2


def angle(r):
    return float(np.degrees(np.arccos(np.clip((np.trace(r) - 1) / 2, -1, 1))))


def score(label, found, truth, centres, seconds, cpu, load):
    """found/truth: name -> pose of the moved scan in the moved bun000's frame."""
    worst_deg = worst_mm = 0.0
    placed = right = 0
    for n in NAMES:
        if n not in found:
            print(f"  {label:8s} {n:9s} left out")
            continue
        placed += 1
        c = np.append(centres[n], 1.0)
        deg = angle(found[n][:3, :3] @ truth[n][:3, :3].T)
        mm = 1000 * float(np.linalg.norm(found[n] @ c - truth[n] @ c))
        worst_deg, worst_mm = max(worst_deg, deg), max(worst_mm, mm)
        right += deg <= 1.0 and mm <= 1.0
        print(f"  {label:8s} {n:9s} {deg:7.3f} deg {mm:7.3f} mm")
    print(f"== {label}: placed {placed}/10, right (1 deg, 1 mm) {right}/10, worst {worst_deg:.3f} deg "
          f"{worst_mm:.3f} mm, wall {seconds:.1f} s, CPU {cpu:.1f} s, load before "
          f"{load[0]:.1f} {load[1]:.1f} {load[2]:.1f}", flush=True)


def cpu_of_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run_ours(args, tool, label, paths, truth, centres):
    out = os.path.join(args.work, label)
    env = dict(os.environ)
    if args.threads:
        env["ICP_THREADS"] = str(args.threads)
    load = os.getloadavg()
    begin, cpu = time.monotonic(), cpu_of_children()
    merged = os.path.join(args.work, label + "_merged.ply")
    p = subprocess.run([tool, "align-set"] + paths + ["--out", out, "--ignore-poses",
                                                      "--merged", merged, "--voxel", "0.002"],
                       capture_output=True, text=True, env=env)
    seconds, cpu = time.monotonic() - begin, cpu_of_children() - cpu
    print("".join(l + "\n" for l in p.stderr.splitlines() if not l.startswith(("  ", "Reading",
          "Computing", "Finding", "Building", "Done", "Triangulating", "Removing"))), end="")
    print(f"align-set ({label}) exit status {p.returncode}")
    found = {}
    for n in NAMES:
        xf = os.path.join(out, n + ".xf")
        if os.path.exists(xf):
            found[n] = read_xf(xf)
    score(label, found, truth, centres, seconds, cpu, load)


def run_open3d(args, paths, truth, centres):
    import open3d as o3d
    reg = o3d.pipelines.registration
    voxel = 0.005
    load = os.getloadavg()
    begin, cpu = time.monotonic(), time.process_time()
    clouds, feats = [], []
    for p in paths[:10]:
        c = o3d.io.read_point_cloud(p).voxel_down_sample(voxel)
        c.estimate_normals(o3d.geometry.KDTreeSearchParamHybrid(radius=2 * voxel, max_nn=30))
        clouds.append(c)
        feats.append(reg.compute_fpfh_feature(
            c, o3d.geometry.KDTreeSearchParamHybrid(radius=5 * voxel, max_nn=100)))
    n = len(clouds)
    results = {}
    for s in range(n):
        for t in range(s + 1, n):
            g = reg.registration_fgr_based_on_feature_matching(
                clouds[s], clouds[t], feats[s], feats[t],
                reg.FastGlobalRegistrationOption(maximum_correspondence_distance=1.5 * voxel))
            icp = reg.registration_icp(clouds[s], clouds[t], 1.5 * voxel, g.transformation,
                                       reg.TransformationEstimationPointToPlane())
            info = reg.get_information_matrix_from_point_clouds(clouds[s], clouds[t], 1.5 * voxel,
                                                                icp.transformation)
            results[(s, t)] = (icp.fitness, icp.transformation, info)
    # Maximum spanning tree over fitness: the certain edges.
    parent = list(range(n))

    def root(i):
        while parent[i] != i:
            i = parent[i]
        return i
    tree = set()
    for (s, t), (f, _, _) in sorted(results.items(), key=lambda kv: -kv[1][0]):
        if root(s) != root(t):
            parent[root(s)] = root(t)
            tree.add((s, t))
    graph = reg.PoseGraph()
    pose = {0: np.eye(4)}
    while len(pose) < n:
        for (s, t) in tree:
            if t in pose and s not in pose:
                pose[s] = pose[t] @ results[(s, t)][1]
            elif s in pose and t not in pose:
                pose[t] = pose[s] @ np.linalg.inv(results[(s, t)][1])
    for i in range(n):
        graph.nodes.append(reg.PoseGraphNode(pose[i]))
    for (s, t), (f, m, info) in results.items():
        graph.edges.append(reg.PoseGraphEdge(s, t, m, info, uncertain=(s, t) not in tree))
    reg.global_optimization(graph, reg.GlobalOptimizationLevenbergMarquardt(),
                            reg.GlobalOptimizationConvergenceCriteria(),
                            reg.GlobalOptimizationOption(max_correspondence_distance=1.5 * voxel,
                                                         edge_prune_threshold=0.25,
                                                         reference_node=0))
    seconds, cpu = time.monotonic() - begin, time.process_time() - cpu
    found = {NAMES[i]: np.asarray(graph.nodes[i].pose) for i in range(n)}
    score("open3d", found, truth, centres, seconds, cpu, load)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(SRC, "build"))
    ap.add_argument("--baseline", default=None)
    ap.add_argument("--work", default=None)
    ap.add_argument("--motion-seed", type=int, default=1)
    ap.add_argument("--odd", action="store_true")
    ap.add_argument("--open3d", action="store_true")
    ap.add_argument("--threads", type=int, default=0)
    args = ap.parse_args()
    args.tool = os.path.join(args.build, "tools", "icp_tool")
    args.work = args.work or tempfile.mkdtemp(prefix="align_set_")
    rng = np.random.default_rng(args.motion_seed)
    conf = conf_poses()
    motion, paths, centres = {}, [], {}
    for n in NAMES:
        motion[n] = random_motion(rng, 0.2)
        paths.append(os.path.join(args.work, n + ".ply"))
        moved_copy(os.path.join(BUNNY, n + ".ply"), motion[n], paths[-1])
        centres[n] = centre_of(paths[-1])
    # Truth: the moved scan's frame -> the moved bun000's frame.
    truth = {n: motion["bun000"] @ conf[n] @ np.linalg.inv(motion[n]) for n in NAMES}
    if args.odd:
        odd = os.path.join(args.work, "odd")
        subprocess.run([args.tool, "make-pair", "--shape", "sphere", "--out", odd], check=True,
                       capture_output=True)
        paths.append(os.path.join(odd, "mesh1.ply"))
    if args.baseline:
        tool = args.baseline if os.path.isfile(args.baseline) else \
            os.path.join(args.baseline, "tools", "icp_tool")
        run_ours(args, tool, "baseline", paths, truth, centres)
    run_ours(args, args.tool, "ours", paths, truth, centres)
    if args.open3d:
        run_open3d(args, paths, truth, centres)


if __name__ == "__main__":
    main()
