// The platform services the program needs besides its window: file dialogs
// and a Yes/No message box. The application context reaches one Platform
// (AppState::dialogs); the desktop program gives it the GTK one, tests a
// ScriptedPlatform that answers from a list.
//
// Every text handed to a Platform (titles, messages, filter descriptions) is
// Windows-1252, like all of the program's texts; an implementation that
// shows it in a widget converts it (cp1252_to_utf8). Paths are passed through
// unchanged, as the file system's bytes.
#pragma once

#include <string>
#include <vector>

// A question's text: the program's own words (Windows-1252) around an
// optional path, which keeps the file system's bytes, so only the words are
// converted for display (question_utf8).
struct QuestionText {
  std::string before;
  std::string path;
  std::string after;
  std::string joined() const { return before + path + after; }
};

// One entry of a file dialog's filter list: "Archivos PLY (*.ply)" / "*.ply".
// Several patterns are separated by ";" ("*.pcd;*.xyz"). An empty pattern
// lists every file under that description.
struct FileFilter {
  std::string description;
  std::string pattern;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Modal open-file dialog titled `title` (what the file is for), first
  // filter selected. Only an existing file can be chosen. Returns true and
  // stores its path in *path; returns false and leaves *path untouched when
  // the user cancels.
  virtual bool open_file(const std::string& title, const std::vector<FileFilter>& filters,
                         std::string* path) = 0;

  // Modal save-file dialog titled `title`, first filter selected. The user
  // may name a new file; an existing file is chosen without an overwrite
  // question. Returns true with the path in *path, false (path untouched)
  // when cancelled.
  virtual bool save_file(const std::string& title, const std::vector<FileFilter>& filters,
                         std::string* path) = 0;

  // Modal message box with Yes and No buttons, the information icon and No
  // as the default answer. Returns true only for Yes (closing it is No).
  virtual bool ask_yes_no(const std::string& title, const QuestionText& text) = 0;
};

// The platform of a context without dialogs: every file dialog is cancelled
// and every question answered No.
class NoDialogs : public Platform {
 public:
  bool open_file(const std::string&, const std::vector<FileFilter>&, std::string*) override {
    return false;
  }
  bool save_file(const std::string&, const std::vector<FileFilter>&, std::string*) override {
    return false;
  }
  bool ask_yes_no(const std::string&, const QuestionText&) override { return false; }
};

// The titles of the program's file dialogs (Windows-1252).
extern const char* const kOpenMeshTitle[2];  // "Abrir malla 1 (fija)", "Abrir malla 2 (móvil)"
extern const char* const kOpenTrialTitle;    // "Abrir ensayo guardado (.vkl)"
extern const char* const kSaveResultsTitle;  // "Grabar resultados (.vkl)"
extern const char* const kSaveBatchTitle;    // "Registro de los ensayos de Aleatorio (.txt)"

// The file-dialog filter lists the program uses.
std::vector<FileFilter> mesh_file_filters();    // PLY, WRML, OBJ, point clouds
std::vector<FileFilter> trial_file_filters();   // "Archivos vkl (*.vkl)"
