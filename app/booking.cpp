#include "app/booking.h"

#include <cstdint>
#include <memory>

#include "app/notice.h"
#include "app/trace.h"
#include "app/trace_points.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/programme_list.h"
#include "reservation/schedule.h"
#include "reservation/server_ids.h"
#include "reservation/texts.h"

namespace {

constexpr std::uint64_t k_sum_start = 14695981039346656037ull;
constexpr std::uint64_t k_sum_prime = 1099511628211ull;

// Enters the stations noted; a notice about them then says why when the
// settings file is never written.
std::string with_stations_stored(booking_run& run, const std::string& notice) {
  if (store_new_stations(run.to_enter)) return notice;
  std::string why = unwritable_settings_notice();
  return why.empty() ? notice : notice + "\r\n" + why;
}

}  // namespace

reservation look_up_stations(booking_run& run, const scanned_programme& scanned) {
  reservation r = scanned.programme;
  auto look_up = [&](const std::string& station) {
    // lookup_channel never enters such a station; the flag picks the notice.
    r.station_refused = !is_keepable_station(station);
    // The server finds a digital station by its service code, never through
    // [TVCH]: an empty line there for it would only wait to be filled in.
    new_stations never_entered;
    bool by_code = run.on_server && service_of_station(station).known;
    r.channel = lookup_channel(station, by_code ? never_entered : run.to_enter, run.on_server);
    return r.channel;
  };
  std::size_t next = 0;
  for (const scan_note& note : scanned.notes) {
    if (note.point == k_trace_station && next < scanned.stations.size()) {
      trace(note.point, station_note(look_up(scanned.stations[next++]), note.text));
    } else {
      trace(note.point, note.text);
    }
  }
  // Without notes (outside debug mode) no station has been looked up yet.
  for (; next < scanned.stations.size(); ++next) look_up(scanned.stations[next]);
  return r;
}

bool finish_reservation(booking_run& run, reservation& r, programme_position position) {
  if (!r.station_refused && run.on_server) return book_on_server(run.server, r, position);
  if (!r.station_refused && r.channel.empty() && position.count != 0) {
    std::string station = shown_station(r);
    if (run.told.insert(station).second) run.to_tell.push_back(station);
    return true;
  }
  if (r.station_refused || r.channel.empty()) {
    const char* format = r.station_refused ? k_format_station_refused : k_format_no_channel;
    std::string notice = with_stations_stored(run, format_text(format, shown_station(r).c_str()));
    trace(k_trace_no_channel, notice);
    show_notice(with_programme_position(notice, position));
    return true;
  }
  compute_schedule(r, g_settings.sch_start_offset, g_settings.rec_end_offset);
  return register_reservation(run, r, position);
}

