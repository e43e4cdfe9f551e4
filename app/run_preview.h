// The cheap picture of the 3-D view while a run goes on. Drawing a scan of a
// million vertices as lit triangles takes seconds under a software renderer,
// and the run waits for every redraw; so while a single run or a trial batch
// is under way, a large scan is drawn as a fixed thinned subset of its
// vertices, as points with their normals, colours and the slot's current
// pose. The whole mesh comes back with the first redraw after the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AppState;
struct MeshSlot;

// At most this many vertices of a scan are drawn in its preview: about a
// tenth of a million-vertex scan, which a software renderer draws in tens of
// milliseconds.
constexpr size_t kPreviewPoints = 80000;

// The vertices a preview of `vertex_count` vertices draws: every vertex when
// there are at most `max_points`, else exactly `max_points` indices,
// ascending, one from each of `max_points` equal runs of the index range, at
// a position within its run that a fixed hash of the run's number chooses.
// A plain stride would draw the rows of a grid scan as stripes; the hashed
// positions keep the subset even without a pattern. The same arguments give
// the same indices on every call, so the preview does not flicker.
std::vector<int32_t> preview_indices(size_t vertex_count, size_t max_points);

// Whether the view draws `slot` as its preview now: a single run or a batch
// is under way and the slot's mesh has more than app.viewer.preview_above
// vertices. An empty slot is never a preview.
bool drawn_as_preview(const AppState& app, const MeshSlot& slot);
