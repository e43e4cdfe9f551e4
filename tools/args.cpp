#include "tools/args.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool listed(const std::vector<std::string>& names, const char* arg) {
  return std::find(names.begin(), names.end(), arg) != names.end();
}

}  // namespace

const char* ParsedArgs::value(const std::string& flag) const {
  for (auto it = values.rbegin(); it != values.rend(); ++it)
    if (it->first == flag) return it->second.c_str();
  return nullptr;
}

int usage_error(const CommandSyntax& syntax, const std::string& why) {
  std::fprintf(stderr, "icp_tool %s: %s\n%s", syntax.command, why.c_str(), syntax.usage);
  return 2;
}

bool parse_args(int argc, char** argv, const CommandSyntax& syntax, ParsedArgs& out) {
  for (int i = 0; i < argc; i++)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(syntax.usage, stdout);
      std::fflush(stdout);
      std::exit(0);
    }
  const bool has_options = !syntax.valued.empty() || !syntax.switches.empty();
  for (int i = 0; i < argc; i++) {
    const char* arg = argv[i];
    if (has_options && arg[0] == '-' && arg[1] == '-') {
      if (listed(syntax.switches, arg)) {
        out.switches.insert(arg);
      } else if (!listed(syntax.valued, arg)) {
        usage_error(syntax, std::string("unknown option '") + arg + "'");
        return false;
      } else if (i + 1 >= argc) {
        usage_error(syntax, std::string(arg) + " needs a value");
        return false;
      } else {
        out.values.emplace_back(arg, argv[++i]);
      }
    } else if (static_cast<int>(out.positional.size()) < syntax.max_positional) {
      out.positional.push_back(arg);
    } else {
      usage_error(syntax, "too many arguments");
      return false;
    }
  }
  if (static_cast<int>(out.positional.size()) < syntax.min_positional) {
    usage_error(syntax, "too few arguments");
    return false;
  }
  return true;
}

bool parse_whole(const char* text, long low, long high, long& value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  value = v;
  return true;
}

bool parse_finite(const char* text, float& value) {
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}
