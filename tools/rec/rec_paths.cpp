#include "tools/rec/rec_paths.h"

namespace rec {

namespace {

bool separator(char c, bool windows) { return c == '/' || (windows && c == '\\'); }

// "%NAME%" left as written: a variable that is not set.
std::string unset_variable(const std::string& path) {
  for (std::size_t open = path.find('%'); open != std::string::npos;
       open = path.find('%', open + 1)) {
    std::size_t close = path.find('%', open + 1);
    if (close == std::string::npos) return {};
    std::string name = path.substr(open + 1, close - open - 1);
    if (!name.empty() && name.find_first_of("\\/") == std::string::npos) return "%" + name + "%";
  }
  return {};
}

bool windows_full(const std::string& path) {
  bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
               path[1] == ':' && separator(path[2], true);
  bool share = path.size() >= 3 && separator(path[0], true) && separator(path[1], true) &&
               !separator(path[2], true);
  return drive || share;
}

}  // namespace

std::string parse_file_mode(const std::string& text, file_mode& out) {
  if (text.empty() || text == "made") {
    out = file_mode::made;
  } else if (text == "fresh") {
    out = file_mode::fresh;
  } else {
    return "file=" + text + " is not made or fresh";
  }
  return {};
}

std::string full_folder(const std::string& setting, const std::string& home, bool windows,
                        std::string& out) {
  out.clear();
  if (windows) {
    std::string unset = unset_variable(setting);
    if (!unset.empty()) return "folder=" + setting + ": " + unset + " is not set";
    if (!windows_full(setting)) {
      return "folder=" + setting +
             " is not a full path (one from a drive, C:\\, or a share, \\\\server\\share; "
             "%USERPROFILE% and other variables are put in)";
    }
    out = setting;
    return {};
  }
  std::string path = setting;
  if (setting == "~" || setting.starts_with("~/")) {
    if (home.empty()) return "folder=" + setting + ": no home folder is known for ~";
    path = home + setting.substr(1);
  }
  if (!path.starts_with("/")) {
    return "folder=" + setting + " is not a full path (one from / or ~/)";
  }
  out = path;
  return {};
}

}  // namespace rec
