// Synthetic scan pairs with a known answer: an analytic shape painted with a
// colour texture of distinct features (hue gradient, stripes, spots), seen by
// two virtual range scanners whose viewing directions are 30 to 40 degrees
// apart. Each scan is a range grid of vertices in its own scanner frame plus
// the pose (.xf) that maps it into the common frame, so the two scans load
// aligned; any start pose of scan 2 away from its file pose is an error the
// ICP has to remove.
//
// Scanner frame: the scanner sits at the origin looking down -z, x to the
// right, y up. Grid row 0 is the bottom row and cell (col, row) is at
// row * width + col, so the grid triangles (ll, lr, ul) face the scanner.
// Units are metres; the shapes are about 0.2 m across.
//
// Everything is deterministic for a given option set: the seed picks the
// viewpoints (within the 30-40 degree rule), the spot layout and the range
// noise, through std::mt19937 (fully specified by the standard) and our own
// conversions to floats, so files are identical across platforms too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "geometry/Vec.h"

enum class ScanShape { sphere, torus, wavy, plane };

// Parses "sphere", "torus", "wavy" or "plane"; false for anything else.
bool parse_scan_shape(const std::string& name, ScanShape& shape);

struct ScanPairOptions {
  ScanShape shape = ScanShape::wavy;
  int vertices = 40000;  // approximate vertex count of each scan; 100 .. kMaxScanVertices
  float noise = 0.0001f; // standard deviation of the range noise along each ray, metres; 0 .. 0.01
  uint32_t seed = 1;     // selects viewpoints, spots and noise
};

const int kMaxScanVertices = 1000000;

// One range scan: vertices in the scanner frame, byte colours, the grid.
struct RangeScan {
  int width = 0, height = 0;         // grid columns and rows
  std::vector<point> vertices;       // scanner frame
  std::vector<uint8_t> colors;       // 3 bytes (r, g, b) per vertex
  std::vector<int32_t> grid;         // width * height cells, vertex index or -1
  PoseMatrix scanner_to_world;       // as written to and read back from the .xf file
};

// Both scans of a pair, and the angle between their viewing directions.
struct ScanPair {
  RangeScan scans[2];
  double view_angle_degrees = 0.0;
};

// Checks the option ranges; false with a one-line reason otherwise.
bool check_scan_pair_options(const ScanPairOptions& options, std::string& why);

// Generates the pair. Options must have passed check_scan_pair_options.
ScanPair generate_scan_pair(const ScanPairOptions& options);

// Writes a binary little-endian PLY range grid with byte colours ("ply",
// "format binary_little_endian 1.0", obj_info num_cols/num_rows, vertex x y z
// as floats and diffuse_red/green/blue as bytes, range_grid cells as 0 for no
// sample or 1 then the int32 vertex index). False when the file cannot be written.
bool write_range_grid_ply(const RangeScan& scan, const std::string& path);

// A set of `count` scans of one shape, all painted alike, whose viewing
// directions ring the shape's seen side (+z) at 25 degrees from the axis,
// evenly spread in azimuth with a little jitter, each scanner rolled: every
// scan overlaps its neighbours, and all see the top. Deterministic as the
// pair is.
std::vector<RangeScan> generate_scan_set(const ScanPairOptions& options, int count);
const int kMaxSetScans = 36;

// Generates the set and writes DIR/scanNN.ply and DIR/scanNN.xf (NN from
// 01), creating DIR when missing. False with a reason on failure.
bool write_scan_set(const ScanPairOptions& options, int count, const std::string& dir,
                    std::vector<RangeScan>& scans, std::string& why);

// Generates the pair and writes DIR/mesh1.ply, DIR/mesh1.xf, DIR/mesh2.ply,
// DIR/mesh2.xf (creating DIR when missing). False with a reason on failure.
bool write_scan_pair(const ScanPairOptions& options, const std::string& dir, ScanPair& pair,
                     std::string& why);
