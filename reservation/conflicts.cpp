#include "reservation/conflicts.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"
#include "reservation/texts.h"

namespace {

std::vector<std::string> blank_separated(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t begin = line.find_first_not_of(" \t\r\n", at);
    if (begin == std::string::npos) break;
    std::size_t end = line.find_first_of(" \t\r\n", begin);
    if (end == std::string::npos) end = line.size();
    words.push_back(line.substr(begin, end - begin));
    at = end;
  }
  return words;
}

void set_window(booked_programme& p) {
  long long day = day_number(p.year, p.month, p.day) * 1440;
  p.start = day + job_start_minutes(p);
  p.end = day + job_end_minutes(p);
  p.has_window = true;
}

bool overlaps(const booked_programme& a, const booked_programme& b) {
  return a.start < b.end && b.start < a.end;
}

bool same_programme(const booked_programme& a, const booked_programme& b) {
  return a.channel == b.channel && a.start == b.start;
}

std::string named(const booked_programme& p) {
  return p.id + " " + p.channel + " " + p.span + " " + p.title;
}

// The most recordings running at one moment inside fresh's window, fresh's
// own included.
int most_at_once(const booked_programme& fresh, const std::vector<booked_programme>& others) {
  std::vector<std::pair<long long, int>> events;  // ends sort before starts
  for (const booked_programme& other : others) {
    events.emplace_back(std::max(other.start, fresh.start), 1);
    events.emplace_back(std::min(other.end, fresh.end), -1);
  }
  std::sort(events.begin(), events.end());
  int running = 0;
  int most = 0;
  for (const auto& event : events) most = std::max(most, running += event.second);
  return most + 1;
}

std::string joined(const char* prefix, const std::vector<booked_programme>& programmes) {
  std::string line = prefix;
  for (std::size_t i = 0; i < programmes.size(); ++i) {
    if (i > 0) line += k_text_name_separator;
    line += named(programmes[i]);
  }
  return line;
}

// Reads the last seven words of a listing line (or of a scheduler command)
// as a booked programme, its number "Y" and digits. False for a line that
// is not a job of ours.
bool read_booked_programme(const std::string& line, booked_programme& p) {
  p = booked_programme();
  if (read_job_fields(blank_separated(line), p) != job_field::none) return false;
  const std::string& id = p.id;
  if (id.size() < 2 || id[0] != 'Y' || id.find_first_not_of("0123456789", 1) != std::string::npos) {
    return false;
  }
  set_window(p);
  return true;
}

}  // namespace

std::vector<booked_programme> read_booking_listing(const std::string& listing) {
  std::vector<booked_programme> programmes;
  std::size_t begin = 0;
  while (begin < listing.size()) {
    std::size_t end = listing.find('\n', begin);
    if (end == std::string::npos) end = listing.size();
    booked_programme p;
    if (read_booked_programme(listing.substr(begin, end - begin), p)) programmes.push_back(p);
    begin = end + 1;
  }
  return programmes;
}

booked_programme booked_form(const reservation& r, int no) {
  std::string fields = format_text("Y%04d %s %02d:%02d-%02d:%02d %04d %02d %02d %s", no,
                                   r.channel.c_str(), r.start_hour, r.start_minute, r.end_hour,
                                   r.end_minute, r.year, r.month, r.date, r.title.c_str());
  booked_programme p;
  read_booked_programme(fields, p);
  return p;
}

std::string conflict_line(const booked_programme& fresh,
                          const std::vector<booked_programme>& booked, int tuners) {
  std::vector<booked_programme> same;
  std::vector<booked_programme> overlapping;
  if (!fresh.has_window) return {};
  for (const booked_programme& other : booked) {
    if (!other.has_window) continue;
    if (same_programme(fresh, other)) same.push_back(other);
    if (overlaps(fresh, other)) overlapping.push_back(other);
  }
  if (!same.empty()) return joined(k_text_same_reserved, same);
  if (overlapping.empty() || most_at_once(fresh, overlapping) <= tuners) return {};
  return joined(k_text_overlapping, overlapping);
}

std::string with_conflict_line(const std::string& confirmation, const std::string& line) {
  if (line.empty()) return confirmation;
  // The line gives way, not the question after it.
  std::string shown = line;
  std::size_t room =
      k_text_limit > confirmation.size() + 2 ? k_text_limit - confirmation.size() - 2 : 0;
  cut_text(shown, room);
  std::size_t last = confirmation.rfind("\r\n");
  if (last == std::string::npos) return shown + "\r\n" + confirmation;
  return confirmation.substr(0, last + 2) + shown + confirmation.substr(last);
}
