// The one argument parser of icp_tool's commands: positional arguments,
// "--flag VALUE" options and "--switch" booleans. Every usage error is
// printed as "icp_tool COMMAND: why" followed by the command's usage text.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

// What a command accepts. An argument that starts with "--" is an option,
// anything else is positional; a command without options takes every
// argument as positional (a file may be named "--x").
struct CommandSyntax {
  const char* command;                 // e.g. "trials", used in messages
  const char* usage;                   // printed after every usage error
  std::vector<std::string> valued;     // options that take the next argument
  std::vector<std::string> switches;   // options that stand alone
  int min_positional = 0;
  int max_positional = 0;
};

struct ParsedArgs {
  std::vector<std::string> positional;
  // Every valued option in the order given; a repeated option appears again.
  std::vector<std::pair<std::string, std::string>> values;
  std::set<std::string> switches;

  bool has(const std::string& flag) const { return value(flag) || switches.count(flag); }
  // The option's last value, or null when it was not given.
  const char* value(const std::string& flag) const;
};

// Fills `out` from argv; false (with the message and usage printed on
// stderr) for an unknown option, an option missing its value, or too few or
// too many positional arguments. An argument "--help" or "-h" anywhere
// prints the usage on standard output and ends the process with status 0
// before anything else is read (a file of that name can be given as
// ./--help).
bool parse_args(int argc, char** argv, const CommandSyntax& syntax, ParsedArgs& out);

// Prints "icp_tool COMMAND: why" and the usage text; always returns 2, the
// exit status of a usage error.
int usage_error(const CommandSyntax& syntax, const std::string& why);

// A whole decimal number in [low, high]; false for anything else.
bool parse_whole(const char* text, long low, long high, long& value);
// A finite decimal number; false for anything else.
bool parse_finite(const char* text, float& value);
