// The point-cloud reader table of mesh/point_cloud_library.h on the
// library's file readers. The library reads files by name only, so the
// checked bytes go into an anonymous in-memory file of this process and the
// reader is given its name: it reads exactly the bytes that were checked,
// whatever happens to the original file meanwhile.
#include "mesh/point_cloud_library.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include <open3d/io/PointCloudIO.h>

#include "bridge/open3d/conversions.h"
#include "bridge/open3d/session.h"

namespace {

namespace o3g = open3d::geometry;
namespace o3i = open3d::io;

// An anonymous file holding a copy of some bytes, closed on destruction.
class MemoryFile {
 public:
  MemoryFile(const char* data, size_t size) : fd_(memfd_create("point-cloud", MFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("cannot make an in-memory copy of the file");
    for (size_t done = 0; done < size;) {
      const ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) throw std::runtime_error("cannot make an in-memory copy of the file");
      done += size_t(n);
    }
  }
  ~MemoryFile() { close(fd_); }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

bool read_as(PointCloudFormat format, const std::string& path, o3g::PointCloud& cloud) {
  o3i::ReadPointCloudOption option;
  option.remove_nan_points = false;  // the caller keeps the layout and drops them itself
  option.remove_infinite_points = false;
  option.print_progress = false;
  switch (format) {
    case PointCloudFormat::kPcd: return o3i::ReadPointCloudFromPCD(path, cloud, option);
    case PointCloudFormat::kXyz: return o3i::ReadPointCloudFromXYZ(path, cloud, option);
    case PointCloudFormat::kXyzn: return o3i::ReadPointCloudFromXYZN(path, cloud, option);
    case PointCloudFormat::kXyzrgb: return o3i::ReadPointCloudFromXYZRGB(path, cloud, option);
    case PointCloudFormat::kPts: return o3i::ReadPointCloudFromPTS(path, cloud, option);
    case PointCloudFormat::kNone: break;
  }
  return false;
}

point to_point(const Eigen::Vector3d& v) {
  return point(float(v.x()), float(v.y()), float(v.z()));
}

bool read(const char* data, size_t size, PointCloudFormat format, LibraryCloud& out,
          std::string& error) {
  Session session;
  return guarded(error, [&] {
    out = LibraryCloud();
    const MemoryFile file(data, size);
    o3g::PointCloud cloud;
    if (!read_as(format, file.path(), cloud))
      throw std::runtime_error("the point-cloud library could not read the file");
    for (const Eigen::Vector3d& p : cloud.points_) out.points.push_back(to_point(p));
    if (cloud.normals_.size() == cloud.points_.size())
      for (const Eigen::Vector3d& n : cloud.normals_) out.normals.push_back(to_point(n));
    if (cloud.colors_.size() == cloud.points_.size())
      for (const Eigen::Vector3d& c : cloud.colors_)
        out.colors.emplace_back(float(c.x()), float(c.y()), float(c.z()));
  });
}

const PointCloudLibrary kTable = {kPointCloudLibraryVersion, read};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PointCloudLibrary*
icp_open3d_point_cloud_reader() {
  return &kTable;
}