namespace {

// The open programme file, read through a sum of its bytes: the pass that
// books must read what the pass that counted read.
struct summed_file {
  platform::input_file* file = nullptr;
  std::uint64_t sum = k_sum_start;
  std::uint64_t size = 0;
};

std::size_t read_summed(void* source, unsigned char* buffer, std::size_t size) {
  auto* summed = static_cast<summed_file*>(source);
  std::size_t got = platform::read_input_file(summed->file, buffer, size);
  // FNV-1a: any change to a byte, or to where bytes stand, changes it.
  for (std::size_t i = 0; i < got; ++i) summed->sum = (summed->sum ^ buffer[i]) * k_sum_prime;
  summed->size += got;
  return got;
}

// Back to the first byte of the one file opened, whatever has since been
// put in its place, with the sum started afresh. The only way a file is read
// again.
bool start_again(summed_file& file) {
  file.sum = k_sum_start;
  file.size = 0;
  return platform::rewind_input_file(file.file);
}

std::string cannot_open_notice(const std::string& path) {
  return format_text(k_format_cannot_open, platform::shown_text(path).c_str());
}

platform::input_file* open_programme_file(const std::string& path) {
  platform::input_file* file = path.empty() ? nullptr : platform::open_input_file(path.c_str());
  if (file == nullptr) {
    std::string notice = cannot_open_notice(path);
    trace(k_trace_cannot_open, notice);
    show_notice(notice);
  }
  return file;
}

// The reading of one file: the list's own buffer, which holds the file's
// bytes, and the line scan's, which holds one programme's; both too large
// for the stack of a small tool.
struct file_reading {
  programme_list list;
  unsigned char scan_buffer[k_scan_buffer_size] = {};
};

// One programme scanned from input into a reservation with its channel.
reservation scan_programme(booking_run& run, scan_input& input) {
  scanned_programme scanned;
  scan_iepg_data(input, scanned, trace_enabled());
  return look_up_stations(run, scanned);
}

// Scanned whole and closed before anything is shown, so that the file is
// not held open while the user reads the question.
void read_one_programme(booking_run& run, summed_file& file, file_reading& reading) {
  scan_input input = scan_source(read_summed, &file, reading.scan_buffer);
  reservation r = scan_programme(run, input);
  platform::close_input_file(file.file);
  finish_reservation(run, r);
}

// Each block is scanned as a one-programme file is, into a fresh
// reservation, and carried on before the next block is read. A block past
// the count, or a file that did not read as it was counted, was changed
// since: nothing more is booked from it, and the user is told.
void read_programmes(booking_run& run, summed_file& file, file_reading& reading, int count) {
  programme_list& list = reading.list;
  summed_file counted = file;
  bool same = start_again(file) && start_programme_list(list, read_summed, &file);
  int index = 0;
  while (same && next_programme_block(list)) {
    scan_input input = scan_source(read_programme_block, &list, reading.scan_buffer);
    reservation r = scan_programme(run, input);
    if (!finish_programme_block(list)) continue;
    if (index == count) {
      same = false;
      break;
    }
    if (!finish_reservation(run, r, {++index, count})) return;
  }
  if (!same || file.sum != counted.sum || file.size != counted.size) {
    trace(k_trace_no_channel, k_text_list_changed);
    show_notice(k_text_list_changed);
  }
}

// Every station a file of several lacks a channel for, entered in the
// settings at once and named in one notice.
void tell_stations_without_channel(booking_run& run) {
  if (run.to_tell.empty()) {
    store_new_stations(run.to_enter);
    return;
  }
  std::string names;
  for (const std::string& station : run.to_tell) {
    if (names.size() > k_text_limit) break;  // the notice is cut there anyway
    names += (names.empty() ? "" : "\r\n") + station;
  }
  std::string notice = with_stations_stored(run, format_text(k_format_no_channels, names.c_str()));
  trace(k_trace_no_channel, notice);
  show_notice(notice);
}

}  // namespace

void read_iepg_file(const std::string& path) {
  summed_file file;
  file.file = open_programme_file(path);
  if (file.file == nullptr) return;
  auto reading = std::make_unique<file_reading>();
  booking_run run;
  run.on_server = read_server_setting(run.server);
  if (!start_programme_list(reading->list, read_summed, &file)) {
    // The header told a file of one programme: it is scanned from its first
    // byte, and closed in the scan's stage.
    if (start_again(file)) {
      read_one_programme(run, file, *reading);
      // Every station the file named is entered, whatever became of the
      // booking.
      if (!run.to_enter.names.empty()) store_new_stations(run.to_enter);
    } else {
      platform::close_input_file(file.file);
      show_notice(cannot_open_notice(path));
    }
    return;
  }
  int count = count_listed_programmes(reading->list);
  if (count == 0) {
    // The header promised several, but the body never used its boundary.
    platform::close_input_file(file.file);
    show_notice(format_text(k_format_no_programmes, platform::shown_text(path).c_str()));
    return;
  }
  read_programmes(run, file, *reading, count);
  platform::close_input_file(file.file);
  tell_stations_without_channel(run);
}

