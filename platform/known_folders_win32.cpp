// The user's folders on Windows, from the shell's known folders.
#include <initguid.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/known_folders.h"
#include "platform/wide.h"

namespace platform {

std::string videos_folder() {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Videos, 0, nullptr, &path))) {
    folder = narrow_text(std::wstring(path));
  }
  CoTaskMemFree(path);
  return folder;
}

}  // namespace platform
