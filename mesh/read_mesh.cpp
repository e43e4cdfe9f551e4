// Opening a mesh file, recognising its format, and the checks every read
// ends with (index range remapping, index bounds, non-finite positions).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "geometry/file_paths.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

bool begins_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Returns bytes to the stream, last first. glibc keeps any number of
// pushed-back bytes in a growing backup buffer, which the ray dispatch
// (a "#" and a whole token) relies on.
bool push_back(std::FILE* f, const char* bytes, size_t n) {
  for (size_t i = n; i-- > 0;)
    if (std::ungetc(static_cast<unsigned char>(bytes[i]), f) == EOF) return false;
  return true;
}

// Recognises the format from the name or the first bytes and runs its reader.
bool read_by_format(TriMesh& mesh, std::FILE* f, const std::string& filename) {
  const PointCloudFormat cloud = point_cloud_format(filename);
  if (cloud != PointCloudFormat::kNone) return read_point_cloud(mesh, f, cloud);
  if (begins_with(filename, "stl:-") || has_extension(filename, "stl")) return read_stl(mesh, f);

  int c = std::getc(f);
  if (c == EOF) {
    error_printf("Can't read header.\n");
    return false;
  }
  char buf[1025];
  switch (c) {
    case 'p':
      if (!std::fgets(buf, 4, f)) {
        error_printf("Can't read header.\n");
        return false;
      }
      return std::strncmp(buf, "ly", 2) == 0 && read_ply_header_and_body(mesh, f);
    case 'M': {
      int next = std::getc(f);
      if (next != EOF) std::ungetc(next, f);
      std::ungetc(c, f);
      return next == 'M' && read_3ds(mesh, f);
    }
    case 'V':
      if (!std::fgets(buf, 5, f)) {
        error_printf("Can't read header.\n");
        return false;
      }
      return std::strncmp(buf, "IVID", 4) == 0 && read_vivid(mesh, f);
    case '#': {
      // A ray file may open with its camera, background or ambient record
      // (the ray writer does), not only with a material, vertex or shape.
      // Its records are whole tokens ("#camera"): a blank after the "#"
      // makes a comment, and the file is OBJ.
      const int next = std::getc(f);
      if (next != EOF) std::ungetc(next, f);
      if (next != EOF && !std::isspace(next) && std::fscanf(f, "%1024s", buf) == 1 &&
          (std::strncmp(buf, "material", 8) == 0 || std::strncmp(buf, "vertex", 6) == 0 ||
           std::strncmp(buf, "shape_", 6) == 0 || std::strncmp(buf, "camera", 6) == 0 ||
           std::strncmp(buf, "background", 10) == 0 || std::strncmp(buf, "ambient", 7) == 0)) {
        return push_back(f, buf, std::strlen(buf)) && push_back(f, "#", 1) && read_ray(mesh, f);
      }
      return read_obj(mesh, f);
    }
    case 'v': case 'u': case 'f': case 'g': case 's': case 'o':
      std::ungetc(c, f);
      return read_obj(mesh, f);
    case 'O':
      if (!std::fgets(buf, 3, f)) {
        error_printf("Can't read header.\n");
        return false;
      }
      return std::strncmp(buf, "FF", 2) == 0 && read_off(mesh, f);
    default:
      if (c >= '0' && c <= '9') {
        std::ungetc(c, f);
        return read_sm(mesh, f);
      }
      error_printf("Unknown file type.\n");
      return false;
  }
}

// A file whose face indices run from k to k + n - 1 instead of 0 to n - 1 is
// moved into place; any other range is left as it is.
void remap_index_range(TriMesh& mesh) {
  if (mesh.faces.empty()) return;
  int lo = mesh.faces[0][0], hi = lo;
  for (const Face& f : mesh.faces)
    for (int j = 0; j < 3; j++) {
      lo = std::min(lo, f[j]);
      hi = std::max(hi, f[j]);
    }
  const int64_t n = static_cast<int64_t>(mesh.vertices.size());
  if (lo == 0 && hi == n - 1) return;
  if (static_cast<int64_t>(hi) - lo != n - 1) return;
  progress_printf("Found indices ranging from %d through %d\n", lo, hi);
  progress_printf("Remapping to %d through %d\n", 0, static_cast<int>(n - 1));
  for (Face& f : mesh.faces)
    for (int j = 0; j < 3; j++) f[j] -= lo;
}

// Every face, strip and grid index names a vertex; prints the first that does not.
bool indices_in_range(const TriMesh& mesh) {
  const int n = static_cast<int>(mesh.vertices.size());
  for (size_t i = 0; i < mesh.faces.size(); i++)
    for (int j = 0; j < 3; j++)
      if (mesh.faces[i][j] < 0 || mesh.faces[i][j] >= n) {
        error_printf("Face %d uses vertex %d, outside 0 .. %d.\n", static_cast<int>(i),
                     mesh.faces[i][j], n - 1);
        return false;
      }
  // Length-prefixed strips: a length, then that many indices.
  const std::vector<int32_t>& s = mesh.tristrips;
  for (size_t i = 0; i < s.size();) {
    const int64_t len = s[i];
    if (len < 0 || static_cast<int64_t>(i) + 1 + len > static_cast<int64_t>(s.size())) {
      error_printf("Triangle strip at entry %d has a bad length %d.\n", static_cast<int>(i), s[i]);
      return false;
    }
    for (size_t k = i + 1; k <= i + static_cast<size_t>(len); k++)
      if (s[k] < 0 || s[k] >= n) {
        error_printf("Triangle strip entry %d uses vertex %d, outside 0 .. %d.\n",
                     static_cast<int>(k), s[k], n - 1);
        return false;
      }
    i += 1 + static_cast<size_t>(len);
  }
  for (size_t c = 0; c < mesh.grid.size(); c++)
    if (mesh.grid[c] < -1 || mesh.grid[c] >= n) {
      error_printf("Range grid cell %d holds vertex %d, outside 0 .. %d.\n", static_cast<int>(c),
                   mesh.grid[c], n - 1);
      return false;
    }
  return true;
}

template <typename T>
void compact(std::vector<T>& a, const std::vector<int>& new_index, size_t nv) {
  if (a.size() != nv) return;
  for (size_t i = 0; i < nv; i++)
    if (new_index[i] >= 0) a[static_cast<size_t>(new_index[i])] = a[i];
  size_t kept = 0;
  for (int v : new_index) kept += v >= 0;
  a.resize(kept);
}

// Vertices with a NaN or infinite coordinate (scanners' "no sample") are
// dropped together with the faces that use them; grid cells that named them
// become empty. Strips cannot lose a vertex without being rebuilt, so a strip
// that uses one fails the read.
bool drop_nonfinite_vertices(TriMesh& mesh) {
  const size_t nv = mesh.vertices.size();
  std::vector<int> new_index(nv);
  int kept = 0;
  for (size_t i = 0; i < nv; i++) {
    new_index[i] = is_finite(mesh.vertices[i]) ? kept++ : -1;
  }
  const int dropped = static_cast<int>(nv) - kept;
  if (dropped == 0) return true;

  std::vector<int32_t>& s = mesh.tristrips;
  for (size_t i = 0; i < s.size(); i += 1 + static_cast<size_t>(s[i]))
    for (size_t k = i + 1; k <= i + static_cast<size_t>(s[i]); k++) {
      if (new_index[static_cast<size_t>(s[k])] < 0) {
        error_printf("Triangle strips use vertex %d, whose position is not finite.\n", s[k]);
        return false;
      }
      s[k] = new_index[static_cast<size_t>(s[k])];
    }
  size_t out = 0;
  for (const Face& f : mesh.faces) {
    Face g(new_index[f[0]], new_index[f[1]], new_index[f[2]]);
    if (g[0] >= 0 && g[1] >= 0 && g[2] >= 0) mesh.faces[out++] = g;
  }
  mesh.faces.resize(out);
  for (int32_t& cell : mesh.grid)
    if (cell >= 0) cell = new_index[static_cast<size_t>(cell)];

  compact(mesh.vertices, new_index, nv);
  compact(mesh.normals, new_index, nv);
  compact(mesh.colors, new_index, nv);
  compact(mesh.confidences, new_index, nv);
  compact(mesh.flags, new_index, nv);
  progress_printf("Dropped %d vertices with non-finite coordinates.\n", dropped);
  return true;
}

}  // namespace

TriMesh* TriMesh::read_mesh(const std::string& filename) {
  TriMesh* mesh = new TriMesh;
  if (mesh->read_into(filename)) return mesh;
  delete mesh;
  return nullptr;
}

bool TriMesh::read_into(const std::string& filename) {
  if (filename.empty()) return false;

  // Open: "-" and "stl:-..." are standard input.
  std::FILE* f = nullptr;
  std::string name = filename;
  if (filename == "-" || begins_with(filename, "stl:-")) {
    f = stdin;
    name = "standard input";
  } else {
    f = std::fopen(filename.c_str(), "rb");
    // A folder opens for reading on some systems and then fails every read.
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::fclose(f);
      f = nullptr;
      errno = EISDIR;
    }
    if (!f) {
      error_printf("Error opening [%s] for reading: %s.\n", filename.c_str(), std::strerror(errno));
      return false;
    }
  }
  // The stream is closed afterwards, standard input included.
  bool ok = read_mesh_stream(*this, f, filename, name);
  std::fclose(f);
  return ok;
}

bool read_mesh_stream(TriMesh& mesh, std::FILE* f, const std::string& filename,
                      const std::string& message_name) {
  progress_printf("Reading %s... ", message_name.c_str());
  if (read_by_format(mesh, f, filename) && !mesh.vertices.empty()) {
    progress_printf("Done.\n");
    remap_index_range(mesh);
    if (indices_in_range(mesh) && drop_nonfinite_vertices(mesh) && !mesh.vertices.empty())
      return true;
  }
  error_printf("Error reading file [%s].\n", message_name.c_str());
  return false;
}
