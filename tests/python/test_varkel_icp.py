"""The Python module against icp_tool on the bundled demo pair: the same scans,
poses and tables, errors as exceptions, Ctrl+C between runs."""

import csv
import json
import math
import os
import signal
import subprocess
import threading

import numpy as np
import pytest

import varkel_icp as v

SOURCE = os.environ.get("ICP_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
TOOL = os.environ.get("ICP_TOOL", os.path.join(SOURCE, "build/tools/icp_tool"))
DEMO = [os.path.join(SOURCE, "data/demo", name) for name in ("mesh1.ply", "mesh2.ply")]


def tool(*args):
    return subprocess.run([TOOL, *args], check=True, capture_output=True, encoding="latin-1").stdout


@pytest.fixture(scope="module")
def pair():
    return [v.Scan.read(path) for path in DEMO]


def test_read_matches_the_tool_and_views_share_the_scan(pair, tmp_path):
    fixed = pair[0]
    info = dict(line.split(": ", 1) for line in tool("info", DEMO[0]).splitlines())
    assert fixed.vertices.shape == (int(info["vertices"]), 3)
    assert fixed.faces.shape == (int(info["faces"]), 3)
    np.testing.assert_allclose(fixed.vertices.min(axis=0), [float(x) for x in info["box"].split()[:3]], rtol=1e-5)
    assert np.array_equal(fixed.pose, np.loadtxt(DEMO[0][:-3] + "xf"))
    # A view is the scan's memory, read-only: the same bytes on every access.
    view = fixed.vertices
    assert np.shares_memory(view, fixed.vertices) and not view.flags.writeable
    with pytest.raises(ValueError):
        view[0, 0] = 1.0
    for k in fixed.curvatures:
        assert k.shape == (len(view),)
    fixed.write(str(tmp_path / "copy.ply"))
    back = v.Scan.read(str(tmp_path / "copy.ply"))
    assert np.array_equal(back.vertices, fixed.vertices) and np.array_equal(back.colors, fixed.colors)
    np.testing.assert_allclose(back.pose, fixed.pose, atol=1e-6)  # the pose file keeps 6 digits


BAD_ARRAYS = [
    dict(vertices=np.zeros((3, 2))),
    dict(vertices=np.zeros((0, 3))),
    dict(vertices=[[0, 0, 0], [1, 0, math.nan]]),
    dict(vertices=np.eye(3), faces=[[0, 1, 3]]),
    dict(vertices=np.eye(3), faces=[[0, 1, -1]]),
    dict(vertices=np.eye(3), colors=np.ones((2, 3))),
    dict(vertices=np.eye(3), pose=np.eye(3)),
    dict(vertices=np.eye(3), pose=np.full((4, 4), math.inf)),
]


@pytest.mark.parametrize("arrays", BAD_ARRAYS)
def test_bad_arrays_raise_value_error(arrays):
    with pytest.raises(ValueError):
        v.Scan.from_arrays(**arrays)


def test_bad_files_and_arguments_raise_with_the_tools_message(pair, tmp_path):
    with pytest.raises(v.Error, match="missing.ply.*No such file"):
        v.Scan.read(str(tmp_path / "missing.ply"))
    (tmp_path / "junk.ply").write_bytes(b"ply\nformat binary_little_endian 1.0\nelement vertex 99999999\n")
    with pytest.raises(v.Error, match="cannot read mesh"):
        v.Scan.read(str(tmp_path / "junk.ply"))
    with pytest.raises(ValueError, match="variant"):
        v.align(*pair, variant="icp_colour")
    with pytest.raises(ValueError, match="count"):
        v.trials(*pair, count=0)
    with pytest.raises(ValueError, match="methods"):
        v.trials(*pair, methods=["nope"])


def test_align_gives_the_tools_pose_to_the_last_bit_whatever_ran_before(pair):
    fixed, moving = pair
    v.align(fixed, moving, "icp_color")  # steps every engine generator first
    for variant, flags in (("icp", []), ("icp_color", ["--color"])):
        expected = json.loads(tool("align", *DEMO, "--json", *flags))
        got = v.align(fixed, moving, variant)
        assert got.pose.tolist() == expected["pose"], variant
        assert (got.final_error, got.iterations, got.pairs) == (
            expected["final_error"], expected["iterations"], expected["pairs"])
        assert len(got.history) == got.iterations and got.history[-1] == np.float32(got.final_error)
    assert np.array_equal(moving.pose, np.loadtxt(DEMO[1][:-3] + "xf"))  # the scan did not move


def test_a_moving_scan_without_overlap_raises():
    grid = np.stack(np.meshgrid(np.arange(30.0), np.arange(30.0), [0.0]), -1).reshape(-1, 3)
    grid[:, 2] = np.sin(grid[:, 0] / 3) * np.cos(grid[:, 1] / 4)
    far = np.eye(4)
    far[0, 3] = 1000.0
    with pytest.raises(v.Error, match="ICP failed"):
        v.align(v.Scan.from_arrays(grid), v.Scan.from_arrays(grid, pose=far))


def read_csv(path):
    with open(path) as f:
        return list(csv.DictReader(f))


def test_trials_table_is_the_tools_csv(pair, tmp_path):
    tool("trials", *DEMO, "--count", "2", "--seed", "7", "--out", str(tmp_path / "tool.txt"))
    table = v.trials(*pair, count=2, seed=7, out=str(tmp_path / "py.txt"))
    expected, written = read_csv(tmp_path / "tool_trials.csv"), read_csv(tmp_path / "py_trials.csv")
    assert len(table["trial"]) == len(expected) == 4
    for row, mine, k in zip(expected, written, range(4)):
        del row["milliseconds"], mine["milliseconds"]
        assert row == mine
        for column in ("start_rotation_deg", "rotation_error_deg", "translation_error"):
            assert float(row[column]) == pytest.approx(table[column][k], rel=1e-8)
        error = float(row["final_error"]) if row["final_error"] else math.nan
        assert error == pytest.approx(table["final_error"][k], abs=5e-7, nan_ok=True)
        assert (table["method"][k], table["iterations"][k], table["recovered"][k]) == (
            row["method"], int(row["iterations"]), row["recovered"] == "1")
    assert set(table) == set(expected[0]) | {"milliseconds"}


def interrupt_soon(seconds):
    timer = threading.Timer(seconds, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    return timer


def test_ctrl_c_stops_a_run_and_a_batch_after_its_current_run(pair, tmp_path):
    interrupt_soon(0.2)
    with pytest.raises(KeyboardInterrupt):
        for _ in range(100):  # lands inside a run however fast one is
            v.align(*pair, "icp_color")
    interrupt_soon(1.0)
    with pytest.raises(KeyboardInterrupt):
        v.trials(*pair, count=40, seed=7, out=str(tmp_path / "run.txt"))
    # The files hold the finished trials, each whole.
    rows = read_csv(tmp_path / "run_trials.csv")
    assert len(rows) < 80 and [r["method"] for r in rows] == ["icp", "icp_color"] * (len(rows) // 2)
