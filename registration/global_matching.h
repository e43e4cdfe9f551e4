// Global matching of two thinned scans: the feature and registration
// primitives the prealignment needs from the point-cloud library, in this
// project's types. The implementation lives in the shared module
// icp_open3d.so (bridge/open3d/, the only code that includes Open3D), opened
// on the first call of global_matching(); a process that never prealigns
// never loads it, and a build or machine without it runs everything else.
//
// Determinism: every entry of the table runs the library on one thread. The
// entries that draw random numbers (the matchers) hold the module's one lock
// for their whole call and first seed the library's process-wide generator
// with the `seed` argument; the others (features, refine) draw none and run
// side by side, each on its own arguments. So a call's result depends on its
// arguments only, whatever other threads do with the module at the same
// time, and the same arguments give the same result bit for bit. Matcher
// calls from several threads wait for each other.
//
// Poses are 4x4 column-major arrays as in PoseMatrix::m, mapping the source
// cloud's frame to the target's. An entry returns false, with `error` set to
// one line, when the library reports a failure; it never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/Vec.h"

// A thinned scan in its own frame.
struct MatchCloud {
  std::vector<point> points;
  std::vector<point> normals;  // unit length, one per point
  std::vector<Color> colors;   // empty, or one per point
};

// Per-point feature vectors, `size` values per point, point after point.
struct MatchFeatures {
  int size = 0;
  std::vector<float> values;
};

struct GlobalMatching {
  int version;  // kGlobalMatchingVersion: the module and the program agree on this table

  // Fast point feature histograms (33 values per point) of each point's
  // neighbours within `radius`, at most `max_neighbours` of them.
  bool (*fpfh)(const MatchCloud& cloud, double radius, int max_neighbours,
               MatchFeatures& features, std::string& error);

  // Pairs each point with its nearest neighbour in feature space (both
  // ways, kept when mutual) and solves for the motion with fast global
  // registration's graduated robust cost (pairs further apart than
  // `match_distance` at the end count as outliers).
  bool (*fast_global)(const MatchCloud& source, const MatchFeatures& source_features,
                      const MatchCloud& target, const MatchFeatures& target_features,
                      double match_distance, uint32_t seed, double source_to_target[16],
                      std::string& error);

  // Feature pairs (nearest in feature space), then random triples of them
  // checked for consistent edge lengths (90 %) and `match_distance`, at most
  // `iterations` draws; the motion with the most inliers.
  bool (*ransac)(const MatchCloud& source, const MatchFeatures& source_features,
                 const MatchCloud& target, const MatchFeatures& target_features,
                 double match_distance, int iterations, uint32_t seed,
                 double source_to_target[16], std::string& error);

  // A short ICP on the two clouds from `start`: point-to-plane, or the
  // colour-aware variant (photometric and geometric terms) when `use_color`
  // and both clouds carry colours; pairs further apart than `max_distance`
  // are ignored; at most `iterations` steps.
  bool (*refine)(const MatchCloud& source, const MatchCloud& target, const double start[16],
                 double max_distance, int iterations, bool use_color,
                 double source_to_target[16], std::string& error);
};

const int kGlobalMatchingVersion = 1;

// The module's table, opened on the first call; null when the module or one
// of its libraries is missing or does not match, with `*why` (may be null)
// saying which. The answer is the same for the whole process.
const GlobalMatching* global_matching(std::string* why);
