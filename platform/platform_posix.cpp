// The POSIX implementation: the only file of the tool that includes system
// headers. Message boxes become a question on the terminal (or zenity on a
// desktop), the named mutex a lock file, the trace console standard error.
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/command_line.h"
#include "platform/convert.h"
#include "platform/ini.h"
#include "platform/platform.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

// A settings file is replaced by a new one written beside it under its own
// name, this and six characters from mkstemp.
constexpr char k_temp_infix[] = ".tmp-";
constexpr std::size_t k_temp_random = 6;
constexpr char k_not_registered[] =
    "zoba: no terminal to answer on and no desktop to ask on; nothing was registered.\n";

std::string self_path() {
  char path[PATH_MAX] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// ---- files

bool read_file(const char* path, std::string& bytes) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[65536];
  ssize_t got = 0;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(got));
  close(fd);
  return got == 0;
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

// Writes the whole file beside the old one and renames it over it, so the
// settings are never left half written, whatever happens on the way.
bool replace_file(const std::string& path, const std::string& bytes) {
  struct stat old = {};
  mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
  std::string temp = path + k_temp_infix + "XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return sync_folder(folder_of(path));
  unlink(temp.c_str());
  return false;
}

// Runs started together all write the settings before the single-instance
// check, each reading the file, changing one key and replacing the whole:
// unserialised, one run's replacement undoes another's key. The lock is on
// the folder, which the replacing rename leaves in place, and goes with the
// process if it dies. -1 when the folder cannot be locked; the write then
// goes ahead unserialised.
int lock_folder(const std::string& folder) {
  const char* name = folder.empty() ? "/" : folder.c_str();
  int fd = open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

// A write killed between making its new file and renaming it leaves that
// file behind; the next write removes it. Called only under the folder's
// lock, when no other write can be under way.
void remove_stale_temporaries(const std::string& path) {
  std::string folder = folder_of(path);
  std::string prefix = path.substr(path.rfind('/') + 1) + k_temp_infix;
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

bool store_key(const std::string& path, const char* section, const char* key, const char* value) {
  std::string text;
  bool exists = read_file(path.c_str(), text);
  if (!exists && errno != ENOENT) return false;
  std::string changed = ini_write_string(text, section, key, value);
  if (exists && changed == text) return true;
  return replace_file(path, changed);
}

// A settings file reached through a link is written where the link points.
std::string real_file(const char* path) {
  char resolved[PATH_MAX];
  if (realpath(path, resolved) != nullptr) return resolved;
  return path;
}

// ---- terminal and desktop

bool on_terminal() { return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1; }

bool has_display() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Line ends become plain line feeds.
std::string without_cr(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c != '\r') shown += c;
  }
  return shown;
}

std::string for_terminal(const std::string& text) {
  return convert_from_sjis(without_cr(text), nl_langinfo(CODESET));
}

void put_error(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

// "y" or "yes" in any case is OK; anything else, an empty line or the end
// of the input too, is Cancel.
bool read_yes() {
  char line[256];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
  std::string answer = line;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  for (char& c : answer) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return answer == "y" || answer == "yes";
}

bool terminal_box(const char* caption, const char* text, bool ok_cancel) {
  put_error(std::string("\n") + for_terminal(caption) + "\n" + for_terminal(text) + "\n");
  if (!ok_cancel) return true;
  put_error("[y/N] ");
  return read_yes();
}

std::string find_on_path(const std::string& program);

// zenity's answer: 0 for OK. -1 when it could not be started.
int zenity_box(const char* caption, const char* text, bool ok_cancel) {
  std::string zenity = find_on_path("zenity");
  if (zenity.empty()) return -1;
  std::string title = std::string("--title=") + convert_from_sjis(caption, "UTF-8");
  std::string message = std::string("--text=") + convert_from_sjis(without_cr(text), "UTF-8");
  const char* kind = ok_cancel ? "--question" : "--info";
  char* argv[] = {zenity.data(),  const_cast<char*>(kind),
                  title.data(),   const_cast<char*>("--no-markup"),
                  message.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, zenity.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- programs

bool is_program(const std::string& path) {
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string find_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= folders.size()) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
    if (is_program(folder + "/" + program)) return folder + "/" + program;
    begin = end + 1;
  }
  return {};
}

// As CreateProcessA searches: a name with a path as it stands, otherwise
// the tool's own folder first, then PATH.
std::string find_program(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return is_program(program) ? program : "";
  std::string beside = folder_of(self_path()) + "/" + program;
  if (is_program(beside)) return beside;
  return find_on_path(program);
}

unsigned long wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return static_cast<unsigned long>(-1);
  }
  if (WIFEXITED(status)) return static_cast<unsigned long>(WEXITSTATUS(status));
  return 128ul + static_cast<unsigned long>(WTERMSIG(status));
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  // The terminal's character set is the user's, for the boxes.
  std::setlocale(LC_CTYPE, "");
  std::vector<std::string> words = {self_path()};
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  return words;
}

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  std::string text;
  if (!read_file(file, text)) return fallback;
  return ini_read_int(text, section, key, fallback);
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  std::string text;
  read_file(file, text);  // a missing file reads as an empty one
  return ini_read_string(text, section, key, fallback, size);
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  std::string path = real_file(file);
  int lock = lock_folder(folder_of(path));
  if (lock >= 0) remove_stale_temporaries(path);
  bool stored = store_key(path, section, key, value);
  if (lock >= 0) close(lock);
  return stored;
}

mutex_result create_named_mutex(const char* name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string path = runtime != nullptr && *runtime == '/'
                         ? std::string(runtime) + "/" + name + ".lock"
                         : std::string("/tmp/") + name + "-" + std::to_string(getuid()) + ".lock";
  // Never closed: the lock marks this instance until the process ends.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return mutex_result::failed;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return mutex_result::created;
  bool held = errno == EWOULDBLOCK;
  close(fd);
  return held ? mutex_result::already_exists : mutex_result::failed;
}

void beep() {
  if (isatty(STDERR_FILENO) == 1) put_error("\a");
}

bool message_box(const char* caption, const char* text, bool ok_cancel) {
  if (on_terminal()) return terminal_box(caption, text, ok_cancel);
  if (has_display()) {
    int answer = zenity_box(caption, text, ok_cancel);
    if (answer >= 0) return answer == 0;
  }
  put_error(for_terminal(text) + "\n");
  if (ok_cancel) put_error(k_not_registered);
  return false;
}

bool trace_window_open() {
  put_error("OK\n");
  return true;
}

void trace_window_append(int, const char* line) {
  std::string shown = for_terminal(line);
  if (shown.empty() || shown.back() != '\n') shown += '\n';
  put_error(shown);
}

process_result run_process(const char* command_line) {
  std::vector<std::string> words = split_command_line(command_line);
  std::string program = find_program(words[0]);
  if (program.empty()) return {false, 0};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return {false, 0};
  }
  return {true, wait_status(pid)};
}

}  // namespace platform
