#include "app/ScriptedPlatform.h"

#include <cstdio>
#include <fstream>

bool ScriptedPlatform::load_answers_file(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "Cannot read the answers file %s\n", file_name.c_str());
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) answers.push_back(line);
  }
  return true;
}

std::string ScriptedPlatform::next_answer(const std::string& when_empty) {
  if (answers.empty()) return when_empty;
  std::string a = answers.front();
  answers.pop_front();
  return a;
}

void ScriptedPlatform::record(PlatformCall call) {
  if (echo) {
    std::printf("PLATFORM %s title=\"%s\" text=\"%s\" answer=\"%s\"\n", call.kind.c_str(),
                call.title.c_str(), call.text.c_str(), call.answer.c_str());
    std::fflush(stdout);
  }
  calls.push_back(std::move(call));
}

bool ScriptedPlatform::file_dialog(const char* kind, const std::string& title,
                                   const std::vector<FileFilter>& filters, std::string* path) {
  PlatformCall call;
  call.kind = kind;
  call.title = title;
  call.filters = filters;
  if (!filters.empty()) call.text = filters.front().description;
  call.answer = next_answer("cancel");
  bool chosen = call.answer != "cancel";
  if (chosen) *path = call.answer;
  record(std::move(call));
  return chosen;
}

bool ScriptedPlatform::open_file(const std::string& title, const std::vector<FileFilter>& filters,
                                 std::string* path) {
  return file_dialog("open_file", title, filters, path);
}

bool ScriptedPlatform::save_file(const std::string& title, const std::vector<FileFilter>& filters,
                                 std::string* path) {
  return file_dialog("save_file", title, filters, path);
}

bool ScriptedPlatform::ask_yes_no(const std::string& title, const QuestionText& text) {
  PlatformCall call;
  call.kind = "ask_yes_no";
  call.title = title;
  call.text = text.joined();
  call.answer = next_answer("no");
  bool yes = call.answer == "yes";
  record(std::move(call));
  return yes;
}
