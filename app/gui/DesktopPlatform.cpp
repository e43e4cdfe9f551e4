#include "app/gui/DesktopPlatform.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/gui/viewer_window.h"
#include "app/texts.h"

namespace {

bool gtk_ready() {
  static int state = 0;  // 0 not tried, 1 running, -1 failed
  if (state == 0) {
    gtk_disable_setlocale();
    state = gtk_init_check(nullptr, nullptr) ? 1 : -1;
    if (state < 0) std::fprintf(stderr, "The desktop dialogs are not available (GTK could not start)\n");
  }
  return state > 0;
}

// Lets GTK finish closing the dialog before the GLUT loop runs again.
void pump_gtk_events() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// Keeps a realized dialog above the program's window when both are on X11.
void keep_above_main_window(GtkWidget* dialog) {
#ifdef GDK_WINDOWING_X11
  GdkDisplay* display = gdk_display_get_default();
  unsigned long xid = main_x_window();
  if (!xid || !GDK_IS_X11_DISPLAY(display)) return;
  GdkWindow* owner = gdk_x11_window_foreign_new_for_display(display, xid);
  if (!owner) return;
  gtk_widget_realize(dialog);
  gdk_window_set_transient_for(gtk_widget_get_window(dialog), owner);
  g_object_unref(owner);
#else
  (void)dialog;
#endif
}

bool is_regular_file(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool run_file_chooser(bool save, const std::string& title, const std::vector<FileFilter>& filters,
                      std::string* path) {
  if (!gtk_ready()) return false;
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      cp1252_to_utf8(title).c_str(), nullptr,
      save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancelar",
      GTK_RESPONSE_CANCEL, save ? "_Guardar" : "_Abrir", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);
  // Start where the last dialog ended, at first in the working directory,
  // rather than in GTK's list of recent files.
  static std::string last_folder;
  if (last_folder.empty()) {
    gchar* cwd = g_get_current_dir();
    last_folder = cwd;
    g_free(cwd);
  }
  gtk_file_chooser_set_current_folder(chooser, last_folder.c_str());
  for (const FileFilter& f : filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, cp1252_to_utf8(f.description).c_str());
    if (f.pattern.empty()) gtk_file_filter_add_pattern(filter, "*");
    for (size_t from = 0; from < f.pattern.size();) {
      const size_t end = std::min(f.pattern.find(';', from), f.pattern.size());
      gtk_file_filter_add_pattern(filter, f.pattern.substr(from, end - from).c_str());
      from = end + 1;
    }
    gtk_file_chooser_add_filter(chooser, filter);  // the first one added is selected
  }
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  keep_above_main_window(dialog);

  bool chosen = false;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
      // An open dialog guarantees an existing file; check it anyway, since
      // a typed name can point at anything.
      if (save || is_regular_file(name)) {
        *path = name;
        chosen = true;
        gchar* folder = g_path_get_dirname(name);
        last_folder = folder;
        g_free(folder);
      }
      g_free(name);
    }
  }
  gtk_widget_destroy(dialog);
  pump_gtk_events();
  return chosen;
}

}  // namespace

bool DesktopPlatform::open_file(const std::string& title, const std::vector<FileFilter>& filters,
                                std::string* path) {
  return run_file_chooser(false, title, filters, path);
}

bool DesktopPlatform::save_file(const std::string& title, const std::vector<FileFilter>& filters,
                                std::string* path) {
  return run_file_chooser(true, title, filters, path);
}

bool DesktopPlatform::ask_yes_no(const std::string& title, const QuestionText& text) {
  if (!gtk_ready()) return false;
  // Built by hand rather than as a GTK message dialog, which no longer shows
  // an icon: information icon at the left, the text, "Sí" and "No".
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      cp1252_to_utf8(title).c_str(), nullptr, GTK_DIALOG_MODAL, "_S\xC3\xAD", GTK_RESPONSE_YES,
      "_No", GTK_RESPONSE_NO, nullptr);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  gtk_box_pack_start(GTK_BOX(row),
                     gtk_image_new_from_icon_name("dialog-information", GTK_ICON_SIZE_DIALOG),
                     FALSE, FALSE, 0);
  GtkWidget* label = gtk_label_new(question_utf8(text).c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE, 0);
  gtk_widget_show_all(row);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
  keep_above_main_window(dialog);
  bool yes = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_YES;
  gtk_widget_destroy(dialog);
  pump_gtk_events();
  return yes;
}
