// The settings file on POSIX through our INI rules, written whole and
// renamed into place under a lock; the programme file; the single-instance
// lock.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/platform.h"
#include "platform/self.h"
#include "platform/settings_encoding_posix.h"

namespace platform {

namespace {

// replace_file writes a settings file's replacement under its name,
// k_replacement_infix and six characters from mkstemp.
constexpr std::size_t k_temp_random = 6;
// Writers of one settings file take turns through this file beside it.
constexpr char k_lock_suffix[] = ".lock";
constexpr int k_lock_wait_ms = 5000;
constexpr int k_lock_poll_ms = 20;
// How old a settings file must be to be kept between reads (see settled).
constexpr long long k_settled_ns = 50LL * 1000 * 1000;

// Opens a lock file of the user's own, never through a link: a file another
// user made, or could have, is nobody's to lock here. -1 with errno set
// when it cannot be had (EPERM for a file that is not the user's own).
int open_own_lock_file(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return -1;
  struct stat info = {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

enum class lock_state { held, unavailable, refused };

struct settings_lock {
  lock_state state = lock_state::unavailable;
  int fd = -1;
};

// Runs started together all write the settings before the single-instance
// check, each reading the file, changing one key and replacing the whole:
// unserialised, one run's replacement undoes another's key. The lock is a
// file of the user's own beside the settings file (the replacing rename
// leaves it in place) and goes with the process if it dies. Where no lock
// file can be made the write goes ahead unserialised (and fails itself when
// the folder cannot be written). A lock file that is not the user's, a link
// in its place, or a lock held longer than k_lock_wait_ms refuses the write:
// waiting for ever would hang the run and every run after it.
settings_lock lock_settings(const std::string& path) {
  settings_lock lock;
  lock.fd = open_own_lock_file(path + k_lock_suffix);
  if (lock.fd < 0) {
    bool trap = errno == EPERM || errno == ELOOP;
    lock.state = trap ? lock_state::refused : lock_state::unavailable;
    return lock;
  }
  for (int waited = 0;; waited += k_lock_poll_ms) {
    if (flock(lock.fd, LOCK_EX | LOCK_NB) == 0) {
      lock.state = lock_state::held;
      return lock;
    }
    bool busy = errno == EWOULDBLOCK || errno == EINTR;
    if (!busy || waited >= k_lock_wait_ms) break;
    usleep(k_lock_poll_ms * 1000);
  }
  lock.state = errno == EWOULDBLOCK ? lock_state::refused : lock_state::unavailable;
  close(lock.fd);
  lock.fd = -1;
  return lock;
}

// A write killed between making its new file and renaming it leaves that
// file behind; the next write removes it. Called only under the settings
// lock, when no other write can be under way.
void remove_stale_temporaries(const std::string& path) {
  std::string folder = folder_of(path);
  std::string prefix = path.substr(path.rfind('/') + 1) + k_replacement_infix;
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() == prefix.size() + k_temp_random && name.starts_with(prefix)) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    }
  }
  closedir(dir);
}

// What a write does to the settings text, as the INI rules change it.
using settings_change = std::function<std::string(const settings_text& text)>;

// The INI rules work in Shift_JIS: the file is converted here, at its
// edge, and keeps its own encoding. A file in no one encoding is not
// written at all.
bool store_change(const std::string& path, const settings_change& change) {
  std::string bytes;
  bool exists = read_file(path, bytes);
  if (!exists && errno != ENOENT) return false;
  settings_text text = settings_text_of(bytes);
  std::string changed;
  if (!settings_file_bytes(text, change(text), changed)) return false;
  if (exists && changed == bytes) return true;
  return replace_file(path, changed);
}

// The settings file last read, kept while the file is the same one
// unchanged (a write replaces it by a new file), with the key lines of one
// section: a file of thousands of programmes looks up thousands of
// stations, each otherwise a read and a search of the whole file.
struct settings_cache {
  std::string path;
  struct stat identity = {};
  settings_text text;
  std::string section;
  bool indexed = false;
  std::map<std::string, std::string> key_lines;
};

settings_cache g_cache;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// File times advance by the kernel's tick: a file changed within the last
// few ticks could change again under the same time, size and inode, so
// only one older than this is kept.
bool settled(const struct stat& identity) {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  long long age_ns = (static_cast<long long>(now.tv_sec) - identity.st_mtim.tv_sec) * 1000000000LL +
                     (now.tv_nsec - identity.st_mtim.tv_nsec);
  return age_ns > k_settled_ns;
}

// The settings as the INI rules read them, a missing file as an empty
// one: held in g_cache until the next read.
const settings_text& read_settings(const char* path, bool* exists = nullptr) {
  struct stat identity = {};
  bool found = stat(path, &identity) == 0 && S_ISREG(identity.st_mode);
  if (found && g_cache.path == path && same_file(identity, g_cache.identity)) {
    if (exists != nullptr) *exists = true;
    return g_cache.text;
  }
  std::string bytes;
  bool read = read_file(path, bytes);
  g_cache = settings_cache{};
  g_cache.text = settings_text_of(bytes);
  struct stat after = {};
  if (read && found && settled(identity) && stat(path, &after) == 0 && same_file(identity, after)) {
    g_cache.path = path;
    g_cache.identity = identity;
  }
  if (exists != nullptr) *exists = read;
  return g_cache.text;
}

// A key's value read from its line alone, through an index of the lines
// of its section in the text read last.
std::string read_indexed(const char* section, const std::string& key, const char* fallback,
                         std::size_t size) {
  if (!g_cache.indexed || g_cache.section != section) {
    g_cache.key_lines = ini_key_lines(g_cache.text.sjis, section);
    g_cache.section = section;
    g_cache.indexed = true;
  }
  auto found = g_cache.key_lines.find(ini_key_name(key.c_str()));
  if (found == g_cache.key_lines.end()) return ini_read_string("", section, "", fallback, size);
  std::string line = *section == '\0' ? "" : std::string("[") + section + "]\n";
  return ini_read_string(line + found->second, section, key.c_str(), fallback, size);
}

// A settings file reached through a link is written where the link points.
std::string real_file(const char* path) {
  char resolved[PATH_MAX];
  if (realpath(path, resolved) != nullptr) return resolved;
  return path;
}

}  // namespace

