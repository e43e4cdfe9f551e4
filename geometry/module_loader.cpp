#include "geometry/module_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace {

struct OpenedModule {
  void* handle = nullptr;  // null: the attempt failed
  std::string error;       // why, when it failed
};

// The folder of the running program, from /proc/self/exe; empty when unknown.
std::string program_folder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  std::string exe(path, size_t(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string module_path(const char* file_name, const char* env_override) {
  const char* chosen = env_override ? std::getenv(env_override) : nullptr;
  if (chosen) return chosen;
  return program_folder() + "/../lib/varkel_icp/" + file_name;
}

OpenedModule open_module(const char* file_name, const char* env_override) {
  OpenedModule opened;
  const std::string path = module_path(file_name, env_override);
  if (path.empty() || access(path.c_str(), F_OK) != 0) {
    opened.error = std::string("module ") + file_name + " not found (looked for " +
                   (path.empty() ? std::string("an empty path") : path) + ")";
    return opened;
  }
  // Local symbols: the module's libraries stay out of the program's namespace.
  opened.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!opened.handle) {
    const char* text = dlerror();
    opened.error = std::string("module ") + path + " cannot be loaded: " + (text ? text : "?");
  }
  return opened;
}

}  // namespace

void* module_symbol(const char* file_name, const char* env_override, const char* symbol,
                    std::string* why) {
  static std::mutex lock;
  static std::map<std::string, OpenedModule> opened;
  std::lock_guard<std::mutex> guard(lock);
  auto found = opened.find(file_name);
  if (found == opened.end())
    found = opened.emplace(file_name, open_module(file_name, env_override)).first;
  const OpenedModule& module = found->second;
  if (!module.handle) {
    if (why) *why = module.error;
    return nullptr;
  }
  void* address = dlsym(module.handle, symbol);
  if (!address && why) *why = std::string("module ") + file_name + " has no entry " + symbol;
  return address;
}
