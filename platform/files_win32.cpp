// Files on Windows for the helper programs, through the wide functions.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/wide.h"

namespace platform {

namespace {

// Windows counts the longest path in UTF-16 units.
constexpr DWORD k_path_size = 32768;
// Windows' file name limit, in UTF-16 units.
constexpr std::size_t k_name_limit = 255;

bool write_whole(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

// A UTF-8 path has no "\\" inside a character: the last one is the cut.
std::string folder_of(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

long long file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(wide_text(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool make_folders(const std::string& path) {
  std::wstring folder = wide_text(path);
  // Each level in turn; a drive ("C:") or a server's share cannot be made
  // and need not be: only whether the whole exists at the end counts.
  for (std::size_t at = folder.find_first_of(L"\\/", 1); at != std::wstring::npos;
       at = folder.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool append_line(const std::string& path, const std::string& line) {
  // Appending is one write at the end even when two programs share the file.
  HANDLE file =
      CreateFileW(wide_text(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // UTF-8 with Windows' line end, which Notepad opens as it stands.
  bool done = write_whole(file, line + "\r\n");
  return CloseHandle(file) && done;
}

bool name_fits(const std::string& name) { return wide_text(name).size() <= k_name_limit; }

namespace {

bool exists_already(DWORD code, const std::wstring& path) {
  if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return true;
  // A folder at the name, or a file being deleted, answers "access denied".
  return code == ERROR_ACCESS_DENIED && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// CREATE_NEW fails on any entry at the name, a link too; the reparse-point
// flag opens a reparse point itself rather than what it names, and one is
// refused (a new file never is one).
new_entry create_new_file(const std::string& path, std::string& error) {
  std::wstring wide = wide_text(path);
  HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (exists_already(code, wide)) return new_entry::taken;
    error = error_text(code);
    return new_entry::failed;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  bool plain = GetFileInformationByHandle(file, &info) &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  if (CloseHandle(file) && plain) return new_entry::made;
  error = plain ? error_text(GetLastError()) : "it is a reparse point";
  return new_entry::failed;
}

new_entry move_to_new_name(const std::string& from, const std::string& to, std::string& error) {
  std::wstring target = wide_text(to);
  if (MoveFileExW(wide_text(from).c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return new_entry::made;
  }
  DWORD code = GetLastError();
  if (exists_already(code, target)) return new_entry::taken;
  error = error_text(code);
  return new_entry::failed;
}

// The folder inherits the access rules of the folder it is in, as any new
// folder there: Windows has no per-folder mode to set as POSIX's 0700.
std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string& error) {
  static const char k_digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  unsigned long long seed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                            GetTickCount64() ^ reinterpret_cast<std::uintptr_t>(&error);
  for (int tries = 0; tries < 100; ++tries) {
    std::string name = prefix;
    unsigned long long value = seed + static_cast<unsigned long long>(tries) * 7919;
    for (int i = 0; i < 8; ++i, value /= 36) name += k_digits[value % 36];
    std::string path = folder + "\\" + name;
    if (CreateDirectoryW(wide_text(path).c_str(), nullptr)) return path;
    DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
      error = error_text(code);
      return {};
    }
  }
  error = "no new name was free";
  return {};
}

// GetFileAttributesW does not follow a reparse point: a dangling link is
// seen as what it is.
bool name_taken(const std::string& path) {
  if (GetFileAttributesW(wide_text(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD code = GetLastError();
  return code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
}

bool remove_empty_file(const std::string& path) {
  std::wstring wide = wide_text(path);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  bool plain =
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  bool empty = data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
  return plain && empty && DeleteFileW(wide.c_str());
}

bool remove_empty_folder(const std::string& path) {
  return RemoveDirectoryW(wide_text(path).c_str()) != FALSE;
}

// Nothing to check on Windows: a folder's access rules are a list that a
// user's own folders (Videos, the profile) keep to that user, and creating a
// link there takes a right ordinary users lack. The exclusive create above
// still refuses any entry at the name.
std::string open_to_others(const std::string&) { return {}; }

std::string absolute_path(const std::string& path) {
  std::wstring relative = wide_text(path);
  std::wstring full(k_path_size, L'\0');
  DWORD length = GetFullPathNameW(relative.c_str(), k_path_size, full.data(), nullptr);
  if (length == 0 || length >= k_path_size) return path;
  full.resize(length);
  return narrow_text(full);
}

bool read_file(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileW(wide_text(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char chunk[4096];
  DWORD got = 0;
  bool read = true;
  while ((read = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0) {
    bytes.append(chunk, got);
  }
  CloseHandle(file);
  return read;
}

bool replace_file(const std::string& path, const std::string& bytes) {
  std::wstring target = wide_text(path);
  std::wstring temporary =
      target + wide_text(k_replacement_infix) + std::to_wstring(GetCurrentProcessId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = write_whole(file, bytes) && FlushFileBuffers(file);
  written = CloseHandle(file) && written;
  if (written && MoveFileExW(temporary.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

struct locked_file {
  HANDLE handle;
};

// The lock is on the file's first byte range, which every holder asks for
// in turn; reading and renaming over it stay open to others.
locked_file* open_locked(const std::string& path, bool append) {
  DWORD access = append ? FILE_APPEND_DATA | GENERIC_READ : GENERIC_READ;
  HANDLE handle = CreateFileW(wide_text(path).c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  OVERLAPPED start = {};
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &start)) {
    CloseHandle(handle);
    return nullptr;
  }
  return new locked_file{handle};
}

bool read_locked(locked_file* file, std::string& bytes) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file->handle, chunk, sizeof chunk, &got, nullptr)) {
    if (got == 0) return true;
    bytes.append(chunk, got);
  }
  return false;
}

bool append_locked(locked_file* file, const std::string& bytes) {
  return write_whole(file->handle, bytes);
}

bool close_locked(locked_file* file) {
  OVERLAPPED start = {};
  UnlockFileEx(file->handle, 0, 1, 0, &start);
  bool closed = CloseHandle(file->handle) != FALSE;
  delete file;
  return closed;
}

bool is_folder(const std::string& path) {
  DWORD attributes = GetFileAttributesW(wide_text(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform
