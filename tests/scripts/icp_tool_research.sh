#!/usr/bin/env bash
# The research outputs of icp_tool trials: the per-trial table agrees with the
# log and with an independent scoring of the result pose files, the summary
# and the success curve agree with the table, a batch replayed from its own
# exported starts (another seed) writes the same log and result files, so does
# a parallel batch on one and two threads, and bad thresholds or start files
# are refused cleanly.
source "$(dirname "$0")/lib/tool_common.sh"

"$tool" make-pair --shape wavy --out "$dir/pair" --vertices 1500 --seed 4 >/dev/null 2>&1 \
  || fail "make-pair failed"
m1="$dir/pair/mesh1.ply"
m2="$dir/pair/mesh2.ply"
# The first batch and its replay sit in sibling folders: the summaries name
# the meshes relative to their own folder.
mkdir -p "$dir/first" "$dir/replay"
"$tool" trials "$m1" "$m2" --out "$dir/first/run.txt" --count 6 --seed 5 --rot-deg 2 \
  --shift-frac 0.02 --export-starts "$dir/starts.txt" >"$dir/first/console" 2>/dev/null \
  || fail "trials exited $?"
"$tool" info "$m2" 2>/dev/null | sed -n 's/^box: //p' > "$dir/first/box"

python3 - "$dir" <<'PY' || fail "research outputs disagree"
import csv, hashlib, json, math, re, sys, xml.etree.ElementTree as ET
d = sys.argv[1]
pair = f"{d}/pair"
d = f"{d}/first"
rows = list(csv.DictReader(open(f"{d}/run_trials.csv", encoding="utf-8")))
assert list(rows[0]) == ["trial", "method", "start_rotation_deg", "start_shift", "final_error",
    "rotation_error_deg", "translation_error", "iterations", "milliseconds", "good_by_error",
    "recovered", "prealign"], list(rows[0])
assert [(r["trial"], r["method"]) for r in rows] == \
    [(str(t), m) for t in range(1, 7) for m in ("icp", "icp_color")]

# The log: the same error text, empty where it says 999999; the same counts.
log = open(f"{d}/run.txt", encoding="cp1252").read().splitlines()
both = only_color = only_geo = 0
for t in range(6):
    errors = re.fullmatch(r"Ensayo %d, error: (\S+)\terror: (\S+)" % (t + 1), log[t]).groups()
    good = []
    for r, text in zip(rows[2 * t:2 * t + 2], errors):
        assert r["final_error"] == ("" if text == "999999.000000" else text), (r, text)
        good.append(int(float(text) * 1000) == 0)
        assert r["good_by_error"] == str(int(good[-1])), r
    both += good[0] and good[1]; only_color += good[1] and not good[0]; only_geo += good[0] and not good[1]
assert log[6:] == ["Ambos bien: %d" % both, "S\u00f3lo color: %d" % only_color,
                   "S\u00f3lo normal: %d" % only_geo], log[6:]

# Independent scoring of the pose files: rotations made orthonormal, the
# angle from the chordal distance |R - I| = 2 sqrt(2) sin(a / 2).
def read_pose(path):
    v = [float(x) for x in open(path).read().split()[:16]]
    return [v[4 * r:4 * r + 4] for r in range(4)]
def orthonormal(m):
    r = [row[:3] for row in m[:3]]
    for _ in range(30):  # polar iteration R <- (R + R^-T) / 2
        c = [[r[(i + 1) % 3][(j + 1) % 3] * r[(i + 2) % 3][(j + 2) % 3]
              - r[(i + 1) % 3][(j + 2) % 3] * r[(i + 2) % 3][(j + 1) % 3] for j in range(3)] for i in range(3)]
        det = sum(r[0][j] * c[0][j] for j in range(3))
        r = [[(r[i][j] + c[i][j] / det) / 2 for j in range(3)] for i in range(3)]
    return r
def angle(f, g):
    rf, rg = orthonormal(f), orthonormal(g)
    rel = [[sum(rf[i][k] * rg[j][k] for k in range(3)) for j in range(3)] for i in range(3)]
    chord = math.sqrt(sum((rel[i][j] - (i == j)) ** 2 for i in range(3) for j in range(3)))
    return math.degrees(2 * math.asin(min(1.0, chord / (2 * math.sqrt(2)))))
box = [float(x) for x in open(f"{d}/box").read().split()]
c = [(box[k] + box[k + 3]) / 2 for k in range(3)]
diag = math.dist(box[:3], box[3:])
def shift(f, g):
    return math.dist(*[[sum(m[r][k] * c[k] for k in range(3)) + m[r][3] for r in range(3)]
                       for m in (f, g)]) / diag
ref = read_pose(f"{pair}/mesh2.xf")
recovered = {"icp": 0, "icp_color": 0}
for r in rows:
    suffix = {"icp": "PosICP", "icp_color": "PosICPcolor"}[r["method"]]
    pose = read_pose(f"{d}/run_{r['trial']}_{suffix}.xf")
    rot, tr = angle(pose, ref), shift(pose, ref)
    assert abs(float(r["rotation_error_deg"]) - rot) < 1e-3, (r, rot)
    assert abs(float(r["translation_error"]) - tr) < 1e-4, (r, tr)
    start = read_pose(f"{d}/run_{r['trial']}_PosInicial.xf")
    assert abs(float(r["start_rotation_deg"]) - angle(start, ref)) < 1e-3, r
    if abs(rot - 2) > 1e-3 and abs(tr - 0.02) > 1e-4:
        assert r["recovered"] == str(int(rot < 2 and tr < 0.02)), (r, rot, tr)
    recovered[r["method"]] += int(r["recovered"])
    assert int(r["iterations"]) >= 0 and float(r["milliseconds"]) >= 0

console = open(f"{d}/console", encoding="cp1252").read().splitlines()
assert console[-1] == "Pose recuperada (< 2 grados, < 2%% diagonal): ICP %d de 6, ICP_Color %d de 6" % (
    recovered["icp"], recovered["icp_color"]), console[-1]

# The summary: inputs by digest, thresholds, and figures that match the table.
s = json.load(open(f"{d}/run_summary.json", encoding="utf-8"))
assert s["count"] == 6 and s["seed"] == 5 and s["mode"]["starts"] == "random", s
assert s["thresholds"] == {"good_by_error_below": 0.001, "rotation_deg_below": 2.0,
                           "shift_fraction_below": 0.02}, s["thresholds"]
for entry, path in zip(s["inputs"], (f"{pair}/mesh1.ply", f"{pair}/mesh2.ply")):
    data = open(path, "rb").read()
    assert entry["size"] == len(data) and entry["sha256"] == hashlib.sha256(data).hexdigest(), entry
assert s["command_line"][:2] == ["icp_tool", "trials"] and "--rot-deg" in s["command_line"]
curve_bars = {(b.get("data-method"), b.get("data-bin")): float(b.get("data-rate"))
              for b in ET.parse(f"{d}/run_success.svg").getroot().iter("{http://www.w3.org/2000/svg}rect")
              if b.get("class") == "bar"}
for m in s["methods"]:
    mine = [r for r in rows if r["method"] == m["method"]]
    for rule in ("good_by_error", "recovered"):
        k = sum(int(r[rule]) for r in mine)
        low, high = m[rule]["interval95"]
        assert m[rule]["successes"] == k and 0 <= low <= k / 6 <= high <= 1, (m, rule)
    times = sorted(float(r["milliseconds"]) for r in mine)
    assert times[0] <= m["milliseconds"]["median"] <= m["milliseconds"]["p90"] <= times[-1], m
    bins = m["by_start_rotation"]
    assert sum(b["trials"] for b in bins) == 6 and sum(b["recovered"] for b in bins) == recovered[m["method"]]
    for b in bins:
        if b["trials"]:
            assert abs(curve_bars[(m["method"], b["start_rotation_deg"])] - b["rate"]) < 1e-4, b
PY

# Replayed from the exported starts with another seed: the same log and files.
"$tool" trials "$m1" "$m2" --out "$dir/replay/run.txt" --starts "$dir/starts.txt" --seed 77 \
  --rot-deg 2 --shift-frac 0.02 >"$dir/replay/console" 2>/dev/null || fail "replay exited $?"
cmp -s "$dir/first/console" "$dir/replay/console" || fail "replay console differs"
for f in "$dir"/first/run.txt "$dir"/first/run_*; do
  case "$f" in *_trials.csv | *_summary.json) continue ;; esac
  cmp -s "$f" "$dir/replay/$(basename "$f")" || fail "replay differs in $(basename "$f")"
done
cut -d, -f1-8,10- "$dir/first/run_trials.csv" > "$dir/a"
cut -d, -f1-8,10- "$dir/replay/run_trials.csv" > "$dir/b"
cmp -s "$dir/a" "$dir/b" || fail "replayed table differs beyond its times"

# --parallel with the research options: a batch on one thread from the seed
# and its replay on two from the exported starts (same seed: it also seeds the
# trials' samples) give the same files, rows in trial order, the same starts.
methods=icp,icp_color
have_peers=0
if [ -f "$build/lib/varkel_icp/icp_open3d.so" ]; then methods=icp,o3d_point_to_plane,icp_color; have_peers=1; fi
for k in 1 2; do
  from=(--count 4); [ $k = 2 ] && from=(--starts "$dir/par1/starts.txt")
  mkdir -p "$dir/par$k"
  ICP_THREADS=$k "$tool" trials "$m1" "$m2" --out "$dir/par$k/run.txt" --parallel --seed 5 \
    "${from[@]}" --methods $methods --rot-deg 2 --export-starts "$dir/par$k/starts.txt" \
    >"$dir/par$k.out" 2>&1 || fail "parallel batch $k exited $?"
  grep -av 'msec\.' "$dir/par$k.out" > "$dir/par$k/console"
  cut -d, -f1-8,10- "$dir/par$k/run_trials.csv" > "$dir/par$k/table"
