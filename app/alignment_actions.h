// The "ICP" group's actions: the align buttons, the radio group that shows
// mesh 2 at its start pose or at one of the two results, saving the result
// set ("Grabar") and the trial batch ("Aleatorio"). Controls are reached
// through app.controls (null handles are skipped), dialogs through
// app.platform().
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/trial_batch.h"

// "ICP" (IcpMode::geometric) and "ICP_Color" (IcpMode::color); the buttons'
// ids are these values, and any other value only clears "Mover malla2" and
// syncs the panel. Always clears "Mover malla2" first.
// A colour run first marks ridge/valley vertices and refreshes significant
// colours of both slots. A stored trial's errors leave the captions. On
// success: the result pose is stored, its radio button enabled, "Grabar"
// enabled once both variants have succeeded since the last load or reset
// (forget_runs), or the geometric one alone when either mesh has no
// colours, shown_pose set to
// the variant (1 or 2), and "ICP succeeded - distance = %f\n" printed on standard error; on
// failure "ICP failed\n" and nothing else changes (the variant's record is
// put back). The run goes step by step: the panel is locked but for
// "Cancelar", the status area shows its steps, and app.viewer.pump_events
// lets the window draw and take a cancel (cancel_action) between steps; a
// cancelled run is a failed one that prints "ICP cancelled\n" instead. The
// panel is synced last.
void align_action(AppState& app, IcpMode variant);

// After a load or a reset: neither variant counts as run, "Grabar" is
// disabled until both run again.
void forget_runs(AppState& app);

// "Prealinear": clears "Mover malla2", then places mesh 2 on mesh 1 by the
// global prealignment and prints its one report line (what was kept and
// why, or why it refused) on standard error. A verified pose moves mesh 2 as
// a manual move would: the stored poses, the radio group and "Reset" are
// untouched, and "Deshacer" becomes usable. A refusal leaves mesh 2 and
// "Deshacer" as they were. Either way app.prealign records the outcome and
// the panel below "Prealinear" shows it, Windows-1252:
// "Verificado: ajuste 0.912, residuo 0.76" or "Rechazado: ajuste 0.159,
// residuo 2.47" (fitness, residual in point spacings); the status area's
// outcome is the same text after "Prealinear: ". The panel is synced last.
void prealign_action(AppState& app);

// "Deshacer": mesh 2 goes back to its pose before the last prealignment that
// moved it, "Deshacer" is disabled and the outcome is "Prealinear deshecho";
// nothing when there is none (also after mesh 2 is loaded again).
void undo_prealign_action(AppState& app);

// The radio group "INICIAL"/"ICP"/"ICP_COLOR": mesh 2 is put at the pose the
// group shows (other values do nothing).
void pose_shown_action(AppState& app);

// "Grabar": asks for a file name (".vkl" filter; a new name may be typed) and
// writes the five result files at the chosen path without its extension;
// a colour variant not run since the last load or reset is saved as not run.
// "Grabar" is disabled after a complete save and after a cancelled dialog;
// it stays enabled when the summary cannot be created.
void save_results(AppState& app);

// "Aleatorio": needs both meshes with colours ("Imposible realizar ensayo\n"
// on standard output otherwise). Asks for the log name, then starts a batch
// of kTrialCount trials seeded with the calendar time that runs one ICP run
// per advance_trial_batch() call, so the window draws in between. While it
// runs every control but "Cancelar" is disabled and "Cancelar" is shown.
// False when no batch started (also while one is running).
bool start_trial_batch(AppState& app);
// Runs the next ICP run of the running batch, or ends it when it is complete
// or cancelled: the log gets its count lines over the finished trials, a
// cancelled batch prints "Ensayo cancelado: n de N ensayos terminados\n" on
// standard output, RUN_basin.svg is written beside the log, app.last_batch
// takes the results, and the panel is as before the batch. True while the
// batch still runs afterwards.
bool advance_trial_batch(AppState& app);
// "Cancelar" (and Esc): a batch stops at the next advance_trial_batch()
// call, so the run under way finishes first; a single run stops at its next
// step and counts as failed.
void cancel_action(AppState& app);
// The window is closing: a running batch ends as "Cancelar" ends it (the
// cancel line, the log's count lines, the basin picture and research files
// over the finished trials). A single run or a load under way handles the
// window's events inside itself, so it cannot go on once the window is gone:
// a run prints "ICP cancelled\n" and the process then ends at once with
// status 0, as closing the window ends it otherwise (nothing is being
// written during either).
void close_action(AppState& app);
// True while a batch started by start_trial_batch has not ended.
bool trial_batch_running(const AppState& app);
// The running batch's progress; false when none runs.
bool trial_batch_progress(const AppState& app, BatchProgress& progress);

const int kTrialCount = 100;

// The preparation of a colour run shared by the button and the batch: feature
// marks and significant colours of both slots with the current "Umbral".
void prepare_for_color_run(AppState& app);
// The same preparation as a batch's hook, at the "Umbral" `options` holds
// when each colour run starts; `options` must outlive the hook.
std::function<void(Aligner&)> color_features_hook(const ViewOptions& options);
