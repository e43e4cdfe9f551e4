#include "geometry/pose_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

namespace {

// Rigid to within 1 %: poses rounded to six digits, or nudged by hand by a
// few thousandths, still place a scan as meant and pass in silence; a scale,
// shear or mirror beyond that is worth a word.
constexpr double kRigidTolerance = 1e-2;
constexpr double kSingularRatio = 1e-9;

PoseFileCheck failed(PoseFileStatus status, int error = 0) {
  PoseFileCheck check;
  check.status = status;
  check.error = error;
  return check;
}

// The file's bytes, at most kMaxPoseFileBytes of them. The name is checked
// before it is opened, so no pipe or device is ever opened for reading, and
// the open descriptor again, so a file swapped in between is caught; the
// open does not wait (O_NONBLOCK) in case a pipe is swapped in anyway.
PoseFileCheck read_bytes(const std::string& path, std::string& text) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? failed(PoseFileStatus::absent)
                                               : failed(PoseFileStatus::unopenable, errno);
  if (!S_ISREG(st.st_mode)) return failed(PoseFileStatus::not_regular);
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return failed(PoseFileStatus::unopenable, errno);
  PoseFileCheck check;
  check.status = PoseFileStatus::rigid;  // "read"; the caller classifies
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    check = failed(PoseFileStatus::not_regular);
  } else {
    // One byte more than allowed tells a file that grew past the limit.
    char buffer[kMaxPoseFileBytes + 1];
    size_t got = 0;
    while (got < sizeof buffer) {
      ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        check = failed(PoseFileStatus::unopenable, errno);
        break;
      }
      if (n == 0) break;
      got += size_t(n);
    }
    if (got > size_t(kMaxPoseFileBytes)) check = failed(PoseFileStatus::too_large);
    text.assign(buffer, got);
  }
  if (check.status == PoseFileStatus::too_large) check.bytes = long(st.st_size);
  ::close(fd);
  return check;
}

// Sixteen numbers row by row, by the stream rule of the pose file: the
// stream must still be good after the sixteenth (so a line end or more text
// follows it).
PoseFileCheck parse(const std::string& text, PoseMatrix& m) {
  std::istringstream in(text);
  PoseMatrix read;
  PoseFileCheck check;
  for (int i = 0; i < 16; i++) {
    in >> read.at(i / 4, i % 4);
    if (in.fail()) {
      check.status = in.eof() ? PoseFileStatus::too_few_numbers : PoseFileStatus::not_a_number;
      check.numbers = i;
      return check;
    }
  }
  if (!in.good()) return failed(PoseFileStatus::no_line_end);
  // The stream refuses "nan", "inf" and numbers beyond float64's range, so
  // what it read is finite.
  check.status = pose_shape(read);
  m = read;
  return check;
}

