// zoba's two runs of the scheduler, the same on every system: the
// differences (the encoding of the line and of what comes back) are the
// conversions each system's layer already has, identities where there is
// nothing to convert.
#include <cstddef>
#include <string>

#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace platform {

namespace {

// What a scheduler run tells zoba, keeping at most keep bytes of what it
// wrote. A program a signal ended (POSIX only) reports 128 and the signal,
// as a shell would.
process_result result_of(const run_result& run, std::size_t keep) {
  process_result result;
  result.started = run.started;
  result.exit_status = run.exited ? run.status : 128ul + run.status;
  result.timed_out = run.timed_out;
  result.cut = run.output.size() > keep;
  result.output = shown_text(run.output.substr(0, keep));
  return result;
}

}  // namespace

process_result run_process(const char* command_line) {
  run_options options;
  options.idle = true;
  options.output_limit = k_output_limit;
  return result_of(run_command_line(utf8_from_system(command_line), options), k_output_limit);
}

process_result scheduler_listing() {
  // At normal priority: the question waits on it, and a busy desktop must
  // not starve it past its time limit.
  run_options options;
  // One byte more than is kept tells a listing that was cut.
  options.output_limit = k_listing_limit + 1;
  options.limit_seconds = k_listing_seconds;
  return result_of(run_command_line("AT", options), k_listing_limit);
}

}  // namespace platform
