// The POSIX platform layer itself, on real files and processes (its own
// test program: the unit tests link the fake instead).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/known_folders.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "tests/temp_folder.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Files other than the writers' lock file, which stays.
std::size_t files_in(const std::string& folder) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".lock") ++count;
  }
  return count;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(PosixProfile, WritesInPlaceAndLeavesNoTemporaryFile) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "; mine\n[ZOBA]\nno = 7 \n");
  chmod(ini.c_str(), 0640);
  EXPECT_TRUE(platform::profile_write_string("ZOBA", "no", "0008", ini.c_str()));
  EXPECT_TRUE(platform::profile_write_string("TVCH", "x", "", ini.c_str()));
  // Lines added end as the file's own lines do.
  EXPECT_EQ(contents(ini), "; mine\n[ZOBA]\nno = 0008 \n[TVCH]\nx=\n");
  EXPECT_EQ(platform::profile_read_int("zoba", "NO", -999, ini.c_str()), 8);
  struct stat info = {};
  ASSERT_EQ(stat(ini.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(files_in(folder.path("")), 1u);
}

TEST(PosixProfile, MissingFileReadsDefaultsAndIsCreatedOnWrite) {
  temp_folder folder;
  std::string ini = folder.path("new.ini");
  EXPECT_EQ(platform::profile_read_int("ZOBA", "debug", -999, ini.c_str()), -999);
  EXPECT_EQ(platform::profile_read_string("ZOBA", "rec_exec", "REC", 512, ini.c_str()), "REC");
  EXPECT_TRUE(platform::profile_write_string("ZOBA", "debug", "0", ini.c_str()));
  EXPECT_EQ(contents(ini), "[ZOBA]\r\ndebug=0\r\n");
}

TEST(PosixProfile, AWriteThatCannotBeDoneReportsFailureAndChangesNothing) {
  temp_folder folder;
  std::string not_a_folder = folder.write("file", "x");
  EXPECT_FALSE(platform::profile_write_string("A", "k", "1", (not_a_folder + "/zoba.ini").c_str()));
  std::filesystem::create_directory(folder.path("zoba.ini"));
  EXPECT_FALSE(platform::profile_write_string("A", "k", "1", folder.path("zoba.ini").c_str()));
  EXPECT_EQ(contents(not_a_folder), "x");
  EXPECT_EQ(files_in(folder.path("")), 2u);
}

TEST(PosixProfile, AWriteRemovesWhatAKilledWriteLeft) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[A]\r\nk=1\r\n");
  folder.write("zoba.ini.tmp-Ab12Cd", "[A]\r\nk=");
  const char* kept[] = {"zoba.ini.tmp-keep", "zoba.ini.tmp-Ab12Cd7", "reserve.ini.tmp-Ab12Cd",
                        "zoba.ini.Ab12Cd"};
  for (const char* name : kept) folder.write(name, "mine");
  EXPECT_TRUE(platform::profile_write_string("A", "k", "2", ini.c_str()));
  EXPECT_EQ(contents(ini), "[A]\r\nk=2\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder.path("zoba.ini.tmp-Ab12Cd")));
  for (const char* name : kept) EXPECT_EQ(contents(folder.path(name)), "mine") << name;
  EXPECT_EQ(files_in(folder.path("")), 5u);
}

TEST(PosixProfile, WritersAtOnceKeepEachOthersKeys) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[ZOBA]\r\n");
  constexpr int k_writers = 8;
  constexpr int k_keys = 25;
  std::vector<pid_t> writers;
  for (int w = 0; w < k_writers; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool all = true;
      for (int k = 0; k < k_keys; ++k) {
        std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
        all = platform::profile_write_string("ZOBA", key.c_str(), "1", ini.c_str()) && all;
      }
      _exit(all ? 0 : 1);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int lost = 0;
  for (int w = 0; w < k_writers; ++w) {
    for (int k = 0; k < k_keys; ++k) {
      std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
      lost += platform::profile_read_int("ZOBA", key.c_str(), 0, ini.c_str()) != 1;
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(files_in(folder.path("")), 1u);
}

TEST(PosixProfile, WritesThroughALinkToItsFile) {
  temp_folder folder;
  std::string target = folder.write("real.ini", "[A]\nk=1\n");
  std::string link = folder.path("link.ini");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_TRUE(platform::profile_write_string("A", "k", "2", link.c_str()));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(contents(target), "[A]\nk=2\n");
}

TEST(PosixProfile, ALockHeldByAnotherIsWaitedForOnlyAFewSeconds) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[ZOBA]\r\nno=41\r\n");
  std::string lock = folder.write("zoba.ini.lock", "");
  int held = open(lock.c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(platform::profile_write_string("ZOBA", "no", "0042", ini.c_str()));
  double waited = seconds_since(start);
  EXPECT_GT(waited, 4.0);
  EXPECT_LT(waited, 8.0);
  close(held);
  EXPECT_EQ(contents(ini), "[ZOBA]\r\nno=41\r\n");
  EXPECT_TRUE(platform::profile_write_string("ZOBA", "no", "0042", ini.c_str()));
}

TEST(PosixProfile, ALinkInTheLockFilesPlaceRefusesTheWrite) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[ZOBA]\r\nno=41\r\n");
  std::string elsewhere = folder.write("victim", "mine");
  ASSERT_EQ(symlink(elsewhere.c_str(), folder.path("zoba.ini.lock").c_str()), 0);
  EXPECT_FALSE(platform::profile_write_string("ZOBA", "no", "0042", ini.c_str()));
  EXPECT_EQ(contents(ini), "[ZOBA]\r\nno=41\r\n");
  EXPECT_EQ(contents(elsewhere), "mine");
}

TEST(PosixInputFile, OnlyARegularFileOpensAndNothingBlocks) {
  temp_folder folder;
  std::string regular = folder.write("a.tvpi", "station: A\n");
  std::string fifo = folder.path("fifo.tvpi");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto start = std::chrono::steady_clock::now();
  for (const std::string& path : {fifo, std::string("/dev/zero"), folder.path("")}) {
    EXPECT_EQ(platform::open_input_file(path.c_str()), nullptr) << path;
  }
  EXPECT_LT(seconds_since(start), 1.0);
  platform::input_file* file = platform::open_input_file(regular.c_str());
  ASSERT_NE(file, nullptr);
  char bytes[32] = {};
  EXPECT_EQ(platform::read_input_file(file, bytes, sizeof bytes), 11u);
  EXPECT_EQ(platform::read_input_file(file, bytes, sizeof bytes), 0u);
  platform::close_input_file(file);
}

// Japanese in both encodings, and a character Shift_JIS lacks.
constexpr char k_station_utf8[] = "\xE3\x83\x86\xE3\x83\xAC\xE3\x83\x93\xE6\x9D\xB1\xE4\xBA\xAC";
constexpr char k_station_sjis[] = "\x83\x65\x83\x8C\x83\x72\x93\x8C\x8B\x9E";
constexpr char k_setting_utf8[] = "\xE8\xA8\xAD\xE5\xAE\x9A";  // 設定
constexpr char k_setting_sjis[] = "\x90\xDD\x92\xE8";
constexpr char k_camera_utf8[] = "\xF0\x9F\x8E\xA5";  // no Shift_JIS for it

// UTF-8 text as a UTF-16 file with its mark.
std::string utf16(const std::string& utf8, bool little) {
  const char* charset = little ? "UTF-16LE" : "UTF-16BE";
  return (little ? "\xFF\xFE" : "\xFE\xFF") + convert_between(utf8, "UTF-8", charset);
}

std::string joined(const std::string& a, const std::string& b = "", const std::string& c = "") {
  return a + b + c;
}

TEST(PosixProfile, KeepsEachFileInItsEncodingAndRefusesToWriteAMixedOne) {
  struct settings_case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;            // empty: the file is refused, left as it was
    std::size_t unwritable_line;  // the line named when refused
  };
  const std::string station = k_station_utf8;
  const std::string setting = k_setting_utf8;
  const std::string sjis_station = k_station_sjis;
  // The station 髙局 from a file, in the other of 髙's two Shift_JIS codes.
  const char* taka_nec = "\xEE\xE0\x8B\xC7";
  const settings_case cases[] = {
      {"utf8, a changed value keeps every other byte",
       "; " + setting + k_camera_utf8 + "\n[TVCH]\r\n" + station + "=8\r[ZOBA]\nno=1", "ZOBA", "no",
       "0002", "; " + setting + k_camera_utf8 + "\n[TVCH]\r\n" + station + "=8\r[ZOBA]\nno=0002",
       0},
      {"utf8 with a byte order mark and LF lines", "\xEF\xBB\xBF[TVCH]\n" + station + "=8\n",
       "TVCH", "x", "", "\xEF\xBB\xBF[TVCH]\n" + station + "=8\nx=\n", 0},
      {"a character Shift_JIS lacks, in the line changed", "[A]\nk" + std::string(k_camera_utf8),
       "A", "k?", "2", "[A]\nk" + std::string(k_camera_utf8) + "=2", 0},
      {"shift_jis from Windows stays Shift_JIS, byte for byte",
       "; " + std::string(k_setting_sjis) + "\r\n[TVCH]\n" + sjis_station +
           "=8\r[ZOBA]\r\nno=1\r\n",
       "ZOBA", "no", "0002",
       "; " + std::string(k_setting_sjis) + "\r\n[TVCH]\n" + sjis_station +
           "=8\r[ZOBA]\r\nno=0002\r\n",
       0},
      {"a new Japanese key in utf8", "[TVCH]\n", "TVCH", k_station_sjis, "",
       "[TVCH]\n" + station + "=\n", 0},
      {"utf8 with a Latin-1 line", "[TVCH]\n" + station + "=8\n; caf\xE9\n", "ZOBA", "no", "1", "",
       3},
      {"utf8 with a Shift_JIS line", "[TVCH]\n" + station + "=8\n" + sjis_station + "=9\n", "ZOBA",
       "no", "1", "", 3},
      {"utf8 with an EUC-JP line", "; " + setting + "\n\xA5\xC6\xA5\xEC\xA5\xD3=8\n", "ZOBA", "no",
       "1", "", 2},
      {"not Shift_JIS either", "[TVCH]\nA=1\nB\x81\n", "ZOBA", "no", "1", "", 3},
      {"utf16 with a lone surrogate", std::string("\xFF\xFEx\0=\0\n\0\x00\xD8\n\0", 12), "ZOBA",
       "no", "1", "", 2},
  };
  for (const settings_case& c : cases) {
    temp_folder folder;
    std::string ini = folder.write("zoba.ini", c.before);
    EXPECT_EQ(platform::profile_write_string(c.section, c.key, c.value, ini.c_str()),
              !c.after.empty())
        << c.name;
    EXPECT_EQ(contents(ini), c.after.empty() ? c.before : c.after) << c.name;
    EXPECT_EQ(platform::profile_unwritable_line(ini.c_str()), c.unwritable_line) << c.name;
    EXPECT_EQ(platform::profile_add_keys("TVCH", {"NEW"}, ini.c_str()), c.unwritable_line == 0)
        << c.name;
    if (c.unwritable_line != 0) continue;
    EXPECT_EQ(platform::profile_read_string(c.section, c.key, "-", 8, ini.c_str()),
              *c.value == '\0' ? "" : c.value)
        << c.name;
  }
  // What the user wrote is found whichever of 髙's codes the programme
  // file uses, and entered once, however many runs.
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[TVCH]\n");
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(platform::profile_read_string("TVCH", taka_nec, "-", 8, ini.c_str()), run ? "" : "-");
    EXPECT_TRUE(platform::profile_add_keys("TVCH", {taka_nec}, ini.c_str()));
  }
  EXPECT_EQ(contents(ini), "[TVCH]\n\xE9\xAB\x99\xE5\xB1\x80=\n");
}

