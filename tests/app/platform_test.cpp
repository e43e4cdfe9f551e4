// The scripted platform's answers, the clock rule and the text conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/Platform.h"
#include "app/ScriptedPlatform.h"
#include "app/texts.h"

namespace {

TEST(ScriptedPlatform, AnswersInOrderThenCancelsAndSaysNo) {
  ScriptedPlatform p;
  p.answers = {"/data/a.ply", "yes", "cancel", "maybe"};
  std::string path = "unchanged";
  EXPECT_TRUE(p.open_file(mesh_file_filters(), &path));
  EXPECT_EQ(path, "/data/a.ply");
  EXPECT_TRUE(p.ask_yes_no("t", {"q", "", ""}));
  EXPECT_FALSE(p.save_file(trial_file_filters(), &path));
  EXPECT_EQ(path, "/data/a.ply");  // a cancelled dialog leaves the path alone
  EXPECT_FALSE(p.ask_yes_no("t", {"q", "", ""}));  // anything but "yes" is No
  // Exhausted: dialogs cancel, questions get No.
  EXPECT_FALSE(p.open_file(mesh_file_filters(), &path));
  EXPECT_FALSE(p.ask_yes_no("t", {"q", "", ""}));
  ASSERT_EQ(p.calls.size(), 6u);
  EXPECT_EQ(p.calls[0].filters.size(), 3u);
  EXPECT_EQ(p.calls[0].text, "Archivos PLY (*.ply)");
  EXPECT_EQ(p.calls[2].kind, "save_file");
  EXPECT_EQ(p.calls[2].text, "Archivos vkl (*.vkl)");
}

TEST(ScriptedPlatform, ReadsAnswersFileSkippingBlankLinesAndCarriageReturns) {
  const char* dir = std::getenv("ICP_TEST_TMP");
  std::string file = std::string(dir ? dir : ".") + "/answers_test.txt";
  {
    std::ofstream out(file, std::ios::binary);
    out << "no\r\n\nyes\n/x y/z.ply";
  }
  ScriptedPlatform p;
  ASSERT_TRUE(p.load_answers_file(file));
  EXPECT_EQ(p.answers, (std::deque<std::string>{"no", "yes", "/x y/z.ply"}));
  std::remove(file.c_str());
  EXPECT_FALSE(p.load_answers_file(file));
}

TEST(Platform, DefaultPlatformCancelsAndElapsedTimeWithoutCounterIsOneSecond) {
  set_platform(nullptr);
  std::string path;
  EXPECT_FALSE(platform().open_file(mesh_file_filters(), &path));
  EXPECT_FALSE(platform().ask_yes_no("Salir", {"?", "", ""}));
  EXPECT_DOUBLE_EQ(elapsed_seconds(100, 350, 1000), 0.25);
  EXPECT_DOUBLE_EQ(elapsed_seconds(100, 350, 0), 1.0);
}

TEST(Texts, Cp1252BecomesUtf8) {
  EXPECT_EQ(cp1252_to_utf8("Geometria"), "Geometria");
  EXPECT_EQ(cp1252_to_utf8("\xBF" "Desea"), "\xC2\xBF" "Desea");  // U+00BF
  EXPECT_EQ(cp1252_to_utf8("Alineaci\xF3n"), "Alineaci\xC3\xB3n");  // U+00F3
  EXPECT_EQ(cp1252_to_utf8("\x80"), "\xE2\x82\xAC");                 // euro sign U+20AC
  EXPECT_EQ(cp1252_to_utf8("\x81"), "\xEF\xBF\xBD");                 // undefined: U+FFFD
  EXPECT_EQ(cp1252_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  // A question converts only its own words: an accented UTF-8 path stays.
  EXPECT_EQ(question_utf8({"fichero: ", "/d/canci\xC3\xB3n.ply", "\n\xBF" "Desea?"}),
            "fichero: /d/canci\xC3\xB3n.ply\n\xC2\xBF" "Desea?");
}

}  // namespace
