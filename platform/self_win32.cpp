// The running program's place on Windows, read whole whatever its length.
#include <windows.h>

#include <vector>

#include "app/settings.h"
#include "platform/self.h"
#include "platform/wide.h"

namespace platform {

namespace {

// The longest path Windows has: a program in a deep folder still finds its
// settings file beside it.
constexpr DWORD k_path_size = 32768;

// Where the folder part of an ANSI path ends: after its last "\" that is
// not a double-byte character's second byte; 0 when it has none.
std::size_t folder_end(const std::string& path) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\') {
      cut = i + 1;
    }
  }
  return cut;
}

}  // namespace

const char k_separator[] = "\\";
const bool k_windows_paths = true;

std::string self_path() {
  std::vector<char> path(k_path_size);
  DWORD length = GetModuleFileNameA(nullptr, path.data(), k_path_size);
  return std::string(path.data(), length < k_path_size ? length : 0);
}

std::string self_folder() {
  std::string path = self_path();
  std::size_t cut = folder_end(path);
  return cut == 0 ? std::string() : path.substr(0, cut - 1);
}

std::string self_folder_utf8() {
  std::vector<wchar_t> path(k_path_size);
  DWORD length = GetModuleFileNameW(nullptr, path.data(), k_path_size);
  std::wstring module(path.data(), length < k_path_size ? length : 0);
  std::size_t slash = module.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::string() : narrow_text(module.substr(0, slash));
}

std::string settings_path() {
  std::string path = self_path();
  return path.substr(0, folder_end(path)) + k_settings_file_name;
}

}  // namespace platform
