#!/usr/bin/python3
"""The prealignment's targets, measured with `icp_tool align --prealign`:

    prealign_targets.py [--build build] [--work DIR] [--only bunny|shapes|kinect|wavy]
                        [--seeds 10] [--motion-seed 1]

bunny   every pair of the Stanford scans with overlap >= 0.25 in SOURCE.md's
        table (23), both directions; each scan's vertices moved by its own
        random rigid motion (any rotation, shift up to one diagonal) and its
        .xf dropped, so both scans sit in frames unrelated to the truth.
shapes  torus, sphere and painted plane from `icp_tool make-pair`, --seeds
        seeds each, mesh 2 given a random pose file; run with --color.
kinect  the three frame pairs A-B, B-C, A-C of the Kinect frames (no poses:
        references estimated here with Open3D's multi-scale coloured ICP from
        the identity, the way their SOURCE.md made its figures); --color.
wavy    wavy pairs as the shapes, a control that has no symmetry.

Success: rotation error < 1 degree and translation error of mesh 2's box
centre < 1 % of its diagonal (as ../shared/bench/score_poses.py scores).
A run that exits 0 with a wrong pose is counted as "wrong, exit 0" (the one
outcome that must never happen); a refusal (exit 1) is honest. Prints one
line per run and a summary per group; needs numpy (Open3D only for kinect).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

import numpy as np

SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(SRC, "..", "shared", "data")
BUNNY = os.path.join(DATA, "stanford_bunny_scans")
KINECT = os.path.join(DATA, "pcl_kinect_grabber_frames")
KINECT_FRAMES = {"A": "frame_20121214T142255.814212_grid.ply",
                 "B": "frame_20121214T142256.068683_grid.ply",
                 "C": "frame_20121214T142256.332395_grid.ply"}


def read_xf(path):
    return np.loadtxt(path).reshape(4, 4)


def write_xf(m, path):
    with open(path, "w") as f:
        for r in m:
            f.write(" ".join("%.9g" % v for v in r) + "\n")


def random_motion(rng, diagonal):
    q = rng.normal(size=4)
    q /= np.linalg.norm(q)
    w, x, y, z = q
    r = np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                  [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                  [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])
    m = np.eye(4)
    m[:3, :3] = r
    m[:3, 3] = rng.uniform(-1, 1, 3) * diagonal
    return m


def ascii_vertices(path):
    """(header lines, vertex lines, rest lines) of an ascii PLY."""
    with open(path, newline="") as f:
        lines = f.read().replace("\r\n", "\n").split("\n")
    end = lines.index("end_header")
    count = int(next(l.split()[2] for l in lines[:end] if l.startswith("element vertex")))
    return lines[:end + 1], lines[end + 1:end + 1 + count], lines[end + 1 + count:]


def moved_copy(path, motion, out):
    """Writes the ascii PLY `path` with every vertex moved by `motion`."""
    head, verts, rest = ascii_vertices(path)
    rows = [v.split() for v in verts]
    p = np.array([[float(t) for t in r[:3]] for r in rows])
    q = p @ motion[:3, :3].T + motion[:3, 3]
    with open(out, "w") as f:
        f.write("\n".join(head) + "\n")
        for r, x in zip(rows, q):
            f.write("%.9g %.9g %.9g%s\n" % (x[0], x[1], x[2], "".join(" " + t for t in r[3:])))
        f.write("\n".join(rest))


def box(tool, path):
    out = subprocess.run([tool, "info", path], capture_output=True, text=True).stdout
    b = [float(t) for t in re.search(r"^box: (.*)$", out, re.M).group(1).split()]
    lo, hi = np.array(b[:3]), np.array(b[3:])
    return (lo + hi) / 2, float(np.linalg.norm(hi - lo))


def rotation_angle(r):
    u, _, vt = np.linalg.svd(r)
    r = u @ vt
    return float(np.degrees(np.arccos(np.clip((np.trace(r) - 1) / 2, -1, 1))))


def errors(final, truth, centre, diagonal):
    rot = rotation_angle(final[:3, :3] @ truth[:3, :3].T)
    c = np.append(centre, 1.0)
    return rot, float(np.linalg.norm(final @ c - truth @ c)) / diagonal


def run_case(args, name, fixed, moving, truth, color, rows):
    pose = os.path.join(args.work, "pose.xf")
    if os.path.exists(pose):
        os.remove(pose)
    cmd = [args.tool, "align", fixed, moving, "--prealign", "--out", pose] + (["--color"] if color else [])
    p = subprocess.run(cmd, capture_output=True, text=True)
    line = next((l for l in p.stderr.splitlines() if l.startswith("Prealignment")), "?")
    centre, diagonal = box(args.tool, moving)
    rot = trans = float("nan")
    if p.returncode == 0:
        rot, trans = errors(read_xf(pose), truth, centre, diagonal)
    good = p.returncode == 0 and rot < 1.0 and trans < 0.01
    outcome = "right" if good else ("refused" if p.returncode != 0 else "WRONG, exit 0")
    print(f"{name:28s} exit {p.returncode}  rot {rot:8.3f} deg  shift {100 * trans:7.3f} %  "
          f"{outcome:14s} {line}", flush=True)
    for l in p.stderr.splitlines():
        if l.startswith("  hypothesis"):
            print(l)
    ms = re.search(r"([0-9.]+) msec", line)
    rows.append((name, good, outcome, rot, trans, float(ms.group(1)) if ms else float("nan")))


def summary(group, rows):
    n = len(rows)
    right = sum(r[1] for r in rows)
    wrong = sum(r[2] == "WRONG, exit 0" for r in rows)
    refused = sum(r[2] == "refused" for r in rows)
    ms = np.median([r[5] for r in rows]) if rows else float("nan")
    print(f"== {group}: right {right}/{n}, refused {refused}, wrong with exit 0 {wrong}; "
          f"median prealignment {ms:.0f} ms", flush=True)


def bunny(args):
    pairs = [("bun000", "bun045"), ("bun000", "bun090"), ("bun000", "bun270"), ("bun000", "bun315"),
             ("bun000", "top3"), ("bun000", "chin"), ("bun045", "bun090"), ("bun045", "bun315"),
             ("bun045", "top3"), ("bun045", "chin"), ("bun090", "bun180"), ("bun090", "top2"),
             ("bun090", "top3"), ("bun090", "ear_back"), ("bun180", "bun270"), ("bun180", "top2"),
             ("bun180", "ear_back"), ("bun270", "bun315"), ("bun270", "chin"), ("bun315", "top3"),
             ("bun315", "chin"), ("top2", "top3"), ("top2", "ear_back")]
    rng = np.random.default_rng(args.motion_seed)
    names = sorted({n for p in pairs for n in p})
    motion, path, pose = {}, {}, {}
    for n in names:
        motion[n] = random_motion(rng, 0.2)
        path[n] = os.path.join(args.work, n + ".ply")
        moved_copy(os.path.join(BUNNY, n + ".ply"), motion[n], path[n])
        pose[n] = read_xf(os.path.join(BUNNY, n + ".xf"))
    for direction in ("forward", "backward"):
        rows = []
        for a, b in pairs:
            f, m = (a, b) if direction == "forward" else (b, a)
            # Truth of the moved mesh 2 in the moved mesh 1's frame.
            truth = motion[f] @ np.linalg.inv(pose[f]) @ pose[m] @ np.linalg.inv(motion[m])
            run_case(args, f"{m} -> {f}", path[f], path[m], truth, False, rows)
        summary(f"bunny {direction}", rows)


def made_pairs(args, shapes, color):
    rng = np.random.default_rng(args.motion_seed)
    for shape in shapes:
        rows = []
        for seed in range(1, args.seeds + 1):
            d = os.path.join(args.work, f"{shape}_{seed}")
            subprocess.run([args.tool, "make-pair", "--shape", shape, "--out", d, "--seed",
                            str(seed)] + (["--vertices", str(args.vertices)] if args.vertices else []),
                           check=True, capture_output=True)
            truth = read_xf(os.path.join(d, "mesh2.xf"))
            write_xf(random_motion(rng, 1.0) @ truth, os.path.join(d, "mesh2.xf"))
            run_case(args, f"{shape} seed {seed}", os.path.join(d, "mesh1.ply"),
                     os.path.join(d, "mesh2.ply"), truth, color, rows)
        summary(shape, rows)


def kinect(args):
    import open3d as o3d
    rows = []
    clouds = {}
    for k, f in KINECT_FRAMES.items():
        m = o3d.io.read_point_cloud(os.path.join(KINECT, f.replace("_grid", "_points"))) \
            if os.path.exists(os.path.join(KINECT, f.replace("_grid", "_points"))) else None
        clouds[k] = m
    for a, b in (("A", "B"), ("B", "C"), ("A", "C")):
        fa, fb = (os.path.join(KINECT, KINECT_FRAMES[k]) for k in (a, b))
        truth = kinect_reference(fa, fb)
        run_case(args, f"kinect {b} -> {a}", fa, fb, truth, True, rows)
    summary("kinect", rows)


def kinect_reference(fixed, moving):
    """mesh 2 -> mesh 1 by Open3D's coloured ICP, multi-scale 20/10/5 mm, from the identity."""
    import open3d as o3d
    def load(p):
        m = o3d.io.read_triangle_mesh(p)
        c = o3d.geometry.PointCloud(m.vertices)
        c.colors = m.vertex_colors
        return c
    src, dst = load(moving), load(fixed)
    t = np.eye(4)
    for v in (0.02, 0.01, 0.005):
        s, d = src.voxel_down_sample(v), dst.voxel_down_sample(v)
        for c in (s, d):
            c.estimate_normals(o3d.geometry.KDTreeSearchParamHybrid(radius=2 * v, max_nn=30))
        t = o3d.pipelines.registration.registration_colored_icp(
            s, d, 1.5 * v, t, o3d.pipelines.registration.TransformationEstimationForColoredICP(),
            o3d.pipelines.registration.ICPConvergenceCriteria(1e-6, 1e-6, 50)).transformation
    return t


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(SRC, "build"))
    ap.add_argument("--work")
    ap.add_argument("--only", nargs="*", default=["bunny", "shapes", "kinect"])
    ap.add_argument("--seeds", type=int, default=10)
    ap.add_argument("--vertices", type=int, default=0)
    ap.add_argument("--motion-seed", type=int, default=1)
    args = ap.parse_args()
    args.tool = os.path.join(args.build, "tools", "icp_tool")
    args.work = args.work or tempfile.mkdtemp(prefix="prealign_targets.")
    os.makedirs(args.work, exist_ok=True)
    print(f"work folder {args.work}", file=sys.stderr)
    if "bunny" in args.only:
        bunny(args)
    if "shapes" in args.only:
        made_pairs(args, ["torus", "sphere", "plane"], True)
    if "wavy" in args.only:
        made_pairs(args, ["wavy"], True)
    if "kinect" in args.only:
        kinect(args)


if __name__ == "__main__":
    main()