struct input_file {
  int fd;
};

// Only a regular file: a FIFO would block the run for ever and a device
// such as /dev/zero would never end, both while holding the
// single-instance lock. Opened without waiting for a FIFO's writer.
input_file* open_input_file(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info = {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  return new input_file{fd};
}

std::size_t read_input_file(input_file* file, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = read(file->fd, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

bool rewind_input_file(input_file* file) { return lseek(file->fd, 0, SEEK_SET) == 0; }

void close_input_file(input_file* file) {
  close(file->fd);
  delete file;
}

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  bool exists = false;
  const settings_text& text = read_settings(file, &exists);
  if (!exists) return fallback;
  return ini_read_int(text.sjis, section, settings_key(text, key).c_str(), fallback);
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  const settings_text& text = read_settings(file);
  return read_indexed(section, settings_key(text, key), fallback, size);
}

std::string profile_read_path(const char* section, const char* key, const char* fallback,
                              std::size_t size, const char* file) {
  const settings_text& text = read_settings(file);
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string value = fallback;
  if (ini_find_value(text.sjis, section, settings_key(text, key).c_str(), begin, end)) {
    value = settings_utf8_of(text, begin, end);
  }
  std::size_t cut = std::min(value.size(), size == 0 ? 0 : size - 1);
  while (cut > 0 && cut < value.size() && (value[cut] & 0xC0) == 0x80) --cut;
  value.resize(cut);
  return value;
}

std::size_t profile_unwritable_line(const char* file) {
  return read_settings(file).unreadable_line;
}

namespace {

// Writers take turns through the lock; the change is made to the file as
// it is once the lock is held.
bool store_locked(const char* file, const settings_change& change) {
  std::string path = real_file(file);
  settings_lock lock = lock_settings(path);
  if (lock.state == lock_state::refused) return false;
  if (lock.state == lock_state::held) remove_stale_temporaries(path);
  bool stored = store_change(path, change);
  if (lock.fd >= 0) close(lock.fd);
  return stored;
}

}  // namespace

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  return store_locked(file, [section, key, value](const settings_text& text) {
    return ini_write_string(text.sjis, section, settings_key(text, key).c_str(), value);
  });
}

bool profile_add_keys(const char* section, const std::vector<std::string>& keys, const char* file) {
  if (keys.empty()) return true;
  return store_locked(file, [section, &keys](const settings_text& text) {
    std::vector<std::string> stored_keys;
    for (const std::string& key : keys) stored_keys.push_back(settings_key(text, key.c_str()));
    return ini_add_keys(text.sjis, section, stored_keys);
  });
}

mutex_result create_named_mutex(const char* name) {
  // The user's runtime folder, or else the program's own folder: a shared
  // place such as /tmp would let another user make the file first and
  // hold it.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime != nullptr && *runtime == '/' ? runtime : self_folder();
  // Never closed: the lock marks this instance until the process ends.
  int fd = open_own_lock_file(folder + "/" + name + k_lock_suffix);
  if (fd < 0) return mutex_result::failed;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return mutex_result::created;
  bool held = errno == EWOULDBLOCK;
  close(fd);
  return held ? mutex_result::already_exists : mutex_result::failed;
}

}  // namespace platform
