// Colour in the prealignment's features: per thinned point, a histogram of
// the colours of its neighbourhood, appended to the point's shape features.
// Shape features alone cannot tell the turns of a symmetric shape apart (a
// torus, a sphere, a painted board); the paint around a point can. Plain
// code of ours, on any thread.
#pragma once

#include "registration/global_matching.h"

// Appends to each point's features `bins` values per colour channel
// (red, green, blue, each split evenly over 0..1; values outside are
// clamped): the share of the cloud's points within `radius` of the point
// (itself included) whose colour falls in each bin, times `scale`. With
// `scale` = 100 each channel weighs as much as one of FPFH's three
// 100-sum histograms. Nothing changes when the cloud has no colours.
void append_color_histograms(const MatchCloud& cloud, double radius, int bins, float scale,
                             MatchFeatures& features);
