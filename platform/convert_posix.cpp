#include <iconv.h>

#include <cerrno>

#include "platform/convert.h"
#include "platform/text.h"

std::string convert_from_sjis(const std::string& text, const char* charset) {
  iconv_t cd = iconv_open(charset, "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  while (in_left > 0) {
    char buffer[1024];
    char* put = buffer;
    std::size_t put_left = sizeof buffer;
    std::size_t result = iconv(cd, &in, &in_left, &put, &put_left);
    out.append(buffer, static_cast<std::size_t>(put - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      std::size_t skip = is_sjis_lead(static_cast<unsigned char>(*in)) && in_left > 1 ? 2 : 1;
      out += '?';
      in += skip;
      in_left -= skip;
    }
  }
  iconv_close(cd);
  return out;
}