// det of the 4x4 matrix by cofactor expansion along pairs of rows (2x2 minors).
double determinant4(const PoseMatrix& a) {
  auto e = [&a](int r, int c) { return a.at(r, c); };
  double s0 = e(0, 0) * e(1, 1) - e(1, 0) * e(0, 1), s1 = e(0, 0) * e(1, 2) - e(1, 0) * e(0, 2);
  double s2 = e(0, 0) * e(1, 3) - e(1, 0) * e(0, 3), s3 = e(0, 1) * e(1, 2) - e(1, 1) * e(0, 2);
  double s4 = e(0, 1) * e(1, 3) - e(1, 1) * e(0, 3), s5 = e(0, 2) * e(1, 3) - e(1, 2) * e(0, 3);
  double c5 = e(2, 2) * e(3, 3) - e(3, 2) * e(2, 3), c4 = e(2, 1) * e(3, 3) - e(3, 1) * e(2, 3);
  double c3 = e(2, 1) * e(3, 2) - e(3, 1) * e(2, 2), c2 = e(2, 0) * e(3, 3) - e(3, 0) * e(2, 3);
  double c1 = e(2, 0) * e(3, 2) - e(3, 0) * e(2, 2), c0 = e(2, 0) * e(3, 1) - e(3, 0) * e(2, 1);
  return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

double determinant3(const PoseMatrix& m) {
  return m.at(0, 0) * (m.at(1, 1) * m.at(2, 2) - m.at(2, 1) * m.at(1, 2)) -
         m.at(0, 1) * (m.at(1, 0) * m.at(2, 2) - m.at(2, 0) * m.at(1, 2)) +
         m.at(0, 2) * (m.at(1, 0) * m.at(2, 1) - m.at(2, 0) * m.at(1, 1));
}

// Singular when the determinant of the first `n` rows and columns is below
// kSingularRatio of the product of those rows' lengths (its largest value,
// by Hadamard's inequality). Each row is first divided by its largest
// entry, so the test is free of the file's units and cannot overflow; a zero
// row is singular outright.
bool is_singular_block(const PoseMatrix& m, int n) {
  PoseMatrix scaled = m;
  double row_lengths = 1.0;
  for (int r = 0; r < n; r++) {
    double largest = 0.0;
    for (int c = 0; c < n; c++) largest = std::fmax(largest, std::fabs(m.at(r, c)));
    if (largest == 0.0) return true;
    double length = 0.0;
    for (int c = 0; c < n; c++) {
      scaled.at(r, c) = m.at(r, c) / largest;
      length += scaled.at(r, c) * scaled.at(r, c);
    }
    row_lengths *= std::sqrt(length);
  }
  double det = n == 3 ? determinant3(scaled) : determinant4(scaled);
  return std::fabs(det) < kSingularRatio * row_lengths;
}

// An affine matrix (bottom row 0 0 0 w) is singular when w is 0 or its
// linear 3x3 part flattens space, whatever its translation; a projective
// one is judged as a whole.
bool is_singular(const PoseMatrix& m) {
  if (m.at(3, 0) == 0.0 && m.at(3, 1) == 0.0 && m.at(3, 2) == 0.0)
    return m.at(3, 3) == 0.0 || is_singular_block(m, 3);
  return is_singular_block(m, 4);
}

bool is_rigid(const PoseMatrix& m) {
  const double bottom[4] = {0, 0, 0, 1};
  for (int c = 0; c < 4; c++)
    if (std::fabs(m.at(3, c) - bottom[c]) > kRigidTolerance) return false;
  // Columns of unit length and at right angles, turning right-handedly.
  for (int a = 0; a < 3; a++)
    for (int b = a; b < 3; b++) {
      double dot = 0.0;
      for (int r = 0; r < 3; r++) dot += m.at(r, a) * m.at(r, b);
      if (std::fabs(dot - (a == b ? 1.0 : 0.0)) > kRigidTolerance) return false;
    }
  return determinant3(m) > 0.0;
}

}  // namespace

PoseFileStatus pose_shape(const PoseMatrix& m) {
  if (!is_finite(m)) return PoseFileStatus::not_a_number;
  if (is_singular(m)) return PoseFileStatus::singular;
  return is_rigid(m) ? PoseFileStatus::rigid : PoseFileStatus::not_rigid;
}

PoseFileCheck read_pose_file(const std::string& path, PoseMatrix& m) {
  if (path.empty()) return failed(PoseFileStatus::absent);
  std::string text;
  PoseFileCheck check = read_bytes(path, text);
  if (check.status != PoseFileStatus::rigid) return check;
  return parse(text, m);
}

bool pose_was_read(PoseFileStatus status) {
  return pose_is_usable(status) || status == PoseFileStatus::singular;
}

bool pose_is_usable(PoseFileStatus status) {
  return status == PoseFileStatus::rigid || status == PoseFileStatus::not_rigid;
}

bool pose_needs_warning(PoseFileStatus status) {
  return status != PoseFileStatus::absent && status != PoseFileStatus::rigid;
}

std::string pose_problem_text(const PoseFileCheck& check) {
  switch (check.status) {
    case PoseFileStatus::absent: return "does not exist";
    case PoseFileStatus::rigid: return "";
    case PoseFileStatus::not_regular: return "is not a regular file";
    case PoseFileStatus::too_large:
      return "holds " + std::to_string(check.bytes) + " bytes, more than the " +
             std::to_string(kMaxPoseFileBytes) + " a pose file may have";
    case PoseFileStatus::unopenable: return std::string("cannot be read: ") + std::strerror(check.error);
    case PoseFileStatus::too_few_numbers:
      return "holds only " + std::to_string(check.numbers) + " of its sixteen numbers";
    case PoseFileStatus::not_a_number:
      return "number " + std::to_string(check.numbers + 1) + " of sixteen is not a finite number";
    case PoseFileStatus::no_line_end: return "ends right after its sixteenth number, with no line end";
    case PoseFileStatus::not_rigid: return "is not a rigid motion (scaled, sheared, mirrored or projective)";
    case PoseFileStatus::singular: return "is singular (it flattens the scan)";
  }
  return "";
}
