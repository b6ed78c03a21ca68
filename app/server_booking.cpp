#include "app/server_booking.h"

#include <ctime>

#include "app/notice.h"
#include "app/settings.h"
#include "platform/convert.h"
#include "platform/http.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/conflicts.h"
#include "reservation/server_texts.h"
#include "reservation/texts.h"
#include "tools/rec/rec_names.h"

namespace {

// 起動時刻: the head of the confirmation's launch line.
constexpr char k_text_launch_line_head[] =
    "\x8B"
    "N\x93\xAE\x8E\x9E\x8D\x8F:";
// Each request is given up after this: the question must not wait long on
// a server that does not answer.
constexpr long k_request_ms = 5000;
// EPGStation is asked page by page; a server that never says it is done is
// not asked for ever.
constexpr int k_most_pages = 200;
constexpr std::size_t k_url_buffer = 1024;

std::string utf8_of(const std::string& sjis) { return convert_from_sjis(sjis, "UTF-8"); }
std::string sjis_of(const std::string& utf8) { return convert_to_sjis(utf8, "UTF-8"); }

platform::http_result ask_server(const server_run& server, const server_request& request) {
  return platform::send_request(request.method, server.address.base + request.path, request.body,
                                k_request_ms);
}

// Why an answer that was expected with status 200 could not be used.
std::string why_not(const server_run& server, const platform::http_result& answer) {
  if (!answer.sent) return unreachable_reason(answer.error);
  if (answer.status != 200) {
    return failure_reason(server.kind, answer.status, error_name_of(answer.body));
  }
  return unreadable_reason(answer.status);
}

void tell_failure(const server_run& server, const std::string& reason,
                  programme_position position) {
  std::string notice =
      format_text(k_format_server_failed, server.address.shown.c_str(), reason.c_str());
  show_notice(with_programme_position(notice, position));
}

// The minutes the local clock is ahead of UTC now (540 in Japan).
int utc_offset_minutes() {
  std::time_t now = std::time(nullptr);
  std::tm utc = *std::gmtime(&now);
  utc.tm_isdst = -1;
  return static_cast<int>((now - std::mktime(&utc)) / 60);
}

// "HH:MM-HH:MM" of a window by the local clock.
std::string clock_span(const window_ms& window) {
  auto clock = [](long long ms) {
    long long minutes = ms / 60000 + utc_offset_minutes();
    long long of_day = ((minutes % 1440) + 1440) % 1440;
    return format_text("%02lld:%02lld", of_day / 60, of_day % 60);
  };
  return clock(window.start_ms) + "-" + clock(window.end_ms);
}

// The server's name as the question and the notices give it.
const char* kind_name(server_kind kind) {
  return kind == server_kind::epgstation ? "EPGStation" : "mirakc";
}

// Tells EPGStation from mirakc (and a Mirakurun alone, which keeps no
// schedule) and reads the channels; empty on success, otherwise why not.
std::string identify(server_run& server) {
  platform::http_result answer = ask_server(server, version_request());
  server_version version = read_version(answer.status, answer.body);
  if (!answer.sent) return unreachable_reason(answer.error);
  if (version.kind == server_kind::none) return k_reason_not_a_server;
  server.kind = version.kind;
  if (version.kind == server_kind::mirakurun) {
    platform::http_result listed = ask_server(server, schedules_request());
    if (!listed.sent) return unreachable_reason(listed.error);
    if (!schedules_listed(listed.status, listed.body)) return k_reason_mirakurun_alone;
    server.kind = server_kind::mirakc;
    // The list that told mirakc apart is its whole schedule: kept, not
    // asked for again before the question.
    long long total = 0;
    server.reservations_listed =
        read_reservations(server.kind, listed.body, server.reservations, total);
  }
  server.name = std::string(kind_name(server.kind)) + " " + sjis_of(version.version);
  answer = ask_server(server, channels_request(server.kind));
  if (!answer.sent || answer.status != 200 ||
      !read_channels(server.kind, answer.body, server.channels)) {
    return why_not(server, answer);
  }
  return {};
}

// The server's reservations, read once a run (EPGStation page by page) and
// kept up to date with what the run books. Empty on success.
std::string list_reservations(server_run& server) {
  if (server.reservations_listed) return {};
  long long total = 0;
  for (int page = 0; page < k_most_pages; ++page) {
    auto offset = static_cast<long long>(server.reservations.size());
    platform::http_result answer = ask_server(server, reservations_request(server.kind, offset));
    std::vector<server_reservation> got;
    if (!answer.sent || answer.status != 200 ||
        !read_reservations(server.kind, answer.body, got, total)) {
      return why_not(server, answer);
    }
    server.reservations.insert(server.reservations.end(), got.begin(), got.end());
    if (server.kind != server_kind::epgstation || got.empty() ||
        static_cast<long long>(server.reservations.size()) >= total) {
      break;
    }
  }
  server.reservations_listed = true;
  return {};
}

}  // namespace

