#include "geometry/console.h"

namespace {

thread_local std::FILE* redirected = nullptr;  // null: standard error

}  // namespace

std::FILE* console_stream() { return redirected ? redirected : stderr; }

ConsoleRedirect::ConsoleRedirect(std::FILE* to) : previous_(redirected) { redirected = to; }

ConsoleRedirect::~ConsoleRedirect() { redirected = previous_; }
