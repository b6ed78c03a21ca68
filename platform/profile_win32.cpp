// The settings file on Windows through the profile functions, the
// programme file, and the single-instance mutex.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

struct input_file {
  HANDLE handle;
};

input_file* open_input_file(const char* path) {
  // Shared as the C runtime's fopen shares it: others may read and write.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : new input_file{handle};
}

std::size_t read_input_file(input_file* file, void* buffer, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(file->handle, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
  return got;
}

bool rewind_input_file(input_file* file) {
  LARGE_INTEGER start = {};
  return SetFilePointerEx(file->handle, start, nullptr, FILE_BEGIN) != FALSE;
}

void close_input_file(input_file* file) {
  CloseHandle(file->handle);
  delete file;
}

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file));
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  std::string value(size, '\0');
  GetPrivateProfileStringA(section, key, fallback, value.data(), static_cast<DWORD>(size), file);
  // The count returned can include a byte that was not copied when a
  // double-byte character did not fit: the terminator is what counts.
  value.resize(std::strlen(value.c_str()));
  return value;
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

// The ANSI functions read any bytes: nothing to tell.
std::string profile_read_path(const char* section, const char* key, const char* fallback,
                              std::size_t size, const char* file) {
  return profile_read_string(section, key, fallback, size, file);
}

bool profile_add_keys(const char* section, const std::vector<std::string>& keys, const char* file) {
  bool stored = true;
  for (const std::string& key : keys) {
    std::string value(2, '\0');
    // A key already there, with a value or without, is left as it is.
    GetPrivateProfileStringA(section, key.c_str(), "\x01", value.data(), 2, file);
    if (value[0] != '\x01') continue;
    stored = WritePrivateProfileStringA(section, key.c_str(), "", file) != FALSE && stored;
  }
  return stored;
}

std::size_t profile_unwritable_line(const char*) { return 0; }

mutex_result create_named_mutex(const char* name) {
  // The handle is never closed: it marks this instance until it exits.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return mutex_result::failed;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return mutex_result::already_exists;
  return mutex_result::created;
}

}  // namespace platform
