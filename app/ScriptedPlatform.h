// A Platform that answers from a prepared list instead of asking a person:
// for tests and the program's test build. Every call takes the next answer:
// for a file dialog, a path (or "cancel"); for a question, "yes" or "no".
// When the list is exhausted, dialogs are cancelled and questions get No.
// Every call is recorded, and echoed to standard output when `echo` is on,
// so a test can check what was asked.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/Platform.h"

struct PlatformCall {
  std::string kind;     // "open_file", "save_file" or "ask_yes_no"
  std::string title;    // the dialog's or question's title (Windows-1252)
  std::string text;     // ask_yes_no: message; file dialogs: first filter's description
  std::vector<FileFilter> filters;
  std::string answer;   // the answer given ("cancel", "yes", "no", or the path)
};

class ScriptedPlatform : public Platform {
 public:
  std::deque<std::string> answers;   // taken from the front
  std::vector<PlatformCall> calls;   // every call, in order
  bool echo = false;                 // print "PLATFORM <kind> ..." lines on stdout

  // Appends the non-empty lines of a text file to `answers` (a trailing "\r"
  // is dropped). Returns false, printing why on stderr, when it cannot be read.
  bool load_answers_file(const std::string& file_name);

  bool open_file(const std::string& title, const std::vector<FileFilter>& filters,
                 std::string* path) override;
  bool save_file(const std::string& title, const std::vector<FileFilter>& filters,
                 std::string* path) override;
  bool ask_yes_no(const std::string& title, const QuestionText& text) override;

 private:
  std::string next_answer(const std::string& when_empty);
  bool file_dialog(const char* kind, const std::string& title,
                   const std::vector<FileFilter>& filters, std::string* path);
  void record(PlatformCall call);
};
