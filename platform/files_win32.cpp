// Files on Windows for the helper programs, through the wide functions.
#include <windows.h>

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
