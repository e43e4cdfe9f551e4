#include "app/texts.h"

#include <cstdint>

const char* const kQuitTitle = "Salir";
const char* const kQuitQuestion =
    "\xBF" "Desea salir del programa? El alineamiento puede ser interrumpido";

namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals
// Latin-1, whose bytes are their own code points.
const uint16_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void append_utf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string cp1252_to_utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    uint32_t byte = static_cast<unsigned char>(ch);
    uint32_t cp = (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : byte;
    append_utf8(cp, &out);
  }
  return out;
}

std::string question_utf8(const QuestionText& text) {
  return cp1252_to_utf8(text.before) + text.path + cp1252_to_utf8(text.after);
}
