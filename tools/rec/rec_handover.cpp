#include "tools/rec/rec_handover.h"

#include "tools/rec/rec_names.h"
#include "tools/rec/rec_system.h"

namespace rec {

namespace {

constexpr int k_max_file_number = 999;

// The path of the name numbered number in the recordings' folder; empty
// when there is no such number or the name cannot fit.
std::string numbered_path(const job& work, const std::string& name, int number) {
  if (number > k_max_file_number) return {};
  std::string fitted = numbered_name(name, number, rec_system::name_fits);
  return fitted.empty() ? fitted : work.folder + rec_system::k_separator + fitted;
}

std::string no_name(const job& work) { return "no file name is free in " + work.folder; }

// The recorder opens the file REC made: a link planted at the name, or one
// to a file that does not exist yet, only takes the name from REC.
std::string make_file(const job& work, int& number, recording_file& out) {
  for (std::string path; !(path = numbered_path(work, out.name, number)).empty(); ++number) {
    std::string error;
    rec_system::entry made = rec_system::make_new_file(path, error);
    if (made == rec_system::entry::taken) continue;
    if (made == rec_system::entry::failed) return "the file " + path + " cannot be made: " + error;
    out.given = out.kept = path;
    ++number;
    return {};
  }
  return no_name(work);
}

// Nobody else may enter the attempt's folder, so the name in it stays free
// for the recorder; the name planned outside is only a wish until the move.
std::string make_fresh(const job& work, int& number, recording_file& out) {
  std::string planned;
  for (; !(planned = numbered_path(work, out.name, number)).empty(); ++number) {
    if (!rec_system::name_taken(planned)) break;
  }
  if (planned.empty()) return no_name(work);
  std::string error;
  out.own_folder = rec_system::make_private_folder(work.folder, k_fresh_prefix, error);
  if (out.own_folder.empty()) {
    return "a folder for the recording cannot be made in " + work.folder + ": " + error;
  }
  std::string leaf = planned.substr(work.folder.size() + 1);
  out.given = out.own_folder + rec_system::k_separator + leaf;
  out.kept = planned;
  ++number;
  return {};
}

// Out of the attempt's folder under the planned name, or the next free.
void move_out(const job& work, recording_file& file, int& number, std::string& note) {
  std::string error = "no file name is free";
  for (std::string target = file.kept; !target.empty();
       target = numbered_path(work, file.name, number++)) {
    rec_system::entry moved = rec_system::move_to_new_name(file.given, target, error);
    if (moved == rec_system::entry::made) {
      file.kept = target;
      rec_system::remove_empty_folder(file.own_folder);
      note = "kept as " + target;
      return;
    }
    if (moved == rec_system::entry::failed) break;
    error = "no file name is free";
  }
  file.kept = file.given;
  note = "left in " + file.given + ": " + error;
}

}  // namespace

std::string prepare_file(const job& work, const values& with, int& number, recording_file& out) {
  out = recording_file();
  fill_word(work.setup.name, with, out.name);
  out.name = mended_name(out.name);
  return work.handover == file_mode::fresh ? make_fresh(work, number, out)
                                           : make_file(work, number, out);
}

long long settle_file(const job& work, recording_file& file, int& number, std::string& note) {
  long long bytes = rec_system::file_size(file.given);
  if (bytes <= 0) {
    // Nothing recorded: no empty file of REC's is left behind.
    rec_system::remove_empty_file(file.given);
    if (!file.own_folder.empty()) rec_system::remove_empty_folder(file.own_folder);
    return rec_system::file_size(file.given);
  }
  if (!file.own_folder.empty()) move_out(work, file, number, note);
  return bytes;
}

}  // namespace rec
