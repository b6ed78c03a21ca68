// Fuzz target: the title cleaning on any bytes. After cleaning no byte that
// stands on its own is one the cleaning replaces, no space or control byte
// is left at all, the title does not start with "-", and nothing but those
// bytes has changed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "reservation/iepg_reader.h"

namespace {

// The bytes a command line or a shell would read as more than a character.
constexpr char k_replaced[] = " \"*/:;<>?|&^%";

bool is_control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool may_become_underscore(const std::string& original, std::size_t i) {
  char c = original[i];
  return std::strchr(k_replaced, c) != nullptr || is_control(c) || (i == 0 && c == '-');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A title is a terminated text: it never holds a NUL.
  std::string original(reinterpret_cast<const char*>(data), size);
  original.resize(std::strlen(original.c_str()));
  std::string title = original;
  sanitize_title(title);
  require(title.size() == original.size(), "length kept");
  require(!has_single_byte_of(title, k_replaced), "no replaced byte stands alone");
  require(title.find(' ') == std::string::npos, "no space left");
  require(title.empty() || title[0] != '-', "no leading -");
  for (std::size_t i = 0; i < title.size(); ++i) {
    require(!is_control(title[i]), "no control byte left");
    if (title[i] == original[i]) continue;
    require(title[i] == '_' && may_become_underscore(original, i),
            "only replaced bytes change, and only to _");
  }
  return 0;
}
