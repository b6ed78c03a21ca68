// Runs a batch of profile scripts and prints every result, so that the
// same batch can go through the Windows profile functions (this file built
// with mingw-w64 and run under Wine) and through our own implementation
// (built for Linux over platform/ini.cpp), and the outputs be compared.
// On Linux the INI rules are driven directly over the file's Shift_JIS
// bytes, as the POSIX files layer drives them after its conversion from
// the UTF-8 file: the structure is what is compared here; the conversion
// and the file handling have their own tests.
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
#include "platform/ini.h"
#include "platform/platform.h"
#endif

namespace {

#ifndef _WIN32
// "layer platform" sends the operations through the tool's own file layer
// (files with a byte order mark, read and written in their own encoding);
// "layer ini" back to the INI rules over the file's bytes.
bool g_platform_layer = false;

bool read_bytes(const std::string& path, std::string& bytes) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, got);
  std::fclose(in);
  return true;
}

// As the files layer stores a key: an unchanged file is not written.
bool store_key(const std::string& s, const std::string& k, const std::string& v,
               const std::string& f) {
  std::string text;
  bool exists = read_bytes(f, text);
  std::string changed = ini_write_string(text, s.c_str(), k.c_str(), v.c_str());
  if (exists && changed == text) return true;
  FILE* out = std::fopen(f.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(changed.data(), 1, changed.size(), out) == changed.size();
  return std::fclose(out) == 0 && ok;
}
#endif

int read_int(const std::string& s, const std::string& k, int fallback, const std::string& f) {
#ifdef _WIN32
  return static_cast<int>(GetPrivateProfileIntA(s.c_str(), k.c_str(), fallback, f.c_str()));
#else
  if (g_platform_layer)
    return platform::profile_read_int(s.c_str(), k.c_str(), fallback, f.c_str());
  std::string text;
  if (!read_bytes(f, text)) return fallback;
  return ini_read_int(text, s.c_str(), k.c_str(), fallback);
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
  if (g_platform_layer) {
    return platform::profile_read_string(s.c_str(), k.c_str(), fallback.c_str(), size, f.c_str());
  }
  std::string text;
  read_bytes(f, text);
  return ini_read_string(text, s.c_str(), k.c_str(), fallback.c_str(), size).c_str();
#endif
}

bool write_string(const std::string& s, const std::string& k, const std::string& v,
                  const std::string& f) {
#ifdef _WIN32
  return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
#else
  if (g_platform_layer)
    return platform::profile_write_string(s.c_str(), k.c_str(), v.c_str(), f.c_str());
  return store_key(s, k, v, f);
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
  if (w[0] == "layer" && w.size() == 2) {
#ifndef _WIN32
    g_platform_layer = w[1] == "platform";
#endif
    std::fprintf(out, "layer %s\n", w[1].c_str());
  } else if (w[0] == "file") {
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
