// The desktop Platform: GTK 3 file choosers and message box, kept above the
// program's window. GTK is started
// on first use (without touching the process locale, so number formatting
// stays "C"); when it cannot start, dialogs count as cancelled and questions
// as answered No, with a line on standard error.
#pragma once

#include "app/Platform.h"

class DesktopPlatform : public Platform {
 public:
  bool open_file(const std::string& title, const std::vector<FileFilter>& filters,
                 std::string* path) override;
  bool save_file(const std::string& title, const std::vector<FileFilter>& filters,
                 std::string* path) override;
  bool ask_yes_no(const std::string& title, const QuestionText& text) override;
};
