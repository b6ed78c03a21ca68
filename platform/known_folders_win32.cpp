// The user's folders on Windows, from the shell's known folders.
#include <initguid.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/known_folders.h"
#include "platform/wide.h"

namespace platform {

namespace {

std::string known_folder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) {
    folder = narrow_text(std::wstring(path));
  }
  CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::string videos_folder() { return known_folder(FOLDERID_Videos); }

std::string home_folder() { return known_folder(FOLDERID_Profile); }

std::string expand_variables(const std::string& text) {
  std::wstring wide = wide_text(text);
  DWORD size = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::wstring expanded(size, L'\0');
  DWORD written = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), size);
  if (written == 0 || written > size) return text;
  expanded.resize(written - 1);  // without its terminating null
  return narrow_text(expanded);
}

}  // namespace platform