namespace {

const std::vector<booked_programme>& booked_programmes(booking_run& run) {
  if (run.booked_listed) return run.booked;
  run.booked_listed = true;
  platform::process_result listing = platform::scheduler_listing();
  if (listing.timed_out) {
    run.listing_note =
        format_text(k_format_listing_timed_out, static_cast<long>(platform::k_listing_seconds));
    return run.booked;
  }
  // A listing that cannot be had leaves it empty: it never stands in the
  // way of a booking.
  if (listing.started && listing.exit_status == 0)
    run.booked = read_booking_listing(listing.output);
  if (listing.cut) run.listing_note = k_text_listing_cut;
  return run.booked;
}

// The lines the question gains before it: what the booking collides with,
// and whether that could be told of every reservation.
std::string question_lines(booking_run& run, const booked_programme& fresh) {
  std::string lines = conflict_line(fresh, booked_programmes(run), g_settings.tuners);
  if (run.listing_note.empty()) return lines;
  return lines.empty() ? run.listing_note : lines + "\r\n" + run.listing_note;
}

// The question; for a programme of several with its three answers.
platform::programme_answer ask(booking_run& run, const reservation& r,
                               programme_position position) {
  // Compared as the job will carry it, with the number it will take.
  booked_programme fresh = booked_form(r, next_reservation_number(g_settings.reservation_number));
  std::string text =
      with_conflict_line(format_confirmation(r, position), question_lines(run, fresh));
  if (position.count == 0) {
    return ask_ok_cancel(text) ? platform::programme_answer::book
                               : platform::programme_answer::skip;
  }
  text += std::string("\r\n") + k_text_programme_answers;
  return ask_programme(text);
}

// Tells that the number could not be stored, and why when the file is
// never written.
void tell_number_not_stored(programme_position position) {
  std::string shown = platform::shown_text(g_settings.settings_path);
  std::string notice = format_text(k_format_number_not_stored, shown.c_str());
  std::string why = unwritable_settings_notice();
  if (!why.empty()) notice = why + "\n" + notice;
  show_notice(with_programme_position(notice, position));
}

// The scheduler command as the scheduler is handed it: the channel and the
// title in the system's own encoding, the recorder command as given, already
// in it.
std::string system_scheduler_command(const reservation& r, const std::string& recorder, int no) {
  reservation system = r;
  system.channel = platform::system_text(r.channel);
  system.title = platform::system_text(r.title);
  return format_scheduler_command(system, recorder, no);
}

}  // namespace

bool register_reservation(booking_run& run, const reservation& r, programme_position position) {
  std::string recorder = read_recorder_command();
  std::string refused = setting_with_control_bytes(r, recorder);
  if (!refused.empty()) {
    show_notice(
        with_programme_position(format_text(k_format_control_bytes, refused.c_str()), position));
    return true;
  }
  platform::programme_answer answer = ask(run, r, position);
  if (answer != platform::programme_answer::book) return answer == platform::programme_answer::skip;
  // A number that was not stored would be handed out again next time, and a
  // recorder naming its files by it would overwrite a recording.
  if (!advance_reservation_number()) {
    tell_number_not_stored(position);
    return true;
  }
  // The user is shown the command in the tool's text; the scheduler is
  // handed it in the system's, the recorder byte for byte as the settings
  // file holds it.
  int no = g_settings.reservation_number;
  std::string command = format_scheduler_command(r, platform::shown_text(recorder), no);
  platform::process_result result =
      platform::run_process(system_scheduler_command(r, recorder, no).c_str());
  bool booked = result.started && result.exit_status == 0;
  if (booked) run.booked.push_back(booked_form(r, no));
  std::string notice =
      format_registration_notice(command, {result.started, result.exit_status, result.output});
  show_notice(booked ? notice : with_programme_position(notice, position));
  return true;
}
