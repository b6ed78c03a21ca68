// Runs a batch of profile scripts and prints every result, so that the
// same batch can go through the Windows profile functions (this file built
// with mingw-w64 and run under Wine) and through our own implementation
// (built for Linux over files_posix.cpp), and the outputs be compared.
//
// Usage: ini_script BATCH FOLDER OUTPUT. FOLDER ends with the path
// separator. Each batch line is one operation; texts are hex ("-" when
// empty):
//   file NAME                  later operations use FOLDER + NAME
//   int SECTION KEY DEFAULT    -> "int N"
//   str SECTION KEY DEFAULT N  -> "str TEXT" (buffer of N bytes)
//   write SECTION KEY VALUE    -> "write 1" or "write 0"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/platform.h"
#endif

namespace {

int read_int(const std::string& s, const std::string& k, int fallback, const std::string& f) {
#ifdef _WIN32
  return static_cast<int>(GetPrivateProfileIntA(s.c_str(), k.c_str(), fallback, f.c_str()));
#else
  return platform::profile_read_int(s.c_str(), k.c_str(), fallback, f.c_str());
#endif
}

std::string read_string(const std::string& s, const std::string& k, const std::string& fallback,
                        unsigned size, const std::string& f) {
#ifdef _WIN32
  // Zeroed, so that bytes the function leaves alone read as the end.
  std::vector<char> buffer(size + 1, '\0');
  GetPrivateProfileStringA(s.c_str(), k.c_str(), fallback.c_str(), buffer.data(), size, f.c_str());
  return std::string(buffer.data());
#else
  return platform::profile_read_string(s.c_str(), k.c_str(), fallback.c_str(), size, f.c_str())
      .c_str();
#endif
}

bool write_string(const std::string& s, const std::string& k, const std::string& v,
                  const std::string& f) {
#ifdef _WIN32
  return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
#else
  return platform::profile_write_string(s.c_str(), k.c_str(), v.c_str(), f.c_str());
#endif
}

std::string unhex(const char* word) {
  std::string text;
  if (std::strcmp(word, "-") == 0) return text;
  for (std::size_t i = 0; word[i] != '\0' && word[i + 1] != '\0'; i += 2) {
    char pair[3] = {word[i], word[i + 1], '\0'};
    text += static_cast<char>(std::strtol(pair, nullptr, 16));
  }
  return text;
}

std::string hex(const std::string& text) {
  if (text.empty()) return "-";
  std::string out;
  char pair[3];
  for (unsigned char c : text) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

std::vector<std::string> words_of(char* line) {
  std::vector<std::string> words;
  for (char* word = std::strtok(line, " \r\n"); word != nullptr;
       word = std::strtok(nullptr, " \r\n")) {
    words.push_back(word);
  }
  return words;
}

void run_line(const std::vector<std::string>& w, const std::string& folder, std::string& file,
              FILE* out) {
  if (w[0] == "file") {
    file = folder + unhex(w[1].c_str());
    std::fprintf(out, "file %s\n", w[1].c_str());
  } else if (w[0] == "int" && w.size() == 4) {
    int value = read_int(unhex(w[1].c_str()), unhex(w[2].c_str()), std::atoi(w[3].c_str()), file);
    std::fprintf(out, "int %d\n", value);
  } else if (w[0] == "str" && w.size() == 5) {
    std::string value = read_string(unhex(w[1].c_str()), unhex(w[2].c_str()), unhex(w[3].c_str()),
                                    static_cast<unsigned>(std::atoi(w[4].c_str())), file);
    std::fprintf(out, "str %s\n", hex(value).c_str());
  } else if (w[0] == "write" && w.size() == 4) {
    bool ok = write_string(unhex(w[1].c_str()), unhex(w[2].c_str()), unhex(w[3].c_str()), file);
    std::fprintf(out, "write %d\n", ok ? 1 : 0);
  } else {
    std::fprintf(out, "bad %s\n", w[0].c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ini_script BATCH FOLDER OUTPUT\n");
    return 2;
  }
  FILE* batch = std::fopen(argv[1], "rb");
  FILE* out = std::fopen(argv[3], "wb");
  if (batch == nullptr || out == nullptr) {
    std::fprintf(stderr, "ini_script: cannot open %s or %s\n", argv[1], argv[3]);
    return 2;
  }
  std::string file;
  static char line[1 << 16];
  while (std::fgets(line, sizeof line, batch) != nullptr) {
    std::vector<std::string> words = words_of(line);
    if (!words.empty()) run_line(words, argv[2], file, out);
  }
  std::fclose(batch);
  return std::fclose(out) == 0 ? 0 : 1;
}
