// The five-file result set of an alignment, sharing one base path B:
//   B.vkl             trial summary (binary, LF): the two mesh paths and both final errors
//   B_PosInicial.xf   mesh 2's start pose        (pose-file format)
//   B_PosICP.xf       the geometric ICP's result (pose-file format)
//   B_PosICPcolor.xf  the colour ICP's result    (pose-file format)
//   B_error.xls       tab-separated per-step errors of both runs (binary, Windows-1252)
// and the reader of a summary. Every file is written to a temporary name beside
// it and renamed into place, so a failed or interrupted save never leaves a
// half-written file where a previous result was.
#pragma once

#include <string>

#include "app/AppState.h"
#include "geometry/file_paths.h"


// Writes the five files for base path B (no extension). Consumes the first
// entries of the aligner's two run-start lists when the table is written.
// On a file that cannot be created: perror("fopen") and
// "Error opening %s for writing.\n" on standard error, the rest of the set is
// not written, and the result is false (the pose files are not checked).
bool write_result_files(AppState& app, const std::string& base);

// The batch's writer: base = strip_extension(name) + "_" + trial.
bool write_results(AppState& app, std::string name, int trial);

// The summary's text and the error table's text, byte for byte.
std::string summary_text(const AppState& app);
std::string error_table_text(Aligner& aligner);

// Reads the two mesh paths of a summary (its third and fourth lines, taken
// whole so paths with blanks survive). False when the file cannot be opened,
// holds fewer than four words, or a path line is empty or too long.
bool read_trial_summary(const std::string& path, std::string& mesh1, std::string& mesh2);
