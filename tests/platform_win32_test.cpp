// The real Windows layer under Wine, where zoba, AT.exe and REC.exe share
// it: the program's own folder and settings file, and the program search.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/convert.h"
#include "platform/files.h"
#include "platform/known_folders.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/self.h"
#include "tests/temp_folder.h"

namespace {

constexpr char k_print_settings_path[] = "--print-settings-path";

// A copy of this test program under name in the folder; its UTF-8 path.
std::string copy_of_self(const temp_folder& folder, const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(platform::read_file(utf8_from_system(platform::self_path()), bytes));
  std::string copy = platform::folder_of(folder.path("x")) + "\\" + name;
  EXPECT_TRUE(platform::replace_file(copy, bytes));
  return copy;
}

}  // namespace

// 表 is 0x95 0x5C in code page 932: its second byte is no separator, so a
// program named after it still finds the settings file in its own folder.
TEST(Win32Self, TheSettingsFileIsBesideAProgramWhoseNameEndsIn0x5C) {
  ASSERT_EQ(system_from_utf8("表"), "\x95\x5C") << "the ANSI code page is not 932";
  temp_folder folder;
  std::string program = copy_of_self(folder, "表.exe");
  platform::run_result run = platform::run_program({program, k_print_settings_path}, {});
  EXPECT_TRUE(run.started);
  std::string folder_ansi = system_from_utf8(platform::folder_of(program));
  EXPECT_EQ(run.output, folder_ansi + "\\zoba.ini|" + folder_ansi);
}

TEST(Win32Process, FindsAPathAsItIsAndABareNameOnPathWithExe) {
  temp_folder folder;
  std::string program = copy_of_self(folder, "zoba_found.exe");
  std::string without_extension = program.substr(0, program.size() - 4);
  EXPECT_EQ(platform::find_program(program), program);
  EXPECT_EQ(platform::find_program(without_extension), program);
  EXPECT_EQ(platform::find_program("zoba_found"), "");
  std::string folder_path = platform::folder_of(program);
  ASSERT_TRUE(platform::set_environment("PATH", system_from_utf8(folder_path).c_str()));
  EXPECT_EQ(platform::find_program("zoba_found"), program);
  EXPECT_EQ(platform::find_on_path("zoba_found"), program);
  EXPECT_TRUE(platform::runs_through_shell(folder_path + "\\rec.BAT"));
  EXPECT_TRUE(platform::runs_through_shell(folder_path + "\\rec.bat. "));
  EXPECT_FALSE(platform::runs_through_shell(program));
}

// REC's recording file: made new or not at all, and moved out of the
// attempt's own folder without replacing anything.
TEST(Win32Files, ANewFileIsNeverOneThatExistsAndAMoveNeverReplacesOne) {
  temp_folder folder;
  std::string base = platform::folder_of(folder.path("x"));
  std::string made = base + "\\new.ts";
  std::string error;
  EXPECT_EQ(platform::create_new_file(made, error), platform::new_entry::made) << error;
  EXPECT_EQ(platform::file_size(made), 0);
  EXPECT_EQ(platform::create_new_file(made, error), platform::new_entry::taken);
  EXPECT_EQ(platform::create_new_file(base, error), platform::new_entry::taken);  // a folder
  EXPECT_EQ(platform::create_new_file(base + "\\none\\x.ts", error), platform::new_entry::failed);
  EXPECT_TRUE(platform::name_taken(made));
  EXPECT_FALSE(platform::name_taken(base + "\\none.ts"));
  std::string own = platform::make_private_folder(base, ".REC-", error);
  ASSERT_FALSE(own.empty()) << error;
  EXPECT_EQ(own.rfind(base + "\\.REC-", 0), 0u) << own;
  std::string inside = own + "\\rec.ts";
  ASSERT_TRUE(platform::replace_file(inside, "recording"));
  EXPECT_EQ(platform::move_to_new_name(inside, made, error), platform::new_entry::taken);
  EXPECT_EQ(platform::file_size(made), 0);
  std::string kept = base + "\\kept.ts";
  EXPECT_EQ(platform::move_to_new_name(inside, kept, error), platform::new_entry::made) << error;
  std::string bytes;
  EXPECT_TRUE(platform::read_file(kept, bytes));
  EXPECT_EQ(bytes, "recording");
  EXPECT_TRUE(platform::remove_empty_folder(own));
  EXPECT_FALSE(platform::remove_empty_file(kept));
  EXPECT_TRUE(platform::remove_empty_file(made));
  EXPECT_FALSE(platform::name_taken(made));
  EXPECT_EQ(platform::open_to_others(base), "");
}

TEST(Win32KnownFolders, AFolderSettingHasItsVariablesPutIn) {
  ASSERT_TRUE(platform::set_environment("ZOBA_VIDEOS", "D:\\tv"));
  EXPECT_EQ(platform::expand_variables("%ZOBA_VIDEOS%\\録画"), "D:\\tv\\録画");
  EXPECT_EQ(platform::expand_variables("%ZOBA_NOT_SET%\\x"), "%ZOBA_NOT_SET%\\x");
  EXPECT_FALSE(platform::home_folder().empty());
}

int main(int argc, char** argv) {
  // The copy run by the test above says where its settings file is.
  if (argc == 2 && std::string(argv[1]) == k_print_settings_path) {
    std::printf("%s|%s", platform::settings_path().c_str(), platform::self_folder().c_str());
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
