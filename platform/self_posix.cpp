// The running program's place on POSIX, from /proc.
#include <unistd.h>

#include <climits>

#include "app/settings.h"
#include "platform/files.h"
#include "platform/self.h"

namespace platform {

const char k_separator[] = "/";
const bool k_windows_paths = false;

std::string self_path() {
  char path[PATH_MAX] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string self_folder() { return folder_of(self_path()); }

std::string self_folder_utf8() { return self_folder(); }

std::string settings_path() { return self_folder() + k_separator + k_settings_file_name; }

}  // namespace platform
