// A fresh folder for a test's files, removed afterwards unless the test
// failed, so that a failure can be looked at.
#pragma once

#include <filesystem>
#include <string>

class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  // Writes bytes to a file in the folder and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;
  std::string path(const std::string& name) const;

 private:
  std::filesystem::path folder_;
};
