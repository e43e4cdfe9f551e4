#include "app/trial_outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "app/success_curve.h"
#include "geometry/file_paths.h"

bool replace_file(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(&temp[0]);
  bool ok = fd >= 0;
  if (ok) {
    // mkstemp makes the file private; it gets the permissions a new file of
    // this process would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      ok = n > 0;
      if (ok) done += size_t(n);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
      const int saved = errno;
      unlink(temp.c_str());
      errno = saved;
    }
  }
  if (!ok) std::fprintf(stderr, "Cannot write %s: %s.\n", path.c_str(), std::strerror(errno));
  return ok;
}

bool write_method_poses(const std::string& log_path, const TrialRow& row) {
  bool ok = true;
  const std::string base = strip_extension(log_path) + "_" + std::to_string(row.trial) + "_";
  for (const MethodRun& run : row.runs)
    if (run.method != "icp" && run.method != "icp_color")
      ok = replace_file(base + run.method + ".xf", pose_to_string(run.pose)) && ok;
  return ok;
}

bool write_batch_outputs(const std::string& base, const BatchDescription& batch,
                         const std::vector<TrialRow>& rows) {
  bool ok = replace_file(base + "_trials.csv", trial_table_csv(rows));
  ok = replace_file(base + "_summary.json", trial_summary_json(batch, rows)) && ok;
  ok = replace_file(base + "_success.svg", success_curve_svg(success_curve(rows))) && ok;
  return ok;
}
