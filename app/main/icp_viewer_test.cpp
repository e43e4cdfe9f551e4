// icp_viewer_test [--answers FILE] [--step-pause MS] [--preview-above N]
// [--no-run-redraw] [MESH1 [MESH2]]: the program for the end-to-end tests. Dialogs and
// questions are answered from FILE (one answer a line: a path or "cancel"
// for a file dialog, "yes" or "no" for a question; when the answers run out,
// dialogs cancel and questions get No), each question is printed, every control's centre is printed once the
// panel is drawn, and every panel action is printed. --step-pause makes each
// step of a single ICP run wait MS milliseconds, so a test can cancel it.
// Each frame of the 3-D view is reported (a VIEW_FRAME line), and
// --preview-above draws scans of more than N vertices as their preview
// during a run (the program's own threshold is for scans far larger than a
// test's); --no-run-redraw keeps a single run from redrawing the window (its
// input is still taken), so a benchmark can time the run without redraws.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/AppState.h"
#include "app/ScriptedPlatform.h"
#include "app/gui/viewer_window.h"

int main(int argc, char** argv) {
  static ScriptedPlatform scripted;
  scripted.echo = true;
  static AppState app;
  std::vector<char*> args;
  args.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--answers") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "--answers needs a file name\n");
        return 1;
      }
      if (!scripted.load_answers_file(argv[++i])) return 1;
    } else if (std::strcmp(argv[i], "--step-pause") == 0) {
      const int ms = i + 1 < argc ? std::atoi(argv[++i]) : 0;
      if (ms <= 0 || ms > 1000) {
        std::fprintf(stderr, "--step-pause needs milliseconds from 1 to 1000\n");
        return 1;
      }
      app.viewer.step_pause_ms = ms;
    } else if (std::strcmp(argv[i], "--preview-above") == 0) {
      char* end = nullptr;
      const long n = i + 1 < argc ? std::strtol(argv[++i], &end, 10) : -1;
      if (n < 0 || !end || *end) {
        std::fprintf(stderr, "--preview-above needs a vertex count\n");
        return 1;
      }
      app.viewer.preview_above = size_t(n);
    } else if (std::strcmp(argv[i], "--no-run-redraw") == 0) {
      app.viewer.redraw_during_runs = false;
    } else {
      args.push_back(argv[i]);
    }
  }
  app.dialogs = &scripted;
  app.viewer.report_frames = true;
  ViewerOptions options;
  options.report_layout = true;
  options.echo_activations = true;
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  return run_viewer(app, count, args.data(), options);
}