done
head -20 "$dir/starts.txt" | cmp -s - "$dir/par1/starts.txt" || fail "parallel starts differ from the seed's"
for f in "$dir"/par1/*; do
  case "$f" in *_trials.csv | *_summary.json) continue ;; esac
  cmp -s "$f" "$dir/par2/$(basename "$f")" || fail "parallel replay on 2 threads differs in $(basename "$f")"
done
python3 - "$dir" "$have_peers" <<'PY' || fail "parallel outputs"
import csv, json, sys
d, peers = sys.argv[1], sys.argv[2] == "1"
methods = ["icp", "icp_color"] + (["o3d_point_to_plane"] if peers else [])
rows = list(csv.DictReader(open(f"{d}/par2/run_trials.csv")))
assert [(r["trial"], r["method"]) for r in rows] == [(str(t), m) for t in range(1, 5) for m in methods], rows
s1, s2 = (json.load(open(f"{d}/par{k}/run_summary.json")) for k in (1, 2))
assert (s1["threads"], s2["threads"], s1["seed"], s2["seed"]) == (1, 2, 5, 5), (s1, s2)
assert (s1["mode"]["parallel_trials"], s2["mode"]["parallel_trials"]) == (1, 2), (s1, s2)
assert s2["mode"]["starts"] != s1["mode"]["starts"], s2["mode"]
strip = lambda m: {k: v for k, v in m.items() if k != "milliseconds"}
assert [strip(m) for m in s1["methods"]] == [strip(m) for m in s2["methods"]]
PY

# Refusals: each with status 2 and a message, nothing run.
refuse() {  # WHY ARGS...
  local why=$1
  shift
  "$tool" trials "$m1" "$m2" --out "$dir/bad.txt" "$@" >/dev/null 2>"$dir/err"
  [ $? -eq 2 ] || fail "$why: not refused with status 2"
  [ -s "$dir/err" ] || fail "$why: no message"
  [ ! -e "$dir/bad.txt" ] || fail "$why: a log was written"
}
refuse "zero degrees" --rot-deg 0
refuse "text threshold" --shift-frac abc
head -4 "$dir/starts.txt" > "$dir/short.txt"
refuse "15 numbers" --starts "$dir/short.txt"
printf '2 0 0 0\n0 2 0 0\n0 0 2 0\n0 0 0 1\n' > "$dir/scaled.txt"
refuse "a scaled start" --starts "$dir/scaled.txt"
printf '1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 x\n' > "$dir/text.txt"
refuse "a word among numbers" --starts "$dir/text.txt"
refuse "more trials than starts" --starts "$dir/starts.txt" --count 7
refuse "missing starts file" --starts "$dir/none.txt"
refuse "an unknown method" --methods icp,o3d_nothing

# Peers from the same starts: their rows, pose files scored like the rest,
# and the same poses again on a second run; without the module, a clean stop.
ICP_OPEN3D_MODULE=/nonexistent "$tool" trials "$m1" "$m2" --out "$dir/none.txt" --count 1 \
  --methods o3d_colored >/dev/null 2>"$dir/err"
[ $? -eq 1 ] && grep -q "not available" "$dir/err" || fail "a missing module not reported"
[ ! -e "$dir/none.txt" ] || fail "a batch ran without its peers"
if [ -f "$build/lib/varkel_icp/icp_open3d.so" ]; then
  for k in 1 2; do
    mkdir -p "$dir/peers$k"
    "$tool" trials "$m1" "$m2" --out "$dir/peers$k/run.txt" --starts "$dir/starts.txt" --count 2 \
      --methods o3d_point_to_plane,icp,o3d_colored >/dev/null 2>&1 || fail "peer batch exited $?"
  done
  for f in run_1_o3d_point_to_plane.xf run_2_o3d_colored.xf run.txt; do
    cmp -s "$dir/peers1/$f" "$dir/peers2/$f" || fail "peers differ between runs in $f"
  done
  python3 - "$dir/peers1" <<'PY' || fail "peer rows"
import csv, sys
d = sys.argv[1]
rows = list(csv.DictReader(open(f"{d}/run_trials.csv")))
assert [r["method"] for r in rows[:4]] == ["icp", "icp_color", "o3d_point_to_plane", "o3d_colored"], rows
for r in rows[2:4]:
    assert r["final_error"] == "" and r["good_by_error"] == "0" and float(r["milliseconds"]) > 0, r
    pose = [float(x) for x in open(f"{d}/run_1_{r['method']}.xf").read().split()]
    assert len(pose) == 16 and pose[12:] == [0, 0, 0, 1], pose
PY
fi
echo "icp_tool research outputs: ok"
