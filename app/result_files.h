// The five-file result set of an alignment, sharing one base path B:
//   B.vkl             trial summary (binary, LF): the two mesh paths and both final errors
//   B_PosInicial.xf   mesh 2's start pose        (pose-file format)
//   B_PosICP.xf       the geometric ICP's result (pose-file format)
//   B_PosICPcolor.xf  the colour ICP's result    (pose-file format)
//   B_error.xls       tab-separated per-step errors of both runs (binary, Windows-1252)
// and the reader of a summary. A set is replaced as a whole (geometry/file_set.h):
// all five files are written and synced under temporary names beside them and
// renamed into place, the summary last, only when all are written, so a failed
// save leaves the previous set as it was and a crash between the renames is
// completed from the set's journal by the next batch, save or load there.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "geometry/file_set.h"

#include "geometry/durable_write.h"
#include "registration/Aligner.h"
#include "geometry/file_paths.h"

struct ViewState;

// Writes the five files for base path B (no extension) from the aligner's
// meshes, errors and histories and the view state's three poses; true only
// when all five are written. Consumes the first entries of the aligner's two run-start
// lists, but only when the set is saved. A result file that is a symbolic
// link is written through it (in a folder others may write to, only a link
// of this user or of the folder's owner); an existing file keeps its
// permissions; an existing file in a folder that refuses new files is written
// in place, after a check that the disk has room for it.
// On a file that cannot be created: "fopen: REASON" and
// "Error opening %s for writing.\n" on standard error; on one that cannot be
// written, "Error writing %s: %s.\n" with the reason. Then no file of the
// set is replaced.
// When `color_ran` is false (scans without colours can be aligned only
// geometrically) the set says the colour variant was not run: its summary
// error line and its whole pose file hold kNotRunText, its table columns are
// empty.
bool write_result_files(Aligner& aligner, const ViewState& view, const std::string& base,
                        bool color_ran = true, const std::vector<FileContent>& extra = {});

// The batch's writer: base = strip_extension(name) + "_" + trial. `extra`
// files (the trial's other methods' poses) join the set, installed before
// the summary. True when the whole set was written.
bool write_results(Aligner& aligner, const ViewState& view, std::string name, int trial,
                   const std::vector<FileContent>& extra = {});

// The summary's text for a summary written at `summary_path` (its mesh paths
// relative to that file's folder, trial_paths.h) and the error table's text,
// byte for byte.
std::string summary_text(const Aligner& aligner, const std::string& summary_path,
                         bool color_ran = true);

// What a result set holds for a variant that was not run (Windows-1252).
extern const char* const kNotRunText;  // "sin ejecutar"

// Reads a result pose file: true with `ran` and `pose` set for a pose; true
// with `ran` false (pose untouched) for a file saying the variant was not
// run; false when the file is missing or holds neither.
bool read_result_pose(const std::string& path, PoseMatrix& pose, bool& ran);

// The texts of a summary's two error lines ("Error ICP:", "Error ICP
// Color:"), as written: a number or kNotRunText. False (texts empty) when
// the file cannot be read or lacks either line.
bool read_summary_errors(const std::string& path, std::string& icp, std::string& color);
std::string error_table_text(Aligner& aligner);

// Reads the two mesh paths of a summary, each resolved against the summary's
// folder first (resolve_stored_path): its third and fourth lines, blanks
// around them trimmed, when both name existing files (so paths with blanks
// survive); otherwise its third and fourth whitespace-separated words. False
// when the file cannot be opened, holds fewer than four words, or a path is
// longer than any this program writes.
bool read_trial_summary(const std::string& path, std::string& mesh1, std::string& mesh2);
