#include "reservation/server_texts.h"

#include <cstddef>

namespace {

constexpr std::size_t k_name_limit = 80;

struct named_reason {
  const char* name;
  const char* reason;
};

// EPGStation's reservation model throws these names (its add method); a
// program already booked is reported as CheckReservedProgramError, since
// the model's own catch renames ReservedError.
constexpr named_reason k_epgstation_reasons[] = {
    {"ReservationManageModelAddReserveConflict", k_reason_no_tuner},
    {"ReservationManageModelCheckReservedProgramError", k_reason_already_reserved},
    {"ReservationManageModelReservedError", k_reason_already_reserved},
    {"AddReservationConflictError", k_reason_same_time_reserved},
    {"ProgramIsNotFound", k_reason_programme_not_found},
    {"TimeSpecifiedOptionError", k_reason_time_passed},
    // Spelt as EPGStation's model throws it, without its first letter.
    {"eservationManageModelFindChannelIsNotFound", k_reason_channel_not_found},
    {"ReservationManageModelFindChannelError", k_reason_channel_lookup_failed},
    {"AddReservationOptionError", k_reason_option_refused},
    {"TimeSpecifiedOptionIsUndefined", k_reason_option_refused},
    {"NameIsUndefinedError", k_reason_option_refused},
    {"ReservationManageModelAddReserveError", k_reason_not_stored},
};

// Only printable ASCII of what the server sent, so that a notice never
// carries its control bytes or text in another encoding.
std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (out.size() == k_name_limit) break;
    if (c >= ' ' && c < 0x7F) out += c;
  }
  return out;
}

std::string bracketed(const std::string& reason, const std::string& detail) {
  return reason + k_open_paren + detail + k_close_paren;
}

const char* status_reason(server_kind kind, int status) {
  if (status == 401 || status == 403 || status == 407) return k_reason_denied;
  if (kind == server_kind::epgstation) {
    return status == 400 ? k_reason_request_refused : k_reason_refused;
  }
  if (status == 400) return k_reason_mirakc_exists_or_ended;
  if (status == 404) return k_reason_mirakc_not_found;
  return k_reason_refused;
}

}  // namespace

std::string unreachable_reason(const std::string& error) {
  return bracketed(k_reason_unreachable, printable(error));
}

std::string unreadable_reason(int status) {
  return bracketed(k_reason_unreadable, "HTTP " + std::to_string(status));
}

std::string failure_reason(server_kind kind, int status, const std::string& error_name) {
  std::string name = printable(error_name);
  const char* reason = status_reason(kind, status);
  if (kind == server_kind::epgstation) {
    for (const named_reason& known : k_epgstation_reasons) {
      if (name == known.name) reason = known.reason;
    }
  }
  std::string detail = "HTTP " + std::to_string(status);
  if (!name.empty()) detail += " " + name;
  return bracketed(reason, detail);
}
