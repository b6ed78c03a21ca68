// REC: started by zoba's job at the launch time with the programme's seven
// words, it waits for the programme, runs the recorder the [REC] settings
// name and logs what came of it. "REC --check ..." checks the settings only.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/files.h"
#include "platform/known_folders.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/self.h"
#include "tools/rec/rec.h"
#include "tools/rec/rec_names.h"
#include "tools/rec/rec_paths.h"
#include "tools/rec/rec_run.h"
#include "tools/rec/rec_signature.h"
#include "tools/rec/rec_system.h"

namespace {

constexpr std::size_t k_value_size = 4096;

int fail(const std::string& reason, int status) {
  std::fprintf(stderr, "REC: %s\n", system_from_utf8(reason).c_str());
  return status;
}

// Read as a path is (a folder such as ~/Vidéos holds characters Shift_JIS
// lacks): UTF-8 on POSIX already, the ANSI code page on Windows.
std::string read_key(const std::string& file, const char* key) {
  std::string text =
      platform::profile_read_path(rec::k_section, key, "", k_value_size, file.c_str());
  return utf8_from_tool_text(text);
}

std::string read_settings(rec::settings& setup, rec::file_mode& handover) {
  // The settings file zoba keeps beside itself, which is REC's folder too.
  std::string file = platform::settings_path();
  rec::settings_text text;
  text.command = read_key(file, "command");
  text.folder = read_key(file, "folder");
  text.name = read_key(file, "name");
  text.stop = read_key(file, "stop");
  text.lead = read_key(file, "lead");
  std::string error = rec::parse_settings(text, setup);
  if (error.empty()) error = rec::parse_file_mode(read_key(file, "file"), handover);
  return error.empty() ? error : error + " (" + file + ")";
}

// The folder REC records into, the same test at --check and at the run: a
// full path (~/ the home folder on Linux, %NAME% put in on Windows), made,
// and not one whose entries other users may change, who could then swap
// the file REC made for a link before the recorder opens it.
std::string folder_problem(const rec::settings& setup, std::string& folder) {
  if (setup.folder.empty()) {
    folder = platform::videos_folder();
    if (folder.empty()) return "no folder for the recordings: set folder= in [REC]";
  } else {
    std::string error =
        rec::full_folder(platform::expand_variables(setup.folder), platform::home_folder(),
                         platform::k_windows_paths, folder);
    if (!error.empty()) return error + " in [REC]";
  }
  if (!platform::make_folders(folder)) {
    bool there = platform::is_folder(folder);
    return "the folder " + folder + (there ? " exists but cannot be written" : " cannot be made");
  }
  std::string open = platform::open_to_others(folder);
  if (!open.empty()) {
    return "other users may rename or remove what is in " + open +
           " (writable by all, without the sticky bit or owned by another user): set folder= "
           "in [REC] to a folder of your own";
  }
  return {};
}

// Why REC could not record with these settings; empty when it could.
std::string settings_problem(const rec::settings& setup, std::string& folder) {
  const std::string& program = setup.command[0];
  // REC starts programs, never a shell: a batch file is no recorder of its.
  std::string found = platform::find_program(program);
  if (found.empty() || platform::runs_through_shell(found)) {
    return "the recorder " + program + " is not a program (command= in [REC])";
  }
  return folder_problem(setup, folder);
}

std::string log_path() {
  return platform::self_folder_utf8() + platform::k_separator + rec::k_log_name;
}

// A booked job runs unseen: the log says why it recorded nothing.
void log_unusable(const rec::request& asked, const std::string& reason) {
  rec::attempt_record refused;
  refused.id = asked.show.id;
  rec::programme_window(asked.show, refused.window_start, refused.window_end);
  refused.verdict = "failed";
  refused.outcome = reason;
  platform::append_line(log_path(), rec::log_line(std::time(nullptr), refused));
}

int record(const rec::request& asked, const rec::settings& setup, rec::file_mode handover,
           const std::string& folder) {
  rec::job work;
  work.show = asked.show;
  work.setup = setup;
  rec::programme_window(asked.show, work.start, work.end);
  work.fixed =
      rec::values_of(asked.show, utf8_from_tool_text(asked.show.title), work.start, work.end);
  work.folder = folder;
  work.handover = handover;
  work.log_path = log_path();
  return rec::run_recording(work);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words = platform::arguments(argc, argv);
  words.erase(words.begin());
  if (words.size() == 1 && words[0] == "--version") return std::puts(k_rec_signature) < 0 ? 1 : 0;
  rec::request asked;
  std::string error = rec::parse_arguments(words, asked);
  if (!error.empty()) {
    return fail(error, asked.check ? rec::k_status_settings : rec::k_status_unreadable);
  }
  rec::settings setup;
  rec::file_mode handover = rec::file_mode::made;
  std::string folder;
  error = read_settings(setup, handover);
  if (error.empty()) error = settings_problem(setup, folder);
  if (!error.empty() && !asked.check) log_unusable(asked, error);
  if (!error.empty()) return fail(error, rec::k_status_settings);
  if (asked.check) return 0;
  return record(asked, setup, handover, folder);
}
