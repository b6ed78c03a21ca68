// Stands in for the scheduler beside the tool: CreateProcessA looks in the
// program's own folder first, so "AT ..." starts this. It appends the command
// line it was given, exactly, to AT.log beside itself, writes the text of
// AT.reason beside itself (if there is one) to its standard output, and
// exits with the status written in AT.status beside itself (0 when there is
// none). A console program, as the real ones are: it writes to AT.console
// whether it was given a console window (1) or none (0), which shows the
// flags it was started with. Asked for its listing (no arguments), it
// writes AT.listing beside itself, if there is one, and logs nothing.
// Copied as REC.exe it stands in for our REC, so it carries REC's signature.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/rec/rec_signature.h"

namespace {

std::string own_folder() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

unsigned long chosen_status(const std::string& folder) {
  FILE* in = std::fopen((folder + "AT.status").c_str(), "rb");
  if (in == nullptr) return 0;
  char text[32] = {};
  size_t got = std::fread(text, 1, sizeof text - 1, in);
  text[got] = '\0';
  std::fclose(in);
  return std::strtoul(text, nullptr, 10);
}

void print_file(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return;
  char text[4096];
  size_t got = std::fread(text, 1, sizeof text, in);
  std::fclose(in);
  std::fwrite(text, 1, got, stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return std::puts(k_rec_signature) < 0;
  std::string folder = own_folder();
  if (argc < 2) {
    print_file(folder + "AT.listing");
    return 0;
  }
  if (FILE* console = std::fopen((folder + "AT.console").c_str(), "wb")) {
    std::fprintf(console, "%d\n", GetConsoleWindow() != nullptr ? 1 : 0);
    std::fclose(console);
  }
  FILE* out = std::fopen((folder + "AT.log").c_str(), "ab");
  if (out != nullptr) {
    std::fprintf(out, "%s\n", GetCommandLineA());
    std::fclose(out);
  }
  print_file(folder + "AT.reason");
  return static_cast<int>(chosen_status(folder));
}
