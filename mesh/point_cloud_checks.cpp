// The checks of mesh/point_cloud_checks.h: a line cursor over the bytes,
// whole-token numbers, the PCD header and its three bodies, and the text
// formats.
#include "mesh/point_cloud_checks.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "geometry/file_paths.h"

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxFields = 64;
constexpr uint64_t kMaxCount = 65536;
constexpr uint64_t kMaxRecord = 65536;
constexpr uint64_t kMaxPoints = 0x7fffffff;

using Tokens = std::vector<std::string_view>;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The file's lines one at a time, each without its "\n" and at most kMaxLine bytes.
class Lines {
 public:
  Lines(const char* data, size_t size) : p_(data), end_(data + size) {}

  // The next line's tokens; false at the end of the bytes or on a line too
  // long (then `why` says so).
  bool next(Tokens& tokens, std::string& why) {
    tokens.clear();
    if (p_ == end_) return false;
    const char* stop = static_cast<const char*>(std::memchr(p_, '\n', size_t(end_ - p_)));
    const char* line_end = stop ? stop : end_;
    number_++;
    if (size_t(line_end - p_) > kMaxLine) {
      why = "line " + std::to_string(number_) + " is longer than " + std::to_string(kMaxLine) +
            " bytes";
      p_ = end_;
      return false;
    }
    for (const char* s = p_; s < line_end;) {
      while (s < line_end && is_blank(*s)) s++;
      const char* t = s;
      while (t < line_end && !is_blank(*t)) t++;
      if (t > s) tokens.emplace_back(s, size_t(t - s));
      s = t;
    }
    p_ = stop ? stop + 1 : end_;
    return true;
  }
  // The next non-blank line's tokens (as next).
  bool next_filled(Tokens& tokens, std::string& why) {
    while (next(tokens, why))
      if (!tokens.empty()) return true;
    return false;
  }
  size_t number() const { return number_; }
  size_t offset(const char* data) const { return size_t(p_ - data); }

 private:
  const char* p_;
  const char* end_;
  size_t number_ = 0;
};

// A whole token as strtod reads it.
bool parse_number(std::string_view token, double& value) {
  char buf[kMaxLine + 1];
  std::memcpy(buf, token.data(), token.size());
  buf[token.size()] = '\0';
  char* end = nullptr;
  value = std::strtod(buf, &end);
  return !token.empty() && end == buf + token.size();
}

// Decimal digits only, at most `max`.
bool parse_count(std::string_view token, uint64_t max, uint64_t& value) {
  if (token.empty() || token.size() > 19) return false;
  value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint64_t(c - '0');
  }
  return value <= max;
}

std::string at_line(const Lines& lines) { return "line " + std::to_string(lines.number()) + ": "; }

// ---- PCD --------------------------------------------------------------

struct PcdField {
  std::string_view name;
  uint64_t size = 0, count = 1;
  char type = 0;
};

struct PcdHeader {
  std::vector<PcdField> fields;
  uint64_t width = 0, height = 0, points = 0;
  std::string_view data;
  size_t body = 0;  // offset of the first byte after the DATA line
  uint64_t values = 0, record = 0;  // values and bytes per point
};

// One of FIELDS' per-field lines (SIZE, TYPE, COUNT) into `fields`.
bool read_field_values(const Tokens& t, std::vector<PcdField>& fields, std::string& why) {
  if (t.size() - 1 != fields.size()) {
    why = std::string(t[0]) + " gives " + std::to_string(t.size() - 1) + " values for " +
          std::to_string(fields.size()) + " fields";
    return false;
  }
  for (size_t i = 0; i < fields.size(); i++) {
    const std::string_view v = t[i + 1];
    PcdField& f = fields[i];
    if (t[0] == "TYPE") {
      f.type = v.size() == 1 ? v[0] : 0;
      if (f.type != 'F' && f.type != 'I' && f.type != 'U') {
        why = "TYPE of field " + std::string(f.name) + " is not F, I or U";
        return false;
      }
    } else if (t[0] == "SIZE") {
      if (!parse_count(v, 8, f.size) || (f.size != 1 && f.size != 2 && f.size != 4 && f.size != 8)) {
        why = "SIZE of field " + std::string(f.name) + " is not 1, 2, 4 or 8";
        return false;
      }
    } else if (!parse_count(v, kMaxCount, f.count) || f.count == 0) {
      why = "COUNT of field " + std::string(f.name) + " is not 1 .. " + std::to_string(kMaxCount);
      return false;
    }
  }
  return true;
}

