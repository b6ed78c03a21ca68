// The POSIX platform layer itself, on real files and processes (its own
// test program: the unit tests link the fake instead).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/platform.h"
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
  EXPECT_EQ(contents(ini), "; mine\n[ZOBA]\nno = 0008 \n[TVCH]\r\nx=\r\n");
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
