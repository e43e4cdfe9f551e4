// The research options of `icp_tool trials`: the pose rule's thresholds
// (--rot-deg, --shift-frac), replayed and exported start poses (--starts,
// --export-starts), peer methods (--methods), and the outputs beside the log (table, summary, success
// curve). Kept apart from the batch command so its own options stay few.
#pragma once

#include <string>
#include <vector>

#include "app/trial_batch.h"
#include "app/trial_summary.h"
#include "geometry/PoseMatrix.h"
#include "tools/args.h"

// The valued options this file reads, for the command's syntax.
extern const std::vector<std::string> kResearchOptions;
// Their usage lines.
extern const char kResearchUsage[];

struct ResearchArgs {
  PoseRule rule;
  std::string starts_path;          // --starts: "" for random starts
  std::string export_path;          // --export-starts: "" for none
  std::vector<PoseMatrix> starts;   // read from starts_path
  std::vector<std::string> peers;   // --methods beyond icp and icp_color
};

// Reads the research options of `parsed`. With --starts the file is read
// (at most `max_count` matrices) and `count` becomes its number of matrices
// unless `count_given`; a --count above that number is refused. False after
// a usage error (printed) or an unreadable starts file (printed).
bool parse_research_args(const ParsedArgs& parsed, const CommandSyntax& syntax, long max_count,
                         bool count_given, long& count, ResearchArgs& args);

// Sets the pose rule, for replayed starts the start-pose hook, and for peer
// methods the hook that runs them on the loaded meshes. False, with a
// message on standard error, when the peers' module is not available.
bool add_research_hooks(Aligner& aligner, const ResearchArgs& args, TrialBatchHooks& hooks);

// Writes the table, summary and success curve beside the log (base B) and,
// with --export-starts, the starts of the finished trials. False when any
// file could not be written (each failure is reported on standard error).
bool write_research_outputs(const ResearchArgs& args, const std::string& base,
                            const BatchDescription& description, const TrialBatch& batch);
