// Virtual range scanner over analytic shapes. Each pixel's ray is marched
// through the shape's implicit function at a fixed step and the first sign
// change is refined by bisection; samples seen at a grazing angle are dropped,
// as a real triangulation scanner drops them.
#include "tools/scan_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

namespace {

const double kPi = 3.14159265358979323846;
const double kScannerDistance = 0.5;  // metres from the aimed-at point
const double kMinCosine = 0.2;        // samples at a steeper grazing angle are dropped
const int kMarchSteps = 240;          // steps across the bounding sphere
const int kBisections = 40;

// ---- Small double-precision vector ---------------------------------------------

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 v3(double x, double y, double z) { return V3{x, y, z}; }
V3 operator+(V3 a, V3 b) { return v3(a.x + b.x, a.y + b.y, a.z + b.z); }
V3 operator-(V3 a, V3 b) { return v3(a.x - b.x, a.y - b.y, a.z - b.z); }
V3 operator*(double s, V3 a) { return v3(s * a.x, s * a.y, s * a.z); }
double dot3(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross3(V3 a, V3 b) { return v3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
V3 unit(V3 a) { return (1.0 / std::sqrt(dot3(a, a))) * a; }
// Rotation of `a` about the unit axis `k` by `angle` (Rodrigues).
V3 rotate(V3 a, V3 k, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  return c * a + s * cross3(k, a) + ((1 - c) * dot3(k, a)) * k;
}

// ---- Seeded randomness -------------------------------------------------------------
// std::mt19937 is specified bit for bit; the conversions below are ours, so the
// output does not depend on the standard library's distributions.
struct Random {
  std::mt19937 mt;
  explicit Random(uint32_t seed) : mt(seed) {}
  // Uniform in (0, 1).
  double uniform() { return (static_cast<double>(mt()) + 0.5) / 4294967296.0; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Standard normal by Box-Muller.
  double gaussian() {
    const double u1 = uniform(), u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
  }
};

// ---- Shapes ------------------------------------------------------------------------

const double kSphereRadius = 0.1;
const double kTorusMajor = 0.09, kTorusMinor = 0.035;
const double kPatchHalf = 0.1;  // wavy and plane patches span [-half, half]^2

double wavy_height(double x, double y) {
  const double dx = x - 0.03, dy = y + 0.02;
  return 0.012 * std::sin(2 * kPi * x / 0.08) * std::cos(2 * kPi * y / 0.11) +
         0.02 * std::exp(-(dx * dx + dy * dy) / 0.0016);
}

// Implicit function: negative inside (or below a patch), positive outside.
// `in_domain` is false where the shape has no surface at all (beside a patch).
double shape_value(ScanShape shape, V3 p, bool& in_domain) {
  in_domain = true;
  switch (shape) {
    case ScanShape::sphere:
      return std::sqrt(dot3(p, p)) - kSphereRadius;
    case ScanShape::torus: {
      const double ring = std::sqrt(p.x * p.x + p.y * p.y) - kTorusMajor;
      return std::sqrt(ring * ring + p.z * p.z) - kTorusMinor;
    }
    case ScanShape::wavy:
    case ScanShape::plane:
      in_domain = std::fabs(p.x) <= kPatchHalf && std::fabs(p.y) <= kPatchHalf;
      return p.z - (shape == ScanShape::wavy ? wavy_height(p.x, p.y) : 0.0);
  }
  return 1.0;
}

// Radius of a sphere about the origin that holds the shape with a margin
// (the ray march must start strictly outside the surface).
double bounding_radius(ScanShape shape) {
  switch (shape) {
    case ScanShape::sphere: return kSphereRadius + 0.005;
    case ScanShape::torus: return kTorusMajor + kTorusMinor + 0.005;
    default: return kPatchHalf * std::sqrt(2.0) + 0.035;
  }
}

// A point on the side of the shape the scanners see (around +z), from u, v in (0, 1).
V3 visible_surface_point(ScanShape shape, double u, double v) {
  switch (shape) {
    case ScanShape::sphere: {
      const double z = 0.3 + 0.7 * u, r = std::sqrt(1 - z * z), phi = 2 * kPi * v;
      return kSphereRadius * v3(r * std::cos(phi), r * std::sin(phi), z);
    }
    case ScanShape::torus: {
      const double theta = 2 * kPi * u, phi = kPi * v;
      const double ring = kTorusMajor + kTorusMinor * std::cos(phi);
      return v3(ring * std::cos(theta), ring * std::sin(theta), kTorusMinor * std::sin(phi));
    }
    default: {
      const double x = (2 * u - 1) * kPatchHalf, y = (2 * v - 1) * kPatchHalf;
      return v3(x, y, shape == ScanShape::wavy ? wavy_height(x, y) : 0.0);
    }
  }
}

V3 shape_normal(ScanShape shape, V3 p) {
  const double h = 1e-6;
  bool in;
  const V3 g = v3(shape_value(shape, p + v3(h, 0, 0), in) - shape_value(shape, p - v3(h, 0, 0), in),
                  shape_value(shape, p + v3(0, h, 0), in) - shape_value(shape, p - v3(0, h, 0), in),
                  shape_value(shape, p + v3(0, 0, h), in) - shape_value(shape, p - v3(0, 0, h), in));
  return unit(g);
}

// First crossing of the surface along origin + t * dir (dir of unit length),
// from outside to inside, within the bounding sphere; false when none.
bool cast_ray(ScanShape shape, V3 origin, V3 dir, double& t_hit) {
  const double radius = bounding_radius(shape);
  const double b = dot3(origin, dir), c = dot3(origin, origin) - radius * radius;
  const double disc = b * b - c;
  if (disc <= 0) return false;
  const double t0 = -b - std::sqrt(disc), t1 = -b + std::sqrt(disc);
  const double step = 2 * radius / kMarchSteps;
  bool prev_in = false;
  double prev_t = t0, prev_f = shape_value(shape, origin + t0 * dir, prev_in);
  for (double t = t0 + step; t <= t1 + step; t += step) {
    bool in = false;
    const double f = shape_value(shape, origin + t * dir, in);
    if (in && prev_in && prev_f > 0 && f <= 0) {
      double lo = prev_t, hi = t;
      for (int i = 0; i < kBisections; i++) {
        const double mid = 0.5 * (lo + hi);
        bool mid_in;
        if (shape_value(shape, origin + mid * dir, mid_in) > 0) {
          lo = mid;
        } else {
          hi = mid;
        }
      }
      t_hit = 0.5 * (lo + hi);
      return true;
    }
    prev_in = in;
    prev_t = t;
    prev_f = f;
  }
  return false;
}

// ---- Colour texture ----------------------------------------------------------------

struct Spot {
  V3 centre;
  double radius;
  V3 colour;
};

V3 hsv(double h, double s, double v) {
  h = (h - std::floor(h)) * 6.0;
  const int sector = static_cast<int>(h) % 6;
  const double f = h - std::floor(h);
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (sector) {
    case 0: return v3(v, t, p);
    case 1: return v3(q, v, p);
    case 2: return v3(p, v, t);
    case 3: return v3(p, q, v);
    case 4: return v3(t, p, v);
    default: return v3(v, p, q);
  }
}

// Colour of the surface at world point p: a hue gradient across the object,
// dark stripes, and spots with dark rims. Painted in world space, so both
// scanners see the same colour at the same surface point.
V3 surface_colour(V3 p, const std::vector<Spot>& spots) {
  for (const Spot& s : spots) {
    const double d = std::sqrt(dot3(p - s.centre, p - s.centre));
    if (d < s.radius) return s.colour;
    if (d < 1.3 * s.radius) return v3(0.08, 0.06, 0.05);
  }
  const double stripe = (0.8 * p.x - 0.6 * p.y + 0.3 * p.z) / 0.035;
  if (stripe - std::floor(stripe) < 0.2) return v3(0.16, 0.13, 0.38);
  return hsv(0.55 + 2.2 * p.x + 1.3 * p.y + 0.8 * p.z, 0.55, 0.92);
}

std::vector<Spot> make_spots(ScanShape shape, Random& rng) {
  static const double kPalette[][3] = {{0.95, 0.15, 0.1}, {1.0, 0.85, 0.1}, {0.1, 0.75, 0.2},
                                       {0.1, 0.55, 0.95}, {0.9, 0.2, 0.8},  {1.0, 1.0, 1.0}};
  std::vector<Spot> spots(16);
  for (Spot& s : spots) {
    const double u = rng.uniform(), v = rng.uniform();
    s.centre = visible_surface_point(shape, u, v);
    s.radius = rng.uniform(0.006, 0.016);
    const double* c = kPalette[static_cast<int>(rng.uniform() * 6) % 6];
    s.colour = v3(c[0], c[1], c[2]);
  }
  return spots;
}

uint8_t to_byte(double c) {
  return static_cast<uint8_t>(std::lround(std::min(1.0, std::max(0.0, c)) * 255.0));
}

// ---- Scanner -----------------------------------------------------------------------

struct Scanner {
  V3 position;             // world
  V3 right, up, back;      // world directions of the scanner's x, y, z axes
  double tan_half_fov = 0;
};

// Scanner looking from direction `view` (unit, from target to scanner) at `target`, rolled.
Scanner make_scanner(ScanShape shape, V3 target, V3 view, double roll) {
  Scanner s;
  s.back = view;
  const V3 hint = std::fabs(view.y) < 0.9 ? v3(0, 1, 0) : v3(1, 0, 0);
  s.right = rotate(unit(cross3(hint, view)), view, roll);
  s.up = cross3(view, s.right);
  s.position = target + kScannerDistance * view;
  const double half = std::asin(std::min(0.9, bounding_radius(shape) / kScannerDistance));
  s.tan_half_fov = std::tan(half) * 1.1;
  return s;
}

// Scanner frame -> world, rounded the way the pose file stores it, so the
// vertices written in the scanner frame land exactly where they were
// sampled once the file pose is applied.
PoseMatrix scanner_pose(const Scanner& s) {
  PoseMatrix m(s.right.x, s.right.y, s.right.z, 0, s.up.x, s.up.y, s.up.z, 0, s.back.x, s.back.y,
               s.back.z, 0, s.position.x, s.position.y, s.position.z, 1);
  std::istringstream text(pose_to_string(m));
  PoseMatrix stored;
  text >> stored;
  return stored;
}

V3 pixel_ray(const Scanner& s, int col, int row, int width, int height) {
  const double x = ((col + 0.5) / width * 2 - 1) * s.tan_half_fov;
  const double y = ((row + 0.5) / height * 2 - 1) * s.tan_half_fov;
  return unit(x * s.right + y * s.up - 1.0 * s.back);
}

// True when the pixel's ray meets the surface at an angle the scanner accepts.
bool sample_pixel(ScanShape shape, const Scanner& s, V3 dir, V3& hit) {
  double t;
  if (!cast_ray(shape, s.position, dir, t)) return false;
  hit = s.position + t * dir;
  return -dot3(shape_normal(shape, hit), dir) > kMinCosine;
}

// Grid side that gives about `vertices` samples: measured on a coarse grid.
int grid_side(ScanShape shape, const Scanner& s, int vertices) {
  const int coarse = 48;
  int hits = 0;
  V3 hit;
  for (int r = 0; r < coarse; r++)
    for (int c = 0; c < coarse; c++) hits += sample_pixel(shape, s, pixel_ray(s, c, r, coarse, coarse), hit);
  const double fraction = std::max(0.05, static_cast<double>(hits) / (coarse * coarse));
  return std::max(8, std::min(4096, static_cast<int>(std::lround(std::sqrt(vertices / fraction)))));
}

RangeScan scan(const ScanPairOptions& o, const Scanner& s, const std::vector<Spot>& spots,
               Random& noise) {
  RangeScan out;
  out.width = out.height = grid_side(o.shape, s, o.vertices);
  out.scanner_to_world = scanner_pose(s);
  const PoseMatrix world_to_scanner = inverse(out.scanner_to_world);
  out.grid.assign(static_cast<size_t>(out.width) * out.height, -1);
  for (int row = 0; row < out.height; row++) {
    for (int col = 0; col < out.width; col++) {
      const V3 dir = pixel_ray(s, col, row, out.width, out.height);
      V3 hit;
      if (!sample_pixel(o.shape, s, dir, hit)) continue;
      const V3 colour = surface_colour(hit, spots);
      const V3 measured = hit + (o.noise * noise.gaussian()) * dir;
      out.grid[static_cast<size_t>(row) * out.width + col] = static_cast<int32_t>(out.vertices.size());
      out.vertices.push_back(transform_point(
          world_to_scanner, point(static_cast<float>(measured.x), static_cast<float>(measured.y),
                                  static_cast<float>(measured.z))));
      out.colors.push_back(to_byte(colour.x));
      out.colors.push_back(to_byte(colour.y));
      out.colors.push_back(to_byte(colour.z));
    }
  }
  return out;
}

// ---- PLY output ----------------------------------------------------------------------

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void put_f32(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put_u32(out, bits);
}

}  // namespace

bool parse_scan_shape(const std::string& name, ScanShape& shape) {
  if (name == "sphere") shape = ScanShape::sphere;
  else if (name == "torus") shape = ScanShape::torus;
  else if (name == "wavy") shape = ScanShape::wavy;
  else if (name == "plane") shape = ScanShape::plane;
  else return false;
  return true;
}

bool check_scan_pair_options(const ScanPairOptions& o, std::string& why) {
  if (o.vertices < 100 || o.vertices > kMaxScanVertices) {
    why = "--vertices must be between 100 and " + std::to_string(kMaxScanVertices);
    return false;
  }
  if (!(o.noise >= 0.0f && o.noise <= 0.01f)) {
    why = "--noise must be between 0 and 0.01 (metres)";
    return false;
  }
  return true;
}

ScanPair generate_scan_pair(const ScanPairOptions& o) {
  Random rng(o.seed);
  const std::vector<Spot> spots = make_spots(o.shape, rng);
  // Two viewing directions split symmetrically about +z by 30-40 degrees, the
  // pair tilted together (which keeps the angle) and each scanner rolled.
  const double angle = rng.uniform(30.0, 40.0) * kPi / 180.0;
  const double tilt = rng.uniform(-12.0, 12.0) * kPi / 180.0;
  ScanPair pair;
  V3 views[2];
  for (int i = 0; i < 2; i++) {
    const V3 target = v3(rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01));
    const double roll = rng.uniform(-20.0, 20.0) * kPi / 180.0;
    views[i] = rotate(rotate(v3(0, 0, 1), v3(0, 1, 0), (i == 0 ? -0.5 : 0.5) * angle), v3(1, 0, 0), tilt);
    Random noise(o.seed * 2654435761u + 97u * (i + 1));
    pair.scans[i] = scan(o, make_scanner(o.shape, target, views[i], roll), spots, noise);
  }
  pair.view_angle_degrees = std::acos(std::min(1.0, dot3(views[0], views[1]))) * 180.0 / kPi;
  return pair;
}

std::vector<RangeScan> generate_scan_set(const ScanPairOptions& o, int count) {
  Random rng(o.seed);
  const std::vector<Spot> spots = make_spots(o.shape, rng);
  const double polar = 25.0 * kPi / 180.0;
  std::vector<RangeScan> scans;
  for (int i = 0; i < count; i++) {
    const double azimuth = 2 * kPi * (i + rng.uniform(-0.1, 0.1)) / count;
    const double roll = rng.uniform(-20.0, 20.0) * kPi / 180.0;
    const V3 target = v3(rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01));
    const V3 view = rotate(rotate(v3(0, 0, 1), v3(0, 1, 0), polar), v3(0, 0, 1), azimuth);
    Random noise(o.seed * 2654435761u + 97u * uint32_t(i + 1));
    scans.push_back(scan(o, make_scanner(o.shape, target, view, roll), spots, noise));
  }
  return scans;
}

bool write_range_grid_ply(const RangeScan& s, const std::string& path) {
  std::string out;
  out += "ply\nformat binary_little_endian 1.0\n";
  out += "obj_info num_cols " + std::to_string(s.width) + "\n";
  out += "obj_info num_rows " + std::to_string(s.height) + "\n";
  out += "element vertex " + std::to_string(s.vertices.size()) + "\n";
  out += "property float x\nproperty float y\nproperty float z\n";
  out += "property uchar diffuse_red\nproperty uchar diffuse_green\nproperty uchar diffuse_blue\n";
  out += "element range_grid " + std::to_string(s.grid.size()) + "\n";
  out += "property list uchar int vertex_indices\nend_header\n";
  for (size_t i = 0; i < s.vertices.size(); i++) {
    for (int a = 0; a < 3; a++) put_f32(out, s.vertices[i][a]);
    out.append(reinterpret_cast<const char*>(&s.colors[3 * i]), 3);
  }
  for (int32_t cell : s.grid) {
    if (cell < 0) {
      out.push_back('\0');
    } else {
      out.push_back('\1');
      put_u32(out, static_cast<uint32_t>(cell));
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return (std::fclose(f) == 0) && ok;
}

namespace {

// Creates `dir` when missing; false with a reason when it cannot be made.
bool make_directory(const std::string& dir, std::string& why) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    why = "cannot create directory " + dir;
    return false;
  }
  return true;
}

// Writes base.ply and base.xf; false with a reason on failure.
bool write_scan(const RangeScan& scan, const std::string& base, std::string& why) {
  if (write_range_grid_ply(scan, base + ".ply") && write_pose(scan.scanner_to_world, base + ".xf"))
    return true;
  why = "cannot write " + base + ".ply or " + base + ".xf";
  return false;
}

}  // namespace

bool write_scan_set(const ScanPairOptions& options, int count, const std::string& dir,
                    std::vector<RangeScan>& scans, std::string& why) {
  if (!check_scan_pair_options(options, why) || !make_directory(dir, why)) return false;
  scans = generate_scan_set(options, count);
  for (int i = 0; i < count; i++) {
    char name[16];
    std::snprintf(name, sizeof name, "/scan%02d", i + 1);
    if (!write_scan(scans[size_t(i)], dir + name, why)) return false;
  }
  return true;
}

bool write_scan_pair(const ScanPairOptions& options, const std::string& dir, ScanPair& pair,
                     std::string& why) {
  if (!check_scan_pair_options(options, why) || !make_directory(dir, why)) return false;
  pair = generate_scan_pair(options);
  for (int i = 0; i < 2; i++)
    if (!write_scan(pair.scans[i], dir + "/mesh" + std::to_string(i + 1), why)) return false;
  return true;
}