bool read_server_setting(server_run& server) {
  std::string setting = platform::profile_read_string("SERVER", "url", "", k_url_buffer,
                                                      g_settings.settings_path.c_str());
  server.address = read_server_url(setting);
  return !setting.empty();
}

namespace {

// What one booking on the server is: its channel, its programme when the
// server knows it, and its window.
struct server_booking {
  server_channel channel;
  long long programme_id = 0;  // 0: booked by time
  window_ms window;
  std::string times_shown;   // the server's times where they are not the file's
  std::string content_path;  // mirakc's file, relative to its recording folder
  // Among the server's reservations, read once for the question and for a
  // refusal's notice.
  server_collisions collisions;
};

// The server's channels whose names match the station, for the user to copy
// an id from.
std::string candidates_of(const server_run& server, const reservation& r) {
  std::vector<server_channel> found = channels_named(server.channels, utf8_of(r.station));
  if (found.empty() && !r.station_name.empty()) {
    found = channels_named(server.channels, utf8_of(r.station_name));
  }
  std::string lines;
  for (const server_channel& channel : found) {
    if (lines.size() > k_text_limit) break;  // the notice is cut there anyway
    lines += (lines.empty() ? "" : "\r\n") + sjis_of(channel.name) + "=" +
             std::to_string(channel.channel_id);
  }
  return lines;
}

// The station's channel on the server: a digital file's station code names
// its service; any other station's [TVCH] value is the server's channel id.
// Empty on success, otherwise the notice to show.
std::string find_channel(const server_run& server, const reservation& r, server_channel& out) {
  station_service service = service_of_station(r.station);
  const server_channel* found = nullptr;
  if (service.known) {
    found = find_station_channel(service, server.channels);
  } else if (r.channel.empty()) {
    std::string notice = format_text(k_format_no_channel, shown_station(r).c_str());
    std::string candidates = candidates_of(server, r);
    if (candidates.empty()) return notice;
    return notice + "\r\n" + format_text(k_format_server_candidates, candidates.c_str());
  } else {
    for (const server_channel& channel : server.channels) {
      if (std::to_string(channel.channel_id) == r.channel) found = &channel;
    }
  }
  if (found == nullptr) {
    std::string reason = k_reason_channel_not_found;
    return format_text(k_format_server_failed, server.address.shown.c_str(),
                       (reason + " " + shown_station(r)).c_str());
  }
  out = *found;
  return {};
}

// The server's times as the question shows them when they are not the
// file's to the minute (a guide's file has no seconds), with the date when
// that is not the file's either: the server books the programme it holds.
// Empty when they are the file's.
std::string times_unlike_file(const window_ms& server, const window_ms& file) {
  auto minute = [](long long ms) { return ms / 60000; };
  if (minute(server.start_ms) == minute(file.start_ms) &&
      minute(server.end_ms) == minute(file.end_ms)) {
    return {};
  }
  auto local_day = [](long long ms) { return (ms / 60000 + utc_offset_minutes()) / 1440; };
  if (local_day(server.start_ms) == local_day(file.start_ms)) return clock_span(server);
  std::time_t shifted = static_cast<std::time_t>(server.start_ms / 1000) +
                        static_cast<std::time_t>(utc_offset_minutes()) * 60;
  std::tm day = *std::gmtime(&shifted);
  return format_text("%04d/%02d/%02d ", day.tm_year + 1900, day.tm_mon + 1, day.tm_mday) +
         clock_span(server);
}

// The programme on the server when the file names one it knows; otherwise
// a booking by time. Empty on success, otherwise why not.
std::string find_programme(const server_run& server, const reservation& r, server_booking& b) {
  window_ms file_window = programme_window_ms(r, 0, utc_offset_minutes());
  b.window = programme_window_ms(r, g_settings.rec_end_offset, utc_offset_minutes());
  long long event_id = 0;
  if (!r.program_id.empty() && read_event_id(r.program_id, event_id)) {
    long long id = programme_id_of(b.channel.network_id, b.channel.service_id, event_id);
    platform::http_result answer = ask_server(server, programme_request(server.kind, id));
    server_programme known;
    if (!answer.sent) return unreachable_reason(answer.error);
    if (answer.status == 200 && read_programme(server.kind, answer.body, known)) {
      b.programme_id = known.programme_id;
      b.window = {known.start_ms, known.end_ms};
      b.times_shown = times_unlike_file(b.window, file_window);
      return {};
    }
  }
  // mirakc books only what its programme guide holds.
  if (server.kind == server_kind::mirakc) {
    return r.program_id.empty() ? k_reason_mirakc_needs_programme : k_reason_programme_not_found;
  }
  return {};
}

// REC's [REC] type words; SKY (the premium CS services) records as CS.
std::string recording_type(const server_channel& channel) {
  if (channel.type == "GR" || channel.type == "BS") return channel.type;
  return channel.type.empty() ? rec::channel_type(std::to_string(channel.channel_id)) : "CS";
}

// The file mirakc records the programme into, named as REC names a
// recording here ([REC] name=), the programme id standing for the
// reservation number a server booking does not take. Empty on success,
// otherwise why not.
std::string name_recording(const reservation& r, server_booking& b) {
  rec::programme show;
  show.id = std::to_string(b.programme_id);
  show.channel = std::to_string(b.channel.channel_id);
  rec::values with =
      rec::values_of(show, utf8_of(r.title), b.window.start_ms / 1000, b.window.end_ms / 1000);
  with.type = recording_type(b.channel);
  with.seconds = std::to_string((b.window.end_ms - b.window.start_ms) / 1000);
  std::string pattern = utf8_from_system(platform::profile_read_path(
      rec::k_section, "name", "", k_url_buffer, g_settings.settings_path.c_str()));
  std::string error = rec::server_file_name(pattern, with, b.content_path);
  if (error.empty()) return {};
  return k_reason_recording_name + (k_open_paren + sjis_of(error) + k_close_paren);
}

// The reservations as the question names them: number, local times, name,
// each after a 、 as the local conflict line separates them.
std::string named(const std::vector<server_reservation>& reservations) {
  std::string names;
  for (const server_reservation& reserved : reservations) {
    if (!names.empty()) names += k_text_name_separator;
    names += std::to_string(reserved.reservation_id) + " " +
             clock_span({reserved.start_ms, reserved.end_ms}) + " " + sjis_of(reserved.name);
  }
  return names;
}

// The lines the question gains: the server, how it books, its times, and
// what the booking collides with among its reservations.
std::string question_lines(const server_run& server, const server_booking& b) {
  std::string lines = format_text(k_format_server_line, server.name.c_str());
  if (b.programme_id == 0) lines += std::string("\r\n") + k_text_server_by_time;
  if (!b.times_shown.empty()) {
    lines += "\r\n" + format_text(k_format_server_times, b.times_shown.c_str());
  }
  if (!b.collisions.same.empty()) {
    lines.append("\r\n").append(k_text_same_reserved).append(named(b.collisions.same));
  }
  if (!b.collisions.overlapping.empty()) {
    lines.append("\r\n").append(k_text_overlapping).append(named(b.collisions.overlapping));
  }
  return lines;
}

// The confirmation of a local booking, with the server's channel id where
// the tuner channel stands and without the line of the local launch time,
// which means nothing when the server records.
std::string server_confirmation(reservation r, const server_booking& b,
                                programme_position position) {
  r.channel = std::to_string(b.channel.channel_id);
  std::string text = format_confirmation(r, position);
  std::size_t launch = text.find(k_text_launch_line_head);
  std::size_t next = launch == std::string::npos ? launch : text.find("\r\n", launch);
  if (next != std::string::npos) text.erase(launch, next + 2 - launch);
  return text;
}

platform::programme_answer ask(const std::string& text, programme_position position) {
  if (position.count == 0) {
    return ask_ok_cancel(text) ? platform::programme_answer::book
                               : platform::programme_answer::skip;
  }
  return ask_programme(text + "\r\n" + k_text_programme_answers);
}

// Sends the booking and tells its outcome; the run's list of the server's
// reservations gains it.
void send_booking(server_run& server, const reservation& r, const server_booking& b,
                  programme_position position) {
  std::string title = utf8_of(r.title);
  server_request request = b.programme_id != 0
                               ? book_programme_request(server.kind, b.programme_id, b.content_path)
                               : book_time_request(title, b.channel.channel_id, b.window);
  platform::http_result sent = ask_server(server, request);
  if (!sent.sent) return tell_failure(server, unreachable_reason(sent.error), position);
  booking_answer answer = read_booking_answer(server.kind, sent.status, sent.body);
  if (!answer.booked) {
    std::string reason = failure_reason(server.kind, answer.status, answer.error_name);
    if (!b.collisions.overlapping.empty()) {
      reason.append("\n").append(k_text_server_collides).append(named(b.collisions.overlapping));
    }
    return tell_failure(server, reason, position);
  }
  server_reservation booked;
  booked.reservation_id = answer.reservation_id;
  booked.has_programme = b.programme_id != 0;
  booked.programme_id = b.programme_id;
  booked.channel_id = b.channel.channel_id;
  booked.start_ms = b.window.start_ms;
  booked.end_ms = b.window.end_ms;
  booked.name = title;
  server.reservations.push_back(booked);
  std::string id = answer.has_id ? std::to_string(answer.reservation_id) : "?";
  show_notice(format_text(k_format_server_booked, kind_name(server.kind), id.c_str()));
}

}  // namespace

bool book_on_server(server_run& server, reservation& r, programme_position position) {
  if (!server.asked) {
    server.asked = true;
    std::string why =
        server.address.valid ? identify(server) : unreachable_reason("not an http or https URL");
    server.usable = why.empty();
    if (!server.usable) tell_failure(server, why, {});
  }
  if (!server.usable) return false;
  server_booking b;
  std::string notice = find_channel(server, r, b.channel);
  if (!notice.empty()) {
    show_notice(with_programme_position(notice, position));
    return true;
  }
  std::string why = find_programme(server, r, b);
  if (why.empty() && server.kind == server_kind::mirakc) why = name_recording(r, b);
  if (why.empty()) why = list_reservations(server);
  if (!why.empty()) {
    tell_failure(server, why, position);
    return true;
  }
  b.collisions =
      find_collisions(server.reservations, b.programme_id, b.channel.channel_id, b.window);
  std::string text =
      with_conflict_line(server_confirmation(r, b, position), question_lines(server, b));
  platform::programme_answer answer = ask(text, position);
  if (answer != platform::programme_answer::book) return answer == platform::programme_answer::skip;
  send_booking(server, r, b, position);
  return true;
}
