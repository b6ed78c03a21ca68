#include "tools/at/rec_check.h"

#include "platform/process.h"
#include "tools/at/at_command.h"
#include "tools/at/file_search.h"
#include "tools/rec/rec_signature.h"

namespace {

// How far into a program named REC its signature is looked for (our REC
// carries it within its first few MiB, sanitizers or not).
constexpr std::size_t k_signature_limit = std::size_t{8} * 1024 * 1024;

}  // namespace

rec_check_result check_rec(const std::vector<std::string>& words, const std::string& line,
                           const std::string& folder) {
  rec_check_result result;
  if (!file_holds(words[0], k_rec_signature, k_signature_limit)) return result;
  // Its input is empty: a check that waited for some would only time out.
  std::string input;
  platform::run_options options;
  options.input = &input;
  options.limit_seconds = k_rec_check_seconds;
  options.folder = folder;
  platform::run_result run = line.empty() ? platform::run_program(words, options)
                                          : platform::run_command_line(line, options);
  if (!run.started) {
    result.outcome = rec_check_outcome::not_started;
  } else if (run.timed_out) {
    result.outcome = rec_check_outcome::timed_out;
  } else if (run.exited && run.status == 0) {
    result.outcome = rec_check_outcome::can_record;
  } else {
    result.outcome = rec_check_outcome::refused;
    result.status = run.status;
    std::vector<std::string> lines = text_lines(run.output);
    if (!lines.empty()) result.reason = lines[0];
  }
  return result;
}