TEST(PosixProfile, AFileKeptBetweenReadsIsReadAgainOnceChanged) {
  temp_folder folder;
  std::string ini = folder.write("zoba.ini", "[TVCH]\nA=1\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(platform::profile_read_string("TVCH", "a", "-", 8, ini.c_str()), "1");
  EXPECT_EQ(platform::profile_read_string("TVCH", "B", "-", 8, ini.c_str()), "-");
  // Changed in place, its size and inode the same.
  folder.write("zoba.ini", "[TVCH]\nA=2\n");
  EXPECT_EQ(platform::profile_read_string("TVCH", "A", "-", 8, ini.c_str()), "2");
}

TEST(PosixProfile, ARecorderPathIsReadAsTheFileHoldsIt) {
  // /home/u/Vidéos/〜/rec: é has no Shift_JIS, 〜 (U+301C) has a look-alike.
  const std::string path = "/home/u/Vid\xC3\xA9os/\xE3\x80\x9C/rec";
  const std::pair<std::string, std::string> cases[] = {
      {"[ZOBA]\nrec_exec = " + path + " -x \n", path + " -x"},
      {"[ZOBA]\nrec_exec=\"" + path + "\"\n", path},
      {"[ZOBA]\r\nrec_exec=/tv/\x98\x5E\x89\xE6\r\n", "/tv/\xE9\x8C\xB2\xE7\x94\xBB"},  // 録画
      {"[ZOBA]\n", "REC"},
  };
  for (const auto& [file, expected] : cases) {
    temp_folder folder;
    std::string ini = folder.write("zoba.ini", file);
    EXPECT_EQ(platform::profile_read_path("ZOBA", "rec_exec", "REC", 512, ini.c_str()), expected);
  }
}

TEST(PosixText, ShownTextIsShiftJisFromTheBytesOfThePath) {
  struct shown_case {
    std::string system_text;
    std::string shown;
  };
  const shown_case cases[] = {
      {"/tmp/plain.tvpi", "/tmp/plain.tvpi"},
      {joined("/home/viewer/", "\xE8\xAA\xAD\xE3\x82\x81\xE3\x81\xAA\xE3\x81\x84 ",
              "\xE7\x95\xAA\xE7\xB5\x84.tvpi"),
       "/home/viewer/\x93\xC7\x82\xDF\x82\xC8\x82\xA2 \x94\xD4\x91g.tvpi"},
      {joined("/tmp/", k_camera_utf8, "x.tvpi"), "/tmp/?x.tvpi"},
      // Not UTF-8: read in the locale's character set, ASCII in this test.
      {"/tmp/\xE8\xAA.tvpi", "/tmp/??.tvpi"},
  };
  for (const shown_case& c : cases) EXPECT_EQ(platform::shown_text(c.system_text), c.shown);
}

TEST(PosixText, TellsWellFormedUtf8) {
  const std::pair<const char*, bool> cases[] = {
      {"", true},
      {"abc", true},
      {k_station_utf8, true},
      {k_camera_utf8, true},
      {k_station_sjis, false},
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xE3\x83", false},          // cut short
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(is_utf8(text), expected) << text;
}

TEST(PosixFiles, APathWithACharacterShiftJisLacksStillOpens) {
  temp_folder folder;
  std::string path = folder.write(joined(k_camera_utf8, k_station_utf8, ".tvpi"), "station: x\r\n");
  platform::input_file* file = platform::open_input_file(path.c_str());
  ASSERT_NE(file, nullptr);
  char buffer[64] = {};
  EXPECT_EQ(platform::read_input_file(file, buffer, sizeof buffer), 12u);
  platform::close_input_file(file);
  EXPECT_EQ(std::string(buffer), "station: x\r\n");
  std::string shown = platform::shown_text(path);
  EXPECT_TRUE(shown.ends_with(std::string("/?") + k_station_sjis + ".tvpi")) << shown;
}

// REC's recording file: a link at the name, to a file or to nothing yet,
// only holds the name; what is made is a new empty file.
TEST(PosixFiles, ANewFileIsNeverOneThatExistsNorMadeThroughALink) {
  temp_folder folder;
  std::string victim = folder.write("victim", "IMPORTANT DATA");
  std::string error;
  std::string made = folder.path("new.ts");
  EXPECT_EQ(platform::create_new_file(made, error), platform::new_entry::made);
  struct stat info = {};
  ASSERT_EQ(lstat(made.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_size == 0);
  EXPECT_EQ(platform::create_new_file(made, error), platform::new_entry::taken);
  std::string link = folder.path("link.ts");
  std::string dangling = folder.path("dangling.ts");
  std::string outside = folder.path("outside.ts");
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), dangling.c_str()), 0);
  EXPECT_EQ(platform::create_new_file(link, error), platform::new_entry::taken);
  EXPECT_EQ(platform::create_new_file(dangling, error), platform::new_entry::taken);
  EXPECT_EQ(contents(victim), "IMPORTANT DATA");
  EXPECT_FALSE(std::filesystem::exists(outside));
  EXPECT_TRUE(platform::name_taken(dangling));
  EXPECT_FALSE(platform::name_taken(outside));
  EXPECT_EQ(platform::create_new_file(folder.path("none/x.ts"), error),
            platform::new_entry::failed);
  EXPECT_EQ(error, "No such file or directory");
}

