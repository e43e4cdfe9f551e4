#include "app/trial_batch.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/result_files.h"

namespace {

const double kPi = 3.141592653589793;
const int kMaxDegrees = 25;       // rotation angles in [-25, 25] whole degrees
const int kHundredths = 100;      // translation steps in [-100, 100] hundredths
const float kTranslationRange = 0.3f;  // of mesh 2's box diagonal

// Translation range D: 0.3 x the diagonal of mesh 2's bounding box.
double translation_range(TriMesh& mesh) {
  mesh.need_bounding_box();
  point s = mesh.bounding_box.max - mesh.bounding_box.min;
  float diagonal = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  return static_cast<double>(diagonal) * static_cast<double>(kTranslationRange);
}

// Rotations about X, Y, Z through `centre`, then the translation, applied
// after the current pose.
PoseMatrix perturb(const PoseMatrix& pose, const point& centre, double range, TrialRng& rng) {
  PoseMatrix result = pose;
  const IntTriple axes[3] = {IntTriple(1, 0, 0), IntTriple(0, 1, 0), IntTriple(0, 0, 1)};
  for (const IntTriple& axis : axes) {
    int degrees = rng.next() % (2 * kMaxDegrees + 1) - kMaxDegrees;
    double angle = degrees * kPi / 180.0;
    result = translation(centre) * rotation(angle, axis) * translation(-centre) * result;
  }
  double t[3];
  for (double& component : t)
    component = (rng.next() % (2 * kHundredths + 1) - kHundredths) * range / kHundredths;
  return translation(t[0], t[1], t[2]) * result;
}

void count_outcome(float error_icp, float error_color, TrialCounts& counts) {
  bool geometric_good = trial_error_is_good(error_icp);
  bool color_good = trial_error_is_good(error_color);
  if (geometric_good && color_good) counts.both_good++;
  if (!geometric_good && color_good) counts.only_color++;
  if (geometric_good && !color_good) counts.only_geometric++;
}

}  // namespace

bool trial_error_is_good(float error) {
  if (!std::isfinite(error)) return false;
  return std::trunc(error * 1000.0f) == 0.0f;
}

bool run_trials(AppState& app, const std::string& base, uint32_t seed, int count,
                const TrialBatchHooks& hooks, TrialCounts& counts) {
  Aligner& aligner = *app.aligner;
  MeshSlot& moving = *aligner.slots[1];
  ViewState& view = *app.view_state;
  counts = TrialCounts();

  std::string log_path = base + ".txt";
  std::FILE* log = std::fopen(log_path.c_str(), "w");
  if (!log) {
    std::fprintf(stderr, "Cannot create the trial log %s: %s.\n", log_path.c_str(),
                 std::strerror(errno));
    return false;
  }

  const PoseMatrix reference = moving.pose;
  const double range = translation_range(*moving.mesh);
  const point centre = view.spheres[2].center;
  TrialRng rng(seed);

  for (int i = 0; i < count; i++) {
    moving.pose = reference;
    std::printf("posicion inicial\n\n");
    if (hooks.request_redraw) hooks.request_redraw();
    moving.pose = perturb(moving.pose, centre, range, rng);
    view.initial_pose = moving.pose;
    if (hooks.prealign) hooks.prealign(app);
    const PoseMatrix icp_start = moving.pose;

    std::printf("Ensayo %d\n", i);
    std::fflush(stdout);
    aligner.align(2);
    std::fprintf(log, "Ensayo %d, error: %lf\t", i + 1, static_cast<double>(aligner.icp.error));
    view.icp_pose = moving.pose;
    moving.pose = icp_start;

    std::printf("COLOR %d\n", i);
    std::fflush(stdout);
    // The geometric run empties the feature marks; the colour run is measured
    // as a user runs it, so the marks are prepared again right before it.
    if (hooks.prepare_color_features) hooks.prepare_color_features(app);
    aligner.align_color(2);
    std::fprintf(log, "error: %lf\n", static_cast<double>(aligner.color.error));
    std::fflush(log);
    view.color_icp_pose = moving.pose;

    count_outcome(aligner.icp.error, aligner.color.error, counts);
    // The log path gives the result names: base + "_N", beside the log.
    write_results(app, log_path, i + 1);
  }

  std::fprintf(log, "Ambos bien: %d\n", counts.both_good);
  std::fprintf(log, "S\xF3lo color: %d\n", counts.only_color);
  std::fprintf(log, "S\xF3lo normal: %d\n", counts.only_geometric);
  bool ok = std::fclose(log) == 0;
  if (!ok) std::fprintf(stderr, "Error writing the trial log %s.\n", log_path.c_str());
  return ok;
}
