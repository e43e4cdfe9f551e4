// Point-cloud files as depth cameras and scanners write them (PCD, and the
// plain text formats xyz, xyzn, xyzrgb, pts), checked byte for byte before
// the point-cloud library reads them (mesh/point_cloud_library.h).
//
// The library trusts what a file says about itself: a point count larger
// than the data leaves it with uninitialised points, a compressed size
// larger than the file sends it reading past its buffer, and a count sizes
// its allocations. So a file reaches it only when these checks pass, and a
// file that fails one gets a line saying what is wrong. Every check is
// bounded by the bytes given: nothing here allocates by a count read from
// the file.
//
// What passes:
// - PCD: a header of VERSION, FIELDS, SIZE, TYPE, COUNT (optional: all 1),
//   WIDTH, HEIGHT, VIEWPOINT (optional; 7 numbers), POINTS and last DATA
//   (ascii, binary or binary_compressed), each once, "#" comment lines
//   anywhere before DATA; one to 64 fields of unique names, among them x, y,
//   z of type F; SIZE 1, 2, 4 or 8 (F: 4 or 8), COUNT 1 .. 65536 and a record
//   of at most 65536 bytes; WIDTH x HEIGHT = POINTS, at least one point and
//   fewer than 2^31. Fields the library gives a meaning keep the shape it
//   reads: normal_x/y/z all three or none, of type F and count 1; rgb or
//   rgba (not both) of 4 bytes and count 1. The body: ascii, exactly POINTS
//   non-blank lines of one number per value; binary, at least POINTS
//   records; binary_compressed, the two sizes, a compressed block inside the
//   file, and a block that decodes to exactly POINTS records (the decoding
//   is walked without output, so no back-reference or run leaves either
//   buffer).
// - xyz, xyzn, xyzrgb: every non-blank line holds exactly 3, 6 or 6 numbers
//   (x y z, then normal or colour); xyzrgb colours lie in [0, 1].
// - pts: a first line holding the point count, then exactly that many lines
//   (blank lines may only end the file), all of 3 (x y z), 4 (x y z
//   intensity), 6 (x y z r g b) or 7 (x y z intensity r g b) numbers, the
//   colours whole numbers 0 .. 255.
// - Text lines (a PCD's header and ascii body too) are at most 4096 bytes.
//   Numbers are whole tokens as strtod reads them; "nan" is a number (a
//   depth camera's missing sample), and the reader drops such points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class PointCloudFormat { kNone, kPcd, kXyz, kXyzn, kXyzrgb, kPts };

// The format a file name's extension names, letters in any case (".pcd",
// ".xyz", ".xyzn", ".xyzrgb", ".pts"); kNone for every other name.
PointCloudFormat point_cloud_format(const std::string& filename);

// What a file that passed the checks holds.
struct PointCloudShape {
  uint32_t points = 0;             // records, NaN ones included
  uint32_t width = 0, height = 0;  // PCD's layout (height > 1: one point per pixel); text: points x 1
  bool colors = false;             // a colour per point
  bool normals = false;            // a normal per point
};

// Checks the `size` bytes of a whole file of `format` (not kNone). True and
// `shape` filled when the file may be handed to the library; false with
// `why` set to one line (no trailing period) otherwise.
bool check_point_cloud(const char* data, size_t size, PointCloudFormat format,
                       PointCloudShape& shape, std::string& why);

// True when the LZF block of `in_size` bytes decodes to exactly `out_size`
// bytes with every run and back-reference inside the input and the output
// written so far.
bool lzf_block_decodes_to(const uint8_t* in, size_t in_size, size_t out_size);
