// Point-cloud files (PCD in its three encodings, xyz, xyzn, xyzrgb, pts):
// good files of each kind read through the library into the mesh record,
// and bad ones refused by the checks with a reason before the library sees
// them.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh/point_cloud_checks.h"
#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using test_meshes::CapturedText;

namespace {

const float kNaN = std::nanf("");
// Two points and, between them, a depth camera's missing sample.
const std::vector<point> kPoints = {point(1, 2, 3), point(kNaN, kNaN, kNaN), point(-4, 5.5f, 6)};
const std::vector<point> kNormals = {point(0, 0, 1), point(kNaN, kNaN, kNaN), point(1, 0, 0)};
const uint8_t kRgb[3][3] = {{255, 0, 128}, {0, 0, 0}, {1, 2, 3}};

std::string pcd_header(const std::string& data, int width = 3, int height = 1) {
  return "# written by the test\nVERSION 0.7\nFIELDS x y z normal_x normal_y normal_z rgb\n"
         "SIZE 4 4 4 4 4 4 4\nTYPE F F F F F F U\nCOUNT 1 1 1 1 1 1 1\nWIDTH " +
         std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
         "\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + std::to_string(width * height) + "\nDATA " + data +
         "\n";
}

uint32_t packed_rgb(int i) { return uint32_t(kRgb[i][0]) << 16 | kRgb[i][1] << 8 | kRgb[i][2]; }

std::string pcd_ascii() {
  std::string s = pcd_header("ascii");
  for (int i = 0; i < 3; i++) {
    const point& p = kPoints[i];
    const point& n = kNormals[i];
    char line[200];
    std::snprintf(line, sizeof line, "%g %g %g %g %g %g %u\n", p.x, p.y, p.z, n.x, n.y, n.z,
                  packed_rgb(i));
    s += line;
  }
  return s;
}

// Records point after point (binary) or field after field (the compressed block's layout).
std::string pcd_records(bool by_field) {
  Bytes b;
  if (!by_field)
    for (int i = 0; i < 3; i++)
      b.xyz(kPoints[i].x, kPoints[i].y, kPoints[i].z)
          .xyz(kNormals[i].x, kNormals[i].y, kNormals[i].z)
          .i32(int32_t(packed_rgb(i)));
  for (int k = 0; by_field && k < 7; k++)
    for (int i = 0; i < 3; i++)
      k < 3 ? b.f32(kPoints[i][k]) : k < 6 ? b.f32(kNormals[i][k - 3]) : b.i32(int32_t(packed_rgb(i)));
  return b.str();
}

// The LZF block of `raw` as literal runs of at most 32 bytes.
std::string lzf_literals(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); i += 32) {
    const std::string run = raw.substr(i, 32);
    out += char(run.size() - 1) + run;
  }
  return out;
}

std::string pcd_compressed(const std::string& block, uint32_t unpacked) {
  return pcd_header("binary_compressed") +
         Bytes().i32(int32_t(block.size())).i32(int32_t(unpacked)).str() + block;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}
std::string triple(point p) { return num(p.x) + " " + num(p.y) + " " + num(p.z); }
std::string bytes_of(int i) {
  return std::to_string(kRgb[i][0]) + " " + std::to_string(kRgb[i][1]) + " " + std::to_string(kRgb[i][2]);
}
std::string fractions_of(int i) {
  return num(kRgb[i][0] / 255.0f) + " " + num(kRgb[i][1] / 255.0f) + " " + num(kRgb[i][2] / 255.0f);
}

// One line per point of kPoints, made by `line`.
template <typename Line>
std::string text_lines(Line line) {
  std::string s;
  for (int i = 0; i < 3; i++) s += line(i);
  return s;
}

}  // namespace