// Reads the header lines up to and including DATA, each keyword once.
bool read_pcd_lines(const char* data, size_t size, PcdHeader& h, std::string& why) {
  const char* const kKeys[] = {"VERSION", "FIELDS", "SIZE", "TYPE", "COUNT",
                               "WIDTH", "HEIGHT", "VIEWPOINT", "POINTS", "DATA"};
  bool seen[10] = {};
  Lines lines(data, size);
  Tokens t;
  while (h.data.empty()) {
    if (!lines.next_filled(t, why)) {
      if (why.empty()) why = "the header ends before its DATA line";
      return false;
    }
    if (t[0][0] == '#') continue;
    int key = 0;
    while (key < 10 && t[0] != kKeys[key]) key++;
    if (key == 10 || seen[key]) {
      why = at_line(lines) + (key == 10 ? "unknown" : "repeated") + " header line " + std::string(t[0]);
      return false;
    }
    seen[key] = true;
    const std::string_view k = t[0];
    if ((k == "SIZE" || k == "TYPE" || k == "COUNT") && !seen[1]) {
      why = at_line(lines) + std::string(k) + " comes before FIELDS";
      return false;
    }
    if (k == "VERSION" || k == "DATA") {
      if (t.size() != 2) {
        why = at_line(lines) + std::string(k) + " takes one value";
        return false;
      }
      if (k == "DATA") h.data = t[1];
    } else if (k == "FIELDS") {
      if (t.size() < 2 || t.size() - 1 > kMaxFields) {
        why = "FIELDS names " + std::to_string(t.size() - 1) + " fields, not 1 .. " +
              std::to_string(kMaxFields);
        return false;
      }
      for (size_t i = 1; i < t.size(); i++) h.fields.push_back(PcdField{t[i]});
    } else if (k == "SIZE" || k == "TYPE" || k == "COUNT") {
      if (!read_field_values(t, h.fields, why)) return false;
    } else if (k == "VIEWPOINT") {
      double v;
      bool ok = t.size() == 8;
      for (size_t i = 1; ok && i < t.size(); i++) ok = parse_number(t[i], v) && std::isfinite(v);
      if (!ok) {
        why = "VIEWPOINT is not 7 finite numbers";
        return false;
      }
    } else {
      uint64_t& v = k == "WIDTH" ? h.width : k == "HEIGHT" ? h.height : h.points;
      if (t.size() != 2 || !parse_count(t[1], kMaxPoints, v)) {
        why = std::string(k) + " is not a whole number below 2^31";
        return false;
      }
    }
  }
  for (int key : {0, 1, 2, 3, 5, 6, 8})
    if (!seen[key]) {
      why = std::string("the header has no ") + kKeys[key] + " line";
      return false;
    }
  h.body = lines.offset(data);
  return true;
}

const PcdField* find_field(const PcdHeader& h, std::string_view name) {
  for (const PcdField& f : h.fields)
    if (f.name == name) return &f;
  return nullptr;
}

// The fields against each other and the points against the layout.
bool check_pcd_fields(PcdHeader& h, PointCloudShape& shape, std::string& why) {
  for (size_t i = 0; i < h.fields.size(); i++) {
    const PcdField& f = h.fields[i];
    if (f.type == 0 || f.size == 0) {
      why = "field " + std::string(f.name) + " has no SIZE or TYPE";
      return false;
    }
    if (f.type == 'F' && f.size != 4 && f.size != 8) {
      why = "field " + std::string(f.name) + " is a float of " + std::to_string(f.size) + " bytes";
      return false;
    }
    for (size_t j = 0; j < i; j++)
      if (h.fields[j].name == f.name) {
        why = "field " + std::string(f.name) + " is named twice";
        return false;
      }
    h.values += f.count;
    h.record += f.size * f.count;
  }
  if (h.record > kMaxRecord) {
    why = "a record of " + std::to_string(h.record) + " bytes is larger than " +
          std::to_string(kMaxRecord);
    return false;
  }
  const char* const kMeaning[] = {"x", "y", "z", "normal_x", "normal_y", "normal_z"};
  for (int i = 0; i < 6; i++) {
    const PcdField* f = find_field(h, kMeaning[i]);
    if (!f && i < 3) {
      why = std::string("FIELDS has no ") + kMeaning[i];
      return false;
    }
    if (f && (f->type != 'F' || f->count != 1)) {
      why = std::string("field ") + kMeaning[i] + " is not one float";
      return false;
    }
  }
  // The library takes normal_x alone as the sign of all three (and then
  // reads the other two through null field records).
  const int normals = !!find_field(h, "normal_x") + !!find_field(h, "normal_y") + !!find_field(h, "normal_z");
  if (normals % 3 != 0) {
    why = "FIELDS names some normal components but not all three";
    return false;
  }
  shape.normals = normals == 3;
  if (find_field(h, "rgb") && find_field(h, "rgba")) {
    why = "FIELDS names both rgb and rgba";
    return false;
  }
  for (const char* name : {"rgb", "rgba"}) {
    const PcdField* f = find_field(h, name);
    if (f && (f->size != 4 || f->count != 1)) {
      why = std::string("field ") + name + " is not one 4-byte value";
      return false;
    }
    shape.colors = shape.colors || f;
  }
  if (h.points == 0 || h.width * h.height != h.points) {
    why = "POINTS " + std::to_string(h.points) + " is not WIDTH x HEIGHT (" +
          std::to_string(h.width) + " x " + std::to_string(h.height) + ") or is 0";
    return false;
  }
  shape.points = uint32_t(h.points);
  shape.width = uint32_t(h.width);
  shape.height = uint32_t(h.height);
  return true;
}

