#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

temp_folder::temp_folder() {
  std::error_code error;
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("zoba_test_") + info->test_suite_name() + "_" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  folder_ = std::filesystem::temp_directory_path(error) / name;
  std::filesystem::remove_all(folder_, error);
  std::filesystem::create_directories(folder_, error);
}

temp_folder::~temp_folder() {
  if (testing::Test::HasFailure()) return;
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
}

std::string temp_folder::path(const std::string& name) const { return (folder_ / name).string(); }

std::string temp_folder::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(folder_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path(name);
}
