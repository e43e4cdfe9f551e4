"""The scan alignment engine of icp_tool: scans, the geometric and the colour
ICP, the prealignment and the trial batch, with NumPy arrays in and out and
the tool's results to the last bit."""

from typing import Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt

__version__: str

class Error(RuntimeError):
    """The engine refused or failed; the message is the tool's."""

class Scan:
    """One scan: a mesh or point set with per-vertex data and its pose.
    Array properties are read-only views of the scan's memory (no copy)."""

    @staticmethod
    def read(path: str) -> "Scan":
        """Any format icp_tool reads, its pose file (scan.xf) applied."""
    @staticmethod
    def from_arrays(
        vertices: npt.ArrayLike,
        colors: Optional[npt.ArrayLike] = None,
        faces: Optional[npt.ArrayLike] = None,
        pose: Optional[npt.ArrayLike] = None,
    ) -> "Scan":
        """vertices N x 3, colors N x 3 (float in [0, 1] or uint8), faces M x 3, pose 4x4."""
    @property
    def vertices(self) -> npt.NDArray[np.float32]:
        """N x 3, the scan's own frame."""
    @property
    def normals(self) -> npt.NDArray[np.float32]:
        """N x 3 unit normals, own frame."""
    @property
    def colors(self) -> Optional[npt.NDArray[np.float32]]:
        """N x 3 in [0, 1], or None without colours."""
    @property
    def faces(self) -> npt.NDArray[np.int32]:
        """M x 3 vertex indices (0 rows for a point set)."""
    @property
    def curvatures(self) -> Tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]:
        """(k1, k2), the principal curvatures per vertex."""
    @property
    def pose(self) -> npt.NDArray[np.float64]:
        """4x4, row by row: scan frame -> common frame (a copy)."""
    @pose.setter
    def pose(self, value: npt.ArrayLike) -> None: ...
    @property
    def path(self) -> Optional[str]: ...
    def write(self, path: str, with_pose: bool = True) -> None:
        """Through the tool's writers (e.g. "asc:norm:out.ply"), the pose file beside it."""

class PrealignResult:
    found: bool
    pose: npt.NDArray[np.float64]
    fitness: float
    residual: float
    color_difference: float
    hypotheses: int
    kept: str
    milliseconds: float
    message: str
    log: str

class AlignResult:
    method: str
    pose: npt.NDArray[np.float64]
    final_error: Optional[float]
    iterations: int
    history: npt.NDArray[np.float32]
    milliseconds: float
    pairs: int
    pair_rms: float
    overlap_share: float
    prealign: Optional[PrealignResult]
    log: str

def align(fixed: Scan, moving: Scan, variant: str = "icp", prealign: bool = False) -> AlignResult:
    """Aligns moving onto fixed ("icp" or "icp_color"); the pose icp_tool align writes."""

def prealign(fixed: Scan, moving: Scan) -> PrealignResult:
    """Places moving on fixed from any start, or refuses (found False)."""

def trials(
    fixed: Scan,
    moving: Scan,
    *,
    count: Optional[int] = None,
    seed: Optional[int] = None,
    parallel: bool = False,
    methods: Sequence[str] = ("icp", "icp_color"),
    prealign: bool = False,
    rot_deg: float = 1.0,
    shift_frac: float = 0.01,
    starts: Optional[npt.ArrayLike] = None,
    out: Optional[str] = None,
) -> dict[str, np.ndarray]:
    """The batch of icp_tool trials; one array per column of RUN_trials.csv."""