bool check_pcd_ascii(const char* data, size_t size, const PcdHeader& h, std::string& why) {
  Lines lines(data + h.body, size - h.body);
  Tokens t;
  uint64_t records = 0;
  while (lines.next_filled(t, why)) {
    if (++records > h.points) break;
    double v;
    bool ok = t.size() == h.values;
    for (size_t i = 0; ok && i < t.size(); i++) ok = parse_number(t[i], v);
    if (!ok) {
      why = "record " + std::to_string(records) + " is not " + std::to_string(h.values) + " numbers";
      return false;
    }
  }
  if (!why.empty()) return false;
  if (records != h.points) {
    why = "POINTS declares " + std::to_string(h.points) + " records, the data holds " +
          (records > h.points ? "more" : std::to_string(records));
    return false;
  }
  return true;
}

uint32_t little_endian_u32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

bool check_pcd_body(const char* data, size_t size, const PcdHeader& h, std::string& why) {
  const uint64_t left = size - h.body;
  const uint64_t needed = h.points * h.record;
  if (h.data == "ascii") return check_pcd_ascii(data, size, h, why);
  if (h.data == "binary") {
    if (left < needed) {
      why = "POINTS " + std::to_string(h.points) + " of " + std::to_string(h.record) +
            " bytes need " + std::to_string(needed) + " bytes, the file holds " + std::to_string(left);
      return false;
    }
    return true;
  }
  if (h.data != "binary_compressed") {
    why = "DATA " + std::string(h.data) + " is not ascii, binary or binary_compressed";
    return false;
  }
  if (left < 8) {
    why = "the compressed block's sizes are missing";
    return false;
  }
  const uint32_t packed = little_endian_u32(data + h.body);
  const uint32_t unpacked = little_endian_u32(data + h.body + 4);
  if (packed == 0 || packed > left - 8) {
    why = "the compressed size " + std::to_string(packed) + " is 0 or beyond the file's " +
          std::to_string(left - 8) + " bytes";
    return false;
  }
  if (unpacked != needed) {
    why = "the uncompressed size " + std::to_string(unpacked) + " is not POINTS x record, " +
          std::to_string(needed);
    return false;
  }
  if (!lzf_block_decodes_to(reinterpret_cast<const uint8_t*>(data + h.body + 8), packed, unpacked)) {
    why = "the compressed block does not decode to " + std::to_string(unpacked) + " bytes";
    return false;
  }
  return true;
}

bool check_pcd(const char* data, size_t size, PointCloudShape& shape, std::string& why) {
  PcdHeader h;
  return read_pcd_lines(data, size, h, why) && check_pcd_fields(h, shape, why) &&
         check_pcd_body(data, size, h, why);
}

// ---- Text formats -----------------------------------------------------

// Colour columns [first, first + 3) of a text line: [0, 1] (`bytes` false) or 0 .. 255.
bool colours_in_range(const Tokens& t, size_t first, bool bytes) {
  for (size_t i = first; i < first + 3; i++) {
    uint64_t b;
    double v;
    if (bytes ? !parse_count(t[i], 255, b) : !(parse_number(t[i], v) && v >= 0.0 && v <= 1.0))
      return false;
  }
  return true;
}

