#include "app/panel_status.h"

#include <gtest/gtest.h>

#include "support.h"

// The title and the status area name the loaded files by their names alone;
// below them, what runs now wins over the last outcome.
TEST(PanelStatus, NamesTheFilesThenBusyOrOutcome) {
  AppState app;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(window_title(app), "Varkel's ICP");
  EXPECT_EQ(status_lines(app), (Lines{"Malla 1: -", "Malla 2: -"}));

  put_mesh(app, 1, point(0, 0, 0), 1.0f);
  app.aligner->slots[1]->file_name = "scans/second.ply";
  EXPECT_EQ(window_title(app), "Varkel's ICP - second.ply");
  put_mesh(app, 0, point(0, 0, 0), 1.0f);
  app.aligner->slots[0]->file_name = "/d/first.ply";
  EXPECT_EQ(window_title(app), "Varkel's ICP - first.ply + second.ply");

  set_outcome(app, "ICP: error 0.000100");
  EXPECT_EQ(status_lines(app),
            (Lines{"Malla 1: first.ply", "Malla 2: second.ply", "ICP: error 0.000100"}));
  set_busy(app, "Cargando malla 1...");
  EXPECT_EQ(status_lines(app).back(), "Cargando malla 1...");
  set_busy(app, "");
  EXPECT_EQ(status_lines(app).back(), "ICP: error 0.000100");
}
