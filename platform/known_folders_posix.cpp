// The user's folders on Linux, by the XDG user directories.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/known_folders.h"

namespace platform {

namespace {

// XDG_VIDEOS_DIR="$HOME/Videos" from the user's dirs file; empty when none.
std::string videos_from_dirs_file(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base = config != nullptr && config[0] == '/' ? config : home + "/.config";
  std::ifstream file(base + "/user-dirs.dirs");
  const std::string key = "XDG_VIDEOS_DIR=\"";
  for (std::string line; std::getline(file, line);) {
    if (!line.starts_with(key) || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    if (value.starts_with("/")) return value;
  }
  return {};
}

}  // namespace

// A job started without HOME (a bare environment) still finds the folder.
std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const struct passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string expand_variables(const std::string& text) { return text; }

std::string videos_folder() {
  const char* set = std::getenv("XDG_VIDEOS_DIR");
  if (set != nullptr && set[0] == '/') return set;
  std::string home = home_folder();
  if (home.empty()) return {};
  std::string listed = videos_from_dirs_file(home);
  return listed.empty() ? home + "/Videos" : listed;
}

}  // namespace platform
