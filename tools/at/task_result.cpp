#include "tools/at/task_result.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint32_t k_some_triggers_failed = 0x0004131B;
constexpr std::uint32_t k_file_not_found = 0x80070002;
constexpr std::uint32_t k_path_not_found = 0x80070003;
constexpr std::uint32_t k_file_exists = 0x80070050;
constexpr std::uint32_t k_already_exists = 0x800700B7;

struct known_result {
  std::uint32_t code;
  const char* meaning;
};

constexpr known_result k_known_results[] = {
    {0x80041315, "the Task Scheduler service is not running"},
    {0x80041322, "the Task Scheduler service is not available"},
    {0x800706BA, "the Task Scheduler service is not running"},
    {0x80070005, "access is denied"},
    {0x800704EC, "task creation is prohibited by a group policy"},
    {0x80041316, "the Task Scheduler calls the task malformed"},
    {0x80041317, "the Task Scheduler calls the task malformed"},
    {0x80041318, "the Task Scheduler calls the task malformed"},
    {0x80041319, "the Task Scheduler calls the task malformed"},
    {0x8004131A, "the Task Scheduler calls the task malformed"},
    {0x8004131D, "the Task Scheduler calls the task malformed"},
    {k_some_triggers_failed, "the task's trigger will not start it"},
    {0x0004131C, "the task may not start: its user lacks the batch logon right"},
};

}  // namespace

registration registration_outcome(long result) {
  auto code = static_cast<std::int32_t>(static_cast<std::uint32_t>(result));
  if (code == 0) return registration::done;
  return code > 0 ? registration::registered_unusable : registration::refused;
}

bool task_is_absent(long result) {
  auto code = static_cast<std::uint32_t>(result);
  return code == k_file_not_found || code == k_path_not_found;
}

bool task_name_taken(long result) {
  auto code = static_cast<std::uint32_t>(result);
  return code == k_file_exists || code == k_already_exists;
}

std::string result_text(long result) {
  auto code = static_cast<std::uint32_t>(result);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  for (const known_result& known : k_known_results) {
    if (known.code == code) return std::string(known.meaning) + ", " + text;
  }
  return text;
}