bool check_text(const char* data, size_t size, PointCloudFormat format, PointCloudShape& shape,
                std::string& why) {
  Lines lines(data, size);
  Tokens t;
  uint64_t declared = kMaxPoints;
  const bool pts = format == PointCloudFormat::kPts;
  if (pts && (!lines.next(t, why) || t.size() != 1 ||
              !parse_count(t[0], kMaxPoints, declared) || declared == 0)) {
    if (why.empty()) why = "the first line is not a point count of 1 .. 2^31 - 1";
    return false;
  }
  size_t fields = format == PointCloudFormat::kXyz ? 3 : pts ? 0 : 6;
  uint64_t points = 0;
  bool gap = false;  // a blank line so far: the library stops a pts file's points there
  while (lines.next(t, why)) {
    if (t.empty()) {
      gap = true;
      continue;
    }
    if (pts && gap) {
      why = at_line(lines) + "points follow a blank line";
      return false;
    }
    if (++points > declared) {
      why = "the file holds more points than its count " + std::to_string(declared);
      return false;
    }
    if (fields == 0 && (t.size() == 3 || t.size() == 4 || t.size() == 6 || t.size() == 7))
      fields = t.size();
    double v;
    bool ok = t.size() == fields;
    for (size_t i = 0; ok && i < t.size(); i++) ok = parse_number(t[i], v);
    if (!ok) {
      why = at_line(lines) + "expected " + (fields ? std::to_string(fields) : "3, 4, 6 or 7") +
            " numbers, found " + std::to_string(t.size()) + " fields";
      return false;
    }
    const size_t colour = format == PointCloudFormat::kXyzrgb ? 3 : pts && fields >= 6 ? fields - 3 : 0;
    if (colour && !colours_in_range(t, colour, pts)) {
      why = at_line(lines) + (pts ? "a colour is not a whole number 0 .. 255" : "a colour is outside 0 .. 1");
      return false;
    }
  }
  if (!why.empty()) return false;
  if (points == 0 || (pts && points != declared)) {
    why = pts ? "the count declares " + std::to_string(declared) + " points, the file holds " +
                    std::to_string(points)
              : std::string("the file holds no points");
    return false;
  }
  shape.points = uint32_t(points);
  shape.width = shape.points;
  shape.height = 1;
  shape.colors = format == PointCloudFormat::kXyzrgb || fields >= 6;
  shape.normals = format == PointCloudFormat::kXyzn;
  return true;
}

}  // namespace

PointCloudFormat point_cloud_format(const std::string& filename) {
  if (has_extension(filename, "pcd")) return PointCloudFormat::kPcd;
  if (has_extension(filename, "xyz")) return PointCloudFormat::kXyz;
  if (has_extension(filename, "xyzn")) return PointCloudFormat::kXyzn;
  if (has_extension(filename, "xyzrgb")) return PointCloudFormat::kXyzrgb;
  if (has_extension(filename, "pts")) return PointCloudFormat::kPts;
  return PointCloudFormat::kNone;
}

bool check_point_cloud(const char* data, size_t size, PointCloudFormat format,
                       PointCloudShape& shape, std::string& why) {
  shape = PointCloudShape();
  why.clear();
  if (format == PointCloudFormat::kNone) {
    why = "not a point-cloud format";
    return false;
  }
  return format == PointCloudFormat::kPcd ? check_pcd(data, size, shape, why)
                                          : check_text(data, size, format, shape, why);
}

bool lzf_block_decodes_to(const uint8_t* in, size_t in_size, size_t out_size) {
  size_t ip = 0, op = 0;
  while (ip < in_size) {
    const unsigned ctrl = in[ip++];
    if (ctrl < 32) {  // a literal run of ctrl + 1 bytes
      const size_t run = ctrl + 1;
      if (run > in_size - ip || run > out_size - op) return false;
      ip += run;
      op += run;
      continue;
    }
    // A back-reference: length (ctrl >> 5) + 2, 7 meaning "plus the next
    // byte"; offset from the high bits of ctrl and the next byte, plus 1.
    size_t length = ctrl >> 5;
    if (length == 7) {
      if (ip >= in_size) return false;
      length += in[ip++];
    }
    if (ip >= in_size) return false;
    const size_t back = ((size_t(ctrl) & 0x1f) << 8) + in[ip++] + 1;
    if (back > op || length + 2 > out_size - op) return false;
    op += length + 2;
  }
  return op == out_size;
}