TEST(PosixFiles, AMoveNeverReplacesWhatHoldsTheName) {
  temp_folder folder;
  std::string from = folder.write("from.ts", "recording");
  std::string other = folder.write("other.ts", "another's");
  std::string dangling = folder.path("dangling.ts");
  ASSERT_EQ(symlink(folder.path("outside.ts").c_str(), dangling.c_str()), 0);
  std::string error;
  EXPECT_EQ(platform::move_to_new_name(from, other, error), platform::new_entry::taken);
  EXPECT_EQ(platform::move_to_new_name(from, dangling, error), platform::new_entry::taken);
  EXPECT_EQ(contents(other), "another's");
  EXPECT_FALSE(std::filesystem::exists(folder.path("outside.ts")));
  std::string to = folder.path("to.ts");
  EXPECT_EQ(platform::move_to_new_name(from, to, error), platform::new_entry::made);
  EXPECT_EQ(contents(to), "recording");
  EXPECT_FALSE(platform::name_taken(from));
  EXPECT_EQ(platform::move_to_new_name(from, folder.path("again.ts"), error),
            platform::new_entry::failed);
}

TEST(PosixFiles, APrivateFolderIsTheUsersAloneAndOnlyEmptyThingsAreRemoved) {
  temp_folder folder;
  std::string error;
  std::string base = platform::folder_of(folder.path("x"));
  std::string own = platform::make_private_folder(base, ".REC-", error);
  ASSERT_FALSE(own.empty()) << error;
  EXPECT_TRUE(own.starts_with(folder.path(".REC-"))) << own;
  struct stat info = {};
  ASSERT_EQ(stat(own.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_NE(platform::make_private_folder(base, ".REC-", error), own);
  std::string full = folder.write("full.ts", "x");
  std::string empty = folder.write("empty.ts", "");
  std::string link = folder.path("link.ts");
  ASSERT_EQ(symlink(empty.c_str(), link.c_str()), 0);
  EXPECT_FALSE(platform::remove_empty_file(full));
  EXPECT_FALSE(platform::remove_empty_file(link));
  EXPECT_TRUE(platform::remove_empty_file(empty));
  EXPECT_TRUE(platform::name_taken(full) && platform::name_taken(link));
  EXPECT_FALSE(platform::name_taken(empty));
  std::ofstream(own + "/x.ts") << "x";
  EXPECT_FALSE(platform::remove_empty_folder(own));
  EXPECT_TRUE(std::filesystem::remove(own + "/x.ts"));
  EXPECT_TRUE(platform::remove_empty_folder(own));
}

TEST(PosixFiles, AFolderWhoseEntriesOthersMayChangeIsTold) {
  temp_folder folder;
  ASSERT_EQ(chmod(folder.path("").c_str(), 0755), 0);
  std::string open = folder.path("open");
  std::string inner = open + "/inner";
  ASSERT_TRUE(std::filesystem::create_directories(inner));
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  EXPECT_EQ(platform::open_to_others(open), open);
  EXPECT_EQ(platform::open_to_others(inner), open);  // open could be renamed away
  std::string link = folder.path("link");
  ASSERT_EQ(symlink(inner.c_str(), link.c_str()), 0);
  EXPECT_EQ(platform::open_to_others(link), open);  // as the link resolves
  ASSERT_EQ(chmod(open.c_str(), 01777), 0);         // sticky, and this user's
  EXPECT_EQ(platform::open_to_others(inner), "");
  EXPECT_EQ(platform::open_to_others("/tmp"), "");
  if (geteuid() == 0) {
    ASSERT_EQ(chown(open.c_str(), 65534, 65534), 0);  // sticky, but another user's
    EXPECT_EQ(platform::open_to_others(inner), open);
  }
  ASSERT_EQ(chmod(open.c_str(), 0775), 0);  // a group's folder is trusted
  EXPECT_EQ(platform::open_to_others(inner), "");
}

TEST(PosixKnownFolders, HomeIsHomeElseThePasswdEntry) {
  const char* old = std::getenv("HOME");
  std::string kept = old != nullptr ? old : "";
  setenv("HOME", "/some/home", 1);
  EXPECT_EQ(platform::home_folder(), "/some/home");
  unsetenv("HOME");
  const struct passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(platform::home_folder(), entry->pw_dir);
  EXPECT_EQ(platform::expand_variables("~/$HOME/%HOME%"), "~/$HOME/%HOME%");
  if (old != nullptr) setenv("HOME", kept.c_str(), 1);
}

// Dialog programs stand-ins on PATH, each writing its name, its LC_ALL and
// its arguments to one log and ending with the given status (-1: absent).
struct fake_desktop {
  temp_folder folder;
  std::string old_path = std::getenv("PATH");

  explicit fake_desktop(int zenity, int kdialog, int notify_send) {
    const std::pair<const char*, int> programs[] = {
        {"zenity", zenity}, {"kdialog", kdialog}, {"notify-send", notify_send}};
    for (const auto& [name, status] : programs) {
      if (status < 0) continue;
      std::string path = folder.write(
          name, std::string("#!/bin/sh\n{ echo ") + name + "; echo \"LC_ALL=$LC_ALL\"; " +
                    "for a; do echo \"$a\"; done; } >>\"" + folder.path("log") +
                    "\"\n[ -z \"$FAKE_CHOICE\" ] || echo \"$FAKE_CHOICE\"\nexit " +
                    std::to_string(status) + "\n");
      chmod(path.c_str(), 0755);
    }
    setenv("PATH", folder.path("").c_str(), 1);
    setenv("DISPLAY", ":99", 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  ~fake_desktop() {
    setenv("PATH", old_path.c_str(), 1);
    unsetenv("DISPLAY");
  }
  std::string log() const { return contents(folder.path("log")); }
};

bool on_a_terminal() { return isatty(STDIN_FILENO) == 1 || isatty(STDERR_FILENO) == 1; }

// 設定
constexpr char k_caption_sjis[] = "zoba \x90\xDD\x92\xE8";
// Markup and an option's dash, which a notification must show as text.
constexpr char k_text_sjis[] = "-a <&>\r\nb";

TEST(PosixDialogs, AskWithTheFirstDialogProgramThatShowsAndTellWhenNoneCan) {
  if (on_a_terminal()) GTEST_SKIP() << "the question goes to the terminal";
  struct dialog_case {
    int zenity, kdialog, notify_send;
    bool answer;
    std::string log;
  };
  const std::string zenity = "zenity\nLC_ALL=C.UTF-8\n--question\n--title=zoba " +
                             std::string(k_setting_utf8) +
                             "\n--no-markup\n--width=221\n--text=-a <&>\nb\n";
  const std::string kdialog = "kdialog\nLC_ALL=C.UTF-8\n--title\nzoba " +
                              std::string(k_setting_utf8) +
                              "\n--yesno\n<qt>-a &lt;&amp;&gt;<br>b</qt>\n";
  const std::string notified =
      "notify-send\nLC_ALL=C.UTF-8\n--app-name=zoba\n--expire-time=10000\n--\n"
      "zoba " +
      std::string(k_setting_utf8) +
      "\n-a &lt;&amp;&gt;\nb\n\nzoba could not show "
      "its question: install zenity (or kdialog). Nothing was registered.\n";
  const dialog_case cases[] = {
      {0, 0, 0, true, zenity},
      {1, 0, 0, false, zenity},
      {255, 0, 0, true, zenity + kdialog},
      {255, 1, 0, false, zenity + kdialog},
      {5, 255, 0, false, zenity + kdialog + notified},
      {-1, -1, 0, false, notified},
      {-1, -1, -1, false, ""},
  };
  for (const dialog_case& c : cases) {
    fake_desktop desktop(c.zenity, c.kdialog, c.notify_send);
    EXPECT_EQ(platform::message_box(k_caption_sjis, k_text_sjis, true), c.answer) << c.zenity;
    EXPECT_EQ(desktop.log(), c.log) << c.zenity << " " << c.kdialog;
  }
}

TEST(PosixDialogs, AProgrammeOfSeveralIsBookedSkippedOrEndsTheFile) {
  if (on_a_terminal()) GTEST_SKIP() << "the question goes to the terminal";
  using platform::programme_answer;
  struct programme_case {
    int zenity, kdialog;
    const char* choice;  // the button zenity prints, in UTF-8
    programme_answer answer;
  } cases[] = {
      {1, 0, "\xE3\x81\xAF\xE3\x81\x84", programme_answer::book},              // はい
      {1, 0, "\xE3\x81\x84\xE3\x81\x84\xE3\x81\x88", programme_answer::skip},  // いいえ
      {1, 0, "\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\xB3\xE3\x82\xBB\xE3\x83\xAB",
       programme_answer::stop},              // キャンセル
      {1, 0, "", programme_answer::stop},    // the window closed
      {255, 1, "", programme_answer::skip},  // kdialog's No
      {-1, 2, "", programme_answer::stop},   // kdialog's Cancel
      {-1, -1, "", programme_answer::stop},  // nothing could ask
  };
  for (const programme_case& c : cases) {
    fake_desktop desktop(c.zenity, c.kdialog, 0);
    setenv("FAKE_CHOICE", c.choice, 1);
    EXPECT_EQ(platform::ask_programme(k_caption_sjis, k_text_sjis), c.answer)
        << c.zenity << " " << c.kdialog << " " << c.choice;
  }
  unsetenv("FAKE_CHOICE");
}

TEST(PosixDialogs, ASecondRunOnADesktopIsToldByANotification) {
  if (on_a_terminal()) GTEST_SKIP() << "a terminal rings its bell";
  fake_desktop desktop(0, 0, 0);
  platform::beep();
  EXPECT_EQ(desktop.log(),
            "notify-send\nLC_ALL=C.UTF-8\n--app-name=zoba\n--expire-time=10000\n--\nzoba\nzoba is "
            "already asking about another programme. Answer it, then open this one again.\n");
}

TEST(PosixMutex, ASecondHolderIsToldTheFirstExists) {
  temp_folder folder;
  setenv("XDG_RUNTIME_DIR", folder.path("").c_str(), 1);
  EXPECT_EQ(platform::create_named_mutex("ZOBA_TEST"), platform::mutex_result::created);
  EXPECT_EQ(platform::create_named_mutex("ZOBA_TEST"), platform::mutex_result::already_exists);
  EXPECT_TRUE(std::filesystem::exists(folder.path("ZOBA_TEST.lock")));
  EXPECT_EQ(platform::create_named_mutex("ZOBA_OTHER"), platform::mutex_result::created);
  // A link in the lock file's place is no lock of ours.
  std::string target = folder.write("target", "");
  ASSERT_EQ(symlink(target.c_str(), folder.path("ZOBA_LINK.lock").c_str()), 0);
  EXPECT_EQ(platform::create_named_mutex("ZOBA_LINK"), platform::mutex_result::failed);
  // Without a runtime folder the lock is beside the program, where only its
  // user can make it.
  unsetenv("XDG_RUNTIME_DIR");
  std::string own = platform::arguments(0, nullptr)[0];
  std::string beside = std::filesystem::path(own).parent_path() / "ZOBA_BESIDE.lock";
  std::filesystem::remove(beside);
  EXPECT_EQ(platform::create_named_mutex("ZOBA_BESIDE"), platform::mutex_result::created);
  EXPECT_TRUE(std::filesystem::exists(beside));
  std::filesystem::remove(beside);
}

TEST(PosixProcess, ReportsStartAndExitStatus) {
  platform::process_result ok = platform::run_process("sh -c \"exit 0\"");
  EXPECT_TRUE(ok.started);
  EXPECT_EQ(ok.exit_status, 0u);
  platform::process_result three =
      platform::run_process("sh -c \"echo out; echo why >&2; exit 3\"");
  EXPECT_TRUE(three.started);
  EXPECT_EQ(three.exit_status, 3u);
  EXPECT_EQ(three.output, "out\nwhy\n");
  // A flood is read to its end, so the program never blocks, and kept short.
  platform::process_result flood = platform::run_process("sh -c \"yes | head -c 100000\"");
  EXPECT_EQ(flood.exit_status, 0u);
  EXPECT_EQ(flood.output.size(), platform::k_output_limit);
  EXPECT_FALSE(platform::run_process("zoba_no_such_program").started);
  EXPECT_FALSE(platform::run_process("").started);
}

TEST(PosixProcess, LooksBesideTheProgramBeforePath) {
  // A program of that name beside this test program, none on PATH.
  std::string own = platform::arguments(0, nullptr)[0];
  std::string beside = std::filesystem::path(own).parent_path() / "zoba_test_beside";
  {
    std::ofstream script(beside);
    script << "#!/bin/sh\nexit 7\n";
  }
  chmod(beside.c_str(), 0755);
  platform::process_result result = platform::run_process("zoba_test_beside \"a b\"");
  std::filesystem::remove(beside);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_status, 7u);
}

TEST(PosixProcess, HandsOverItsInputAndEndsAProgramPastItsTimeLimit) {
  std::string input = "a line\n";
  platform::run_options options;
  options.input = &input;
  platform::run_result cat = platform::run_program({"cat"}, options);
  EXPECT_TRUE(cat.started && cat.exited && !cat.timed_out);
  EXPECT_EQ(cat.status, 0u);
  EXPECT_EQ(cat.output, input);
  // The shell's own child goes with it: its process group is ended whole.
  options.limit_seconds = 1;
  platform::run_result slow = platform::run_program({"sh", "-c", "sleep 30; echo late"}, options);
  EXPECT_TRUE(slow.started && slow.timed_out);
  EXPECT_FALSE(slow.exited);
  EXPECT_EQ(slow.status, static_cast<unsigned long>(SIGKILL));
  EXPECT_EQ(slow.output, "");
}

TEST(PosixProcess, TheListingIsReadWholeAndGivenUpAfterItsTimeLimit) {
  // A scheduler beside this test program: first one that lists far more
  // than a pipe holds, then one that never answers.
  std::string own = platform::arguments(0, nullptr)[0];
  std::string at = std::filesystem::path(own).parent_path() / "AT";
  auto write_at = [&](const char* body) {
    std::ofstream(at) << "#!/bin/sh\n" << body << "\n";
    chmod(at.c_str(), 0755);
  };
  write_at("head -c 300000 /dev/zero | tr '\\000' x");
  platform::process_result whole = platform::scheduler_listing();
  write_at("sleep 60");
  auto began = std::chrono::steady_clock::now();
  platform::process_result held = platform::scheduler_listing();
  std::chrono::duration<double> waited = std::chrono::steady_clock::now() - began;
  std::filesystem::remove(at);
  EXPECT_EQ(whole.output, std::string(300000, 'x'));
  EXPECT_FALSE(whole.cut || whole.timed_out);
  EXPECT_TRUE(held.timed_out);
  EXPECT_LT(waited.count(), platform::k_listing_seconds + 2);
}

TEST(PosixFiles, TellsAFolderFromAFileAndFromNothing) {
  temp_folder folder;
  std::string file = folder.write("f", "x");
  EXPECT_TRUE(platform::is_folder(folder.path("")));
  EXPECT_FALSE(platform::is_folder(file));
  EXPECT_FALSE(platform::is_folder(folder.path("none")));
}

namespace {

std::string text_of(const std::string& path) {
  std::string text = contents(path);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

TEST(PosixWatched, EndsWhatTheProgramLeftRunningAndKeepsTheEndOfItsErrors) {
  temp_folder folder;
  std::string pid_file = folder.path("writer");
  // The program leaves a child that ignores SIGTERM, writes to standard
  // error, and exits; then a killed program is read once reaped.
  std::string script = "trap '' TERM; (trap '' TERM; sleep 60) & echo $! > " + pid_file +
                       "; echo first >&2; echo 'last line' >&2; exit 4";
  std::string error;
  platform::watched_program* program = platform::start_watched({"sh", "-c", script}, false, error);
  ASSERT_NE(program, nullptr) << error;
  EXPECT_TRUE(platform::wait_watched(program, platform::now() + 10));
  auto writer = static_cast<pid_t>(std::stol(text_of(pid_file)));
  EXPECT_EQ(kill(writer, 0), 0);
  auto started = std::chrono::steady_clock::now();
  platform::end_watched(program, 1);
  EXPECT_GE(seconds_since(started), 0.9);  // asked, then killed past the grace
  EXPECT_EQ(kill(writer, 0), -1);
  EXPECT_EQ(platform::watched_outcome(program), "exit 4");
  EXPECT_EQ(platform::watched_errors(program, 300), "first\nlast line\n");
  EXPECT_EQ(platform::watched_errors(program, 10), "last line\n");
  platform::release_watched(program);

  program = platform::start_watched({"sleep", "60"}, false, error);
  ASSERT_NE(program, nullptr) << error;
  platform::kill_watched(program);
  platform::end_watched(program, 1);
  EXPECT_EQ(platform::watched_outcome(program), "signal 9");
  EXPECT_EQ(platform::watched_errors(program, 300), "");
  platform::release_watched(program);
}