TEST(PointCloudFiles, EachKindGivesItsPointsColoursAndNormalsWithoutTheMissingOne) {
  const std::string raw = pcd_records(true);
  enum Has { kPlain = 0, kByteColours = 1, kFloatColours = 2, kFileNormals = 4 };
  const struct {
    const char* name;
    std::string bytes;
    int has;
  } cases[] = {
      {"a.pcd", pcd_ascii(), kByteColours | kFileNormals},
      {"b.PCD", pcd_header("binary") + pcd_records(false), kByteColours | kFileNormals},
      {"c.pcd", pcd_compressed(lzf_literals(raw), uint32_t(raw.size())), kByteColours | kFileNormals},
      {"d.xyz", text_lines([](int i) { return triple(kPoints[i]) + "\n"; }), kPlain},
      {"e.xyzn", text_lines([](int i) { return triple(kPoints[i]) + " " + triple(kNormals[i]) + "\n"; }),
       kFileNormals},
      {"f.xyzrgb", text_lines([](int i) { return triple(kPoints[i]) + " " + fractions_of(i) + "\n"; }),
       kFloatColours},
      {"g.pts", "3\n" + text_lines([](int i) { return triple(kPoints[i]) + " 0.5\n"; }), kPlain},
      {"h.pts", "3\r\n" + text_lines([](int i) { return triple(kPoints[i]) + " -7 " + bytes_of(i) + "\r\n"; }),
       kByteColours},
  };
  for (const auto& c : cases) {
    // From a stream of unknown length and from a file.
    for (bool sized : {false, true}) {
      CapturedText quiet;
      std::unique_ptr<TriMesh> m = sized ? ply_test::read_bytes(c.name, c.bytes)
                                         : ply_test::read_memory(c.bytes, c.name);
      ASSERT_TRUE(m) << c.name << quiet.errors();
      EXPECT_EQ(m->vertices, (std::vector<point>{kPoints[0], kPoints[2]})) << c.name;
      EXPECT_TRUE(m->faces.empty() && m->grid.empty()) << c.name;
      std::vector<Color> colours;
      if (c.has & kByteColours)
        for (int i : {0, 2}) colours.push_back(Color::from_bytes(kRgb[i][0], kRgb[i][1], kRgb[i][2]));
      if (c.has & kFloatColours)
        for (int i : {0, 2}) colours.emplace_back(kRgb[i][0] / 255.0f, kRgb[i][1] / 255.0f, kRgb[i][2] / 255.0f);
      EXPECT_EQ(m->colors, colours) << c.name;
      const std::vector<point> normals = {kNormals[0], kNormals[2]};
      EXPECT_EQ(m->normals, (c.has & kFileNormals) ? normals : std::vector<point>()) << c.name;
    }
  }
}

TEST(PointCloudFiles, PixelsOfADepthImageBecomeTrianglesFacingTheCamera) {
  // A 2 x 2 image of a wall one unit ahead (image rows run down +y), with
  // its bottom-right pixel missing: one triangle of the other three.
  Bytes b;
  b.text(pcd_header("binary", 2, 2));
  for (int row = 0; row < 2; row++)
    for (int col = 0; col < 2; col++) {
      const float x = col - 0.5f, y = row - 0.5f;
      b.xyz(row && col ? kNaN : x, y, 1).xyz(0, 0, -1).i32(0);
    }
  CapturedText quiet;
  std::unique_ptr<TriMesh> m = ply_test::read_memory(b.str(), "wall.pcd");
  ASSERT_TRUE(m) << quiet.errors();
  ASSERT_EQ(m->vertices.size(), 3u);
  ASSERT_EQ(m->faces.size(), 1u);
  EXPECT_LT(m->trinorm(0).z, 0.0f) << "the triangle faces away from the camera";
}

