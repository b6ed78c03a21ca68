#include "reservation/server_ids.h"

#include <cstddef>

#include "reservation/job_fields.h"

namespace {

constexpr long long k_service_id_limit = 0xFFFF;
constexpr long long k_terrestrial_low = 0x7880;
constexpr long long k_terrestrial_high = 0x7FE8;
constexpr long long k_bs_network = 4;
constexpr long long k_cs_low = 6;
constexpr long long k_cs_high = 7;
constexpr long long k_channel_factor = 100000;
constexpr long long k_network_factor = 10000000000LL;
constexpr long long k_service_factor = 100000;
constexpr std::size_t k_event_id_digits = 15;
constexpr long long k_ms_per_minute = 60000;
constexpr int k_minutes_per_day = 1440;

int digit_value(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The number in text from at to its end in base; false when empty, not all
// digits or over limit.
bool read_number(const std::string& text, std::size_t at, int base, long long limit,
                 long long& value) {
  if (at >= text.size()) return false;
  long long n = 0;
  for (std::size_t i = at; i < text.size(); ++i) {
    int d = digit_value(text[i], base);
    if (d < 0) return false;
    n = n * base + d;
    if (n > limit) return false;
  }
  value = n;
  return true;
}

bool is_url_byte(char c) { return c > ' ' && c < 0x7F; }

// The authority (user:password@host:port) is checked apart from the rest:
// a port must be digits, a host must be there.
bool host_and_port_fit(const std::string& host_port) {
  if (host_port.empty()) return false;
  std::size_t port_at = std::string::npos;
  if (host_port[0] == '[') {
    std::size_t close = host_port.find(']');
    if (close == std::string::npos || close == 1) return false;
    if (close + 1 < host_port.size() && host_port[close + 1] != ':') return false;
    if (close + 1 < host_port.size()) port_at = close + 2;
  } else {
    std::size_t colon = host_port.find(':');
    if (colon == 0) return false;
    if (colon != std::string::npos) port_at = colon + 1;
  }
  long long port = 0;
  if (port_at == std::string::npos) return true;
  return read_number(host_port, port_at, 10, 65535, port) && port > 0;
}

// The user part shown with its password masked.
std::string masked_user(const std::string& user_info) {
  std::size_t colon = user_info.find(':');
  if (colon == std::string::npos) return user_info + "@";
  return user_info.substr(0, colon) + ":***@";
}

}  // namespace

station_service service_of_station(const std::string& code) {
  long long id = 0;
  if (code.starts_with("DFS") && code.size() <= 3 + 8 &&
      read_number(code, 3, 16, k_service_id_limit, id)) {
    return {true, broadcast::gr, id, k_terrestrial_low, k_terrestrial_high};
  }
  if (code.starts_with("BSDT") && read_number(code, 4, 10, k_service_id_limit, id)) {
    return {true, broadcast::bs, id, k_bs_network, k_bs_network};
  }
  if (code.starts_with("CSDT") && read_number(code, 4, 10, k_service_id_limit, id)) {
    return {true, broadcast::cs, id, k_cs_low, k_cs_high};
  }
  return {};
}

bool network_fits(const station_service& service, long long network_id) {
  return service.known && network_id >= service.network_low && network_id <= service.network_high;
}

const char* broadcast_name(broadcast type) {
  switch (type) {
    case broadcast::bs:
      return "BS";
    case broadcast::cs:
      return "CS";
    case broadcast::gr:
      break;
  }
  return "GR";
}

long long channel_id_of(long long network_id, long long service_id) {
  return network_id * k_channel_factor + service_id;
}

long long programme_id_of(long long network_id, long long service_id, long long event_id) {
  if (event_id >= k_network_factor) return event_id;
  return network_id * k_network_factor + service_id * k_service_factor + event_id;
}

bool read_event_id(const std::string& text, long long& event_id) {
  std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return false;
  std::size_t end = text.find_last_not_of(" \t\r\n") + 1;
  std::string digits = text.substr(begin, end - begin);
  if (digits.size() > k_event_id_digits) return false;
  return read_number(digits, 0, 10, 999999999999999LL, event_id);
}

server_address read_server_url(const std::string& setting) {
  std::size_t begin = setting.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  std::string url = setting.substr(begin, setting.find_last_not_of(" \t") + 1 - begin);
  for (char c : url) {
    if (!is_url_byte(c) || c == '?' || c == '#') return {};
  }
  std::size_t scheme_end = url.find("://");
  std::string scheme = url.substr(0, scheme_end);
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (scheme_end == std::string::npos || (scheme != "http" && scheme != "https")) return {};
  std::size_t authority_at = scheme_end + 3;
  std::size_t path_at = url.find('/', authority_at);
  if (path_at == std::string::npos) path_at = url.size();
  std::string authority = url.substr(authority_at, path_at - authority_at);
  std::size_t at_sign = authority.rfind('@');
  std::string host_port = at_sign == std::string::npos ? authority : authority.substr(at_sign + 1);
  if (!host_and_port_fit(host_port)) return {};
  while (url.size() > path_at && url.back() == '/') url.pop_back();
  server_address address;
  address.valid = true;
  address.base = url;
  std::string user = at_sign == std::string::npos ? "" : masked_user(authority.substr(0, at_sign));
  address.shown = url.substr(0, authority_at) + user +
                  url.substr(authority_at + authority.size() - host_port.size());
  return address;
}

window_ms programme_window_ms(const reservation& programme, int rec_end_offset,
                              int utc_offset_minutes) {
  long long day = day_number(programme.year, programme.month, programme.date) * k_minutes_per_day;
  long long start = programme.start_hour * 60LL + programme.start_minute;
  long long end = start / k_minutes_per_day * k_minutes_per_day +
                  (programme.end_hour * 60LL + programme.end_minute) % k_minutes_per_day;
  if (end <= start) end += k_minutes_per_day;
  window_ms window;
  window.start_ms = (day + start - utc_offset_minutes) * k_ms_per_minute;
  window.end_ms = (day + end + rec_end_offset - utc_offset_minutes) * k_ms_per_minute;
  return window;
}

std::string fold_width(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto b1 = static_cast<unsigned char>(i + 1 < utf8.size() ? utf8[i + 1] : 0);
    auto b2 = static_cast<unsigned char>(i + 2 < utf8.size() ? utf8[i + 2] : 0);
    bool lead = static_cast<unsigned char>(utf8[i]) == 0xEF;
    // U+FF10-FF3F are EF BC 90-BF, U+FF40-FF5F are EF BD 80-9F.
    if (lead && b1 == 0xBC && ((b2 >= 0x90 && b2 <= 0x99) || (b2 >= 0xA1 && b2 <= 0xBA))) {
      out += static_cast<char>(b2 - 0x90 + '0');
      i += 2;
    } else if (lead && b1 == 0xBD && b2 >= 0x81 && b2 <= 0x9A) {
      out += static_cast<char>(b2 - 0x81 + 'a');
      i += 2;
    } else {
      out += utf8[i];
    }
  }
  return out;
}

bool station_names_match(const std::string& utf8_a, const std::string& utf8_b) {
  std::string a = fold_width(utf8_a);
  std::string b = fold_width(utf8_b);
  if (a.empty() || b.empty()) return false;
  return a.find(b) != std::string::npos || b.find(a) != std::string::npos;
}
