// Files on POSIX for the helper programs and the settings: sizes, folders,
// a log line, a file replaced whole, and a record file under flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

constexpr std::size_t k_name_max = 255;
// A locked file replaced while its opener waited is opened again, this
// many times at most.
constexpr int k_lock_tries = 100;

bool read_to_end(int fd, std::string& bytes) {
  char chunk[65536];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// The mode a new file gets: what the user's umask allows of rw-rw-rw-.
mode_t new_file_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The rename is durable only once the folder is on disk: without this a
// power cut could bring back the old file, and with it a reservation number
// already handed out. A file system that cannot sync folders is taken as is.
bool sync_folder(const std::string& folder) {
  int fd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

}  // namespace

// The new file keeps the old one's mode, so that a settings file made
// private stays private.
bool replace_file(const std::string& path, const std::string& bytes) {
  struct stat old = {};
  mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
  std::string temp = path + k_replacement_infix + "XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return sync_folder(folder_of(path));
  unlink(temp.c_str());
  return false;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string absolute_path(const std::string& path) {
  if (path.starts_with("/")) return path;
  char here[PATH_MAX];
  return getcwd(here, sizeof here) != nullptr ? std::string(here) + "/" + path : path;
}

bool read_file(const std::string& path, std::string& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool read = read_to_end(fd, bytes);
  close(fd);
  return read;
}

long long file_size(const std::string& path) {
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.st_size);
}

bool make_folders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0777);
  }
  mkdir(path.c_str(), 0777);
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         access(path.c_str(), W_OK | X_OK) == 0;
}

bool append_line(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string text = line + "\n";
  // One write: lines of programs run side by side do not interleave.
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && written;
}

bool name_fits(const std::string& name) { return name.size() <= k_name_max; }

// O_EXCL alone already refuses a link at the name, dangling or not;
// O_NOFOLLOW says so twice.
new_entry create_new_file(const std::string& path, std::string& error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return new_entry::taken;
    error = std::strerror(errno);
    return new_entry::failed;
  }
  if (close(fd) == 0) return new_entry::made;
  error = std::strerror(errno);
  unlink(path.c_str());
  return new_entry::failed;
}

// A file system without RENAME_NOREPLACE (EINVAL) still refuses a hard
// link over an entry; one with neither leaves the file where it is.
new_entry move_to_new_name(const std::string& from, const std::string& to, std::string& error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return new_entry::made;
  }
  if (errno == EEXIST) return new_entry::taken;
  if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    if (link(from.c_str(), to.c_str()) == 0) {
      unlink(from.c_str());
      return new_entry::made;
    }
    if (errno == EEXIST) return new_entry::taken;
  }
  error = std::strerror(errno);
  return new_entry::failed;
}

std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string& error) {
  std::string path = folder + "/" + prefix + "XXXXXX";
  if (mkdtemp(path.data()) != nullptr) return path;  // mode 0700
  error = std::strerror(errno);
  return {};
}

bool name_taken(const std::string& path) {
  struct stat info = {};
  return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool remove_empty_file(const std::string& path) {
  struct stat info = {};
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode) && info.st_size == 0 && unlink(path.c_str()) == 0;
}

bool remove_empty_folder(const std::string& path) { return rmdir(path.c_str()) == 0; }

namespace {

// True when others may rename or remove the folder's entries. The sticky
// bit keeps each user's entries to that user, unless the folder's owner is
// another user, who may always change them (root is trusted anyway).
bool others_change(const std::string& folder) {
  struct stat info = {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if ((info.st_mode & S_IWOTH) == 0) return false;
  return (info.st_mode & S_ISVTX) == 0 || (info.st_uid != geteuid() && info.st_uid != 0);
}

// The folder and every folder above it, the root first.
std::vector<std::string> folders_along(const std::string& path) {
  std::vector<std::string> along{"/"};
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    along.push_back(path.substr(0, slash));
  }
  if (path.size() > 1) along.push_back(path);
  return along;
}

}  // namespace

std::string open_to_others(const std::string& folder) {
  std::vector<std::string> along = folders_along(absolute_path(folder));
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) != nullptr) {
    std::vector<std::string> real = folders_along(resolved);
    along.insert(along.end(), real.begin(), real.end());
  }
  for (const std::string& above : along) {
    if (others_change(above)) return above;
  }
  return {};
}

struct locked_file {
  int fd;
};

// A reader needs no right to write the file: its rewrite is a rename in
// the folder.
locked_file* open_locked(const std::string& path, bool append) {
  int flags = O_CLOEXEC | O_NOFOLLOW | (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY);
  for (int tries = 0; tries < k_lock_tries; ++tries) {
    int fd = open(path.c_str(), flags, 0600);
    if (fd < 0) return nullptr;
    struct stat locked = {};
    struct stat named = {};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      return new locked_file{fd};
    }
    close(fd);
  }
  return nullptr;
}

bool read_locked(locked_file* file, std::string& bytes) { return read_to_end(file->fd, bytes); }

bool append_locked(locked_file* file, const std::string& bytes) {
  return write(file->fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool close_locked(locked_file* file) {
  bool closed = close(file->fd) == 0;
  delete file;
  return closed;
}

bool is_folder(const std::string& path) {
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace platform