TEST(PointCloudFiles, BadFilesAreRefusedWithAReason) {
  const std::string raw = pcd_records(true);
  const std::string block = lzf_literals(raw);
  const std::string good_header = pcd_header("binary");
  auto header_with = [&](const std::string& from, const std::string& to) {
    std::string h = good_header;
    h.replace(h.find(from), from.size(), to);
    return h;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      // Sizes against the data.
      {"truncated.pcd", good_header + pcd_records(false).substr(1), "need 84 bytes, the file holds 83"},
      {"few.pcd", header_with("DATA binary", "DATA ascii") + "1 2 3 0 0 1 5\n", "the data holds 1"},
      {"many.pcd", header_with("DATA binary", "DATA ascii") + text_lines([](int) { return "1 1 1 1 1 1 1\n"; }) + "1 1 1 1 1 1 1\n",
       "the data holds more"},
      {"layout.pcd", header_with("WIDTH 3", "WIDTH 2"), "is not WIDTH x HEIGHT"},
      {"packed.pcd", pcd_compressed(block, uint32_t(raw.size())).substr(0, pcd_compressed(block, 0).size() - 1),
       "beyond the file"},
      {"unpacked.pcd", pcd_compressed(block, uint32_t(raw.size()) + 1), "not POINTS x record"},
      {"stream.pcd", pcd_compressed(block.substr(0, block.size() - 1), uint32_t(raw.size())), "does not decode"},
      {"nosizes.pcd", pcd_header("binary_compressed") + "\x10", "sizes are missing"},
      // Oversized and inconsistent header values.
      {"huge.pcd", header_with("WIDTH 3", "WIDTH 4294967296"), "WIDTH is not a whole number below 2^31"},
      {"count.pcd", header_with("COUNT 1 1", "COUNT 70000 1"), "COUNT of field x is not 1 .. 65536"},
      {"record.pcd", header_with("COUNT 1 1 1 1 1 1 1", "COUNT 1 1 1 1 1 1 65536"), "larger than 65536"},
      {"line.pcd", "# " + std::string(5000, 'x') + "\n" + good_header, "line 1 is longer than 4096"},
      {"sizes.pcd", header_with("SIZE 4 4 4 4 4 4 4", "SIZE 4 4 4"), "SIZE gives 3 values for 7 fields"},
      {"float.pcd", header_with("SIZE 4", "SIZE 2"), "field x is a float of 2 bytes"},
      {"noz.pcd", header_with(" z ", " w "), "FIELDS has no z"},
      {"twice.pcd", header_with("HEIGHT 1", "HEIGHT 1\nHEIGHT 1"), "repeated header line HEIGHT"},
      {"nodata.pcd", header_with("DATA binary\n", ""), "ends before its DATA line"},
      {"kind.pcd", header_with("DATA binary", "DATA packed"), "DATA packed is not"},
      {"normal.pcd", header_with("normal_y", "normal_w"), "some normal components but not all three"},
      {"colour.pcd", header_with("SIZE 4 4 4 4 4 4 4", "SIZE 4 4 4 4 4 4 2"), "field rgb is not one 4-byte value"},
      // Text: field counts, numbers and colours.
      {"fields.xyz", "1 2 3\n4 5 6 7\n", "line 2: expected 3 numbers, found 4"},
      {"word.xyzn", "1 2 3 0 0 1\n1 2 3 0 0 x\n", "line 2: expected 6 numbers"},
      {"bright.xyzrgb", "1 2 3 0 0.5 1.5\n", "a colour is outside 0 .. 1"},
      {"mixed.pts", "2\n1 2 3 4\n1 2 3\n", "line 3: expected 4 numbers"},
      {"five.pts", "1\n1 2 3 4 5\n", "expected 3, 4, 6 or 7 numbers"},
      {"byte.pts", "1\n1 2 3 0 256 0 0\n", "not a whole number 0 .. 255"},
      {"more.pts", "5\n1 2 3\n4 5 6\n", "the count declares 5 points, the file holds 2"},
      {"fewer.pts", "1\n1 2 3\n4 5 6\n", "more points than its count 1"},
      {"nocount.pts", "1 2 3\n", "not a point count"},
      {"gap.pts", "2\n1 2 3\n\n4 5 6\n", "line 4: points follow a blank line"},
      {"empty.xyz", "\n\n", "holds no points"},
      {"long.xyz", "1 2 3" + std::string(5000, ' ') + "\n", "longer than 4096"},
  };
  for (const auto& c : cases) {
    CapturedText text;
    EXPECT_FALSE(ply_test::read_memory(c.bytes, c.name)) << c.name;
    EXPECT_TRUE(text.has("Bad point-cloud file: ") && text.has(c.reason)) << c.name << ": " << text.errors();
  }
}

TEST(PointCloudFiles, CompressedBlocksDecodeOnlyInsideBothBuffers) {
  const struct {
    std::string block;
    size_t size;
    bool ok;
  } cases[] = {
      {std::string("\x01" "ab" "\x20\x01", 5), 5, true},  // "ab", then 3 bytes from 2 back
      {std::string("\x01" "ab" "\x20\x01", 5), 4, false},  // the copy runs past the output
      {std::string("\x01" "ab" "\x20\x01", 5), 6, false},  // decodes short
      {std::string("\x01" "ab" "\xe0\x01\x01", 6), 12, true},  // long copy: 7 + 1 + 2 bytes
      {std::string("\x01" "ab" "\xe0", 4), 12, false},  // its length byte is missing
      {std::string("\x01" "ab" "\x20", 4), 5, false},   // its offset byte is missing
      {std::string("\x01" "ab" "\x20\x02", 5), 5, false},  // reaches before the output
      {std::string("\x05" "ab", 3), 6, false},             // the run is longer than the input
      {std::string(), 0, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lzf_block_decodes_to(reinterpret_cast<const uint8_t*>(c.block.data()), c.block.size(), c.size), c.ok)
        << testing::PrintToString(c.block) << " to " << c.size;
}
