#include "reservation/server_api.h"

#include <nlohmann/json.hpp>

using json = nlohmann::json;

namespace {

constexpr char k_epgstation_reserves[] = "/api/reserves";
constexpr char k_mirakc_schedules[] = "/api/recording/schedules";
constexpr char k_zoba_tag[] = "zoba";

// Built without exceptions, a parse failure is a discarded value rather
// than a throw.
json parsed(const std::string& body) { return json::parse(body, nullptr, false); }

// Names may hold bytes that are no UTF-8; dumping them must not abort.
std::string dumped(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The field's value when the object has one of that kind; every read of a
// field goes through these, so that a missing key or a wrong type is a
// plain false and never an abort.
const json* field(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto at = object.find(key);
  return at == object.end() ? nullptr : &*at;
}

bool integer_field(const json& object, const char* key, long long& out) {
  const json* value = field(object, key);
  if (value == nullptr || !value->is_number_integer()) return false;
  out = value->get<long long>();
  return true;
}

bool string_field(const json& object, const char* key, std::string& out) {
  const json* value = field(object, key);
  if (value == nullptr || !value->is_string()) return false;
  out = value->get<std::string>();
  return true;
}

bool boolean_field(const json& object, const char* key) {
  const json* value = field(object, key);
  return value != nullptr && value->is_boolean() && value->get<bool>();
}

server_request get(std::string path) { return {"GET", std::move(path), ""}; }

bool read_channel(server_kind kind, const json& item, server_channel& c) {
  if (!integer_field(item, "id", c.channel_id) || !integer_field(item, "serviceId", c.service_id) ||
      !integer_field(item, "networkId", c.network_id) || !string_field(item, "name", c.name)) {
    return false;
  }
  if (kind == server_kind::epgstation) {
    string_field(item, "channelType", c.type);
  } else {
    const json* channel = field(item, "channel");
    if (channel != nullptr) string_field(*channel, "type", c.type);
  }
  return true;
}

// EPGStation's ReserveItem.
bool read_reserve_item(const json& item, server_reservation& r) {
  if (!integer_field(item, "id", r.reservation_id) ||
      !integer_field(item, "channelId", r.channel_id) ||
      !integer_field(item, "startAt", r.start_ms) || !integer_field(item, "endAt", r.end_ms)) {
    return false;
  }
  r.has_programme = integer_field(item, "programId", r.programme_id);
  string_field(item, "name", r.name);
  r.is_skip = boolean_field(item, "isSkip");
  r.is_conflict = boolean_field(item, "isConflict");
  return true;
}

// mirakc's program (Mirakurun's form): the end is start plus duration.
bool read_mirakurun_program(const json& program, server_programme& p, long long& network_id,
                            long long& service_id) {
  long long duration = 0;
  if (!integer_field(program, "id", p.programme_id) ||
      !integer_field(program, "startAt", p.start_ms) ||
      !integer_field(program, "duration", duration) ||
      !integer_field(program, "networkId", network_id) ||
      !integer_field(program, "serviceId", service_id)) {
    return false;
  }
  p.end_ms = p.start_ms + duration;
  string_field(program, "name", p.name);
  return true;
}

// mirakc's WebRecordingSchedule: the programme is all there is to it.
bool read_schedule_item(const json& item, server_reservation& r) {
  const json* program = field(item, "program");
  server_programme p;
  long long network_id = 0;
  long long service_id = 0;
  if (program == nullptr || !read_mirakurun_program(*program, p, network_id, service_id)) {
    return false;
  }
  r.reservation_id = p.programme_id;
  r.has_programme = true;
  r.programme_id = p.programme_id;
  r.channel_id = channel_id_of(network_id, service_id);
  r.start_ms = p.start_ms;
  r.end_ms = p.end_ms;
  r.name = p.name;
  return true;
}

}  // namespace

server_version read_version(int status, const std::string& body) {
  server_version v;
  if (status != 200) return v;
  json answer = parsed(body);
  if (answer.is_discarded() || !answer.is_object()) return v;
  if (string_field(answer, "version", v.version)) {
    v.kind = server_kind::epgstation;
  } else if (string_field(answer, "current", v.version) && field(answer, "latest") != nullptr) {
    v.kind = server_kind::mirakurun;
  }
  return v;
}

bool schedules_listed(int status, const std::string& body) {
  if (status != 200) return false;
  json answer = parsed(body);
  return !answer.is_discarded() && answer.is_array();
}

server_request version_request() { return get("/api/version"); }

server_request schedules_request() { return get(k_mirakc_schedules); }

server_request channels_request(server_kind kind) {
  return get(kind == server_kind::epgstation ? "/api/channels" : "/api/services");
}

server_request programme_request(server_kind kind, long long programme_id) {
  std::string id = std::to_string(programme_id);
  if (kind == server_kind::epgstation) {
    return get("/api/schedules/detail/" + id + "?isHalfWidth=true");
  }
  return get("/api/programs/" + id);
}

server_request reservations_request(server_kind kind, long long offset) {
  if (kind != server_kind::epgstation) return get(k_mirakc_schedules);
  return get(std::string(k_epgstation_reserves) + "?type=all&isHalfWidth=true&offset=" +
             std::to_string(offset) + "&limit=" + std::to_string(k_reserves_page));
}

server_request book_programme_request(server_kind kind, long long programme_id,
                                      const std::string& content_path) {
  json body = json::object();
  body["programId"] = programme_id;
  if (kind == server_kind::epgstation) {
    body["allowEndLack"] = false;
    return {"POST", k_epgstation_reserves, dumped(body)};
  }
  body["options"] = json::object();
  body["options"]["contentPath"] = content_path;
  body["tags"] = json::array({k_zoba_tag});
  return {"POST", k_mirakc_schedules, dumped(body)};
}

server_request book_time_request(const std::string& name, long long channel_id,
                                 const window_ms& window) {
  json option = json::object();
  option["name"] = name;
  option["channelId"] = channel_id;
  option["startAt"] = window.start_ms;
  option["endAt"] = window.end_ms;
  json body = json::object();
  body["allowEndLack"] = false;
  body["timeSpecifiedOption"] = option;
  return {"POST", k_epgstation_reserves, dumped(body)};
}

bool read_channels(server_kind kind, const std::string& body, std::vector<server_channel>& out) {
  json answer = parsed(body);
  if (answer.is_discarded() || !answer.is_array()) return false;
  for (const json& item : answer) {
    server_channel c;
    if (read_channel(kind, item, c)) out.push_back(c);
  }
  return true;
}

const server_channel* find_station_channel(const station_service& service,
                                           const std::vector<server_channel>& channels) {
  for (const server_channel& c : channels) {
    if (c.service_id == service.service_id && network_fits(service, c.network_id)) return &c;
  }
  return nullptr;
}

std::vector<server_channel> channels_named(const std::vector<server_channel>& channels,
                                           const std::string& station) {
  std::vector<server_channel> named;
  for (const server_channel& c : channels) {
    if (station_names_match(c.name, station)) named.push_back(c);
  }
  return named;
}

bool read_programme(server_kind kind, const std::string& body, server_programme& out) {
  json answer = parsed(body);
  if (answer.is_discarded() || !answer.is_object()) return false;
  if (kind != server_kind::epgstation) {
    long long network_id = 0;
    long long service_id = 0;
    return read_mirakurun_program(answer, out, network_id, service_id);
  }
  if (!integer_field(answer, "id", out.programme_id) ||
      !integer_field(answer, "startAt", out.start_ms) ||
      !integer_field(answer, "endAt", out.end_ms)) {
    return false;
  }
  string_field(answer, "name", out.name);
  return true;
}

bool read_reservations(server_kind kind, const std::string& body,
                       std::vector<server_reservation>& out, long long& total) {
  json answer = parsed(body);
  if (answer.is_discarded()) return false;
  const json* items = kind == server_kind::epgstation ? field(answer, "reserves") : &answer;
  if (items == nullptr || !items->is_array()) return false;
  if (kind == server_kind::epgstation && !integer_field(answer, "total", total)) return false;
  if (kind != server_kind::epgstation) total = static_cast<long long>(items->size());
  for (const json& item : *items) {
    server_reservation r;
    bool read =
        kind == server_kind::epgstation ? read_reserve_item(item, r) : read_schedule_item(item, r);
    if (read) out.push_back(r);
  }
  return true;
}

server_collisions find_collisions(const std::vector<server_reservation>& reserved,
                                  long long programme_id, long long channel_id,
                                  const window_ms& window) {
  server_collisions found;
  for (const server_reservation& r : reserved) {
    bool same = programme_id != 0 ? r.has_programme && r.programme_id == programme_id
                                  : r.channel_id == channel_id && r.start_ms == window.start_ms &&
                                        r.end_ms == window.end_ms;
    if (same) {
      found.same.push_back(r);
    } else if (r.start_ms < window.end_ms && window.start_ms < r.end_ms) {
      found.overlapping.push_back(r);
    }
  }
  return found;
}

booking_answer read_booking_answer(server_kind kind, int status, const std::string& body) {
  booking_answer a;
  a.status = status;
  if (status != 201) {
    a.error_name = error_name_of(body);
    return a;
  }
  a.booked = true;
  json answer = parsed(body);
  if (answer.is_discarded()) return a;
  if (kind == server_kind::epgstation) {
    a.has_id = integer_field(answer, "reserveId", a.reservation_id);
  } else {
    const json* program = field(answer, "program");
    a.has_id = program != nullptr && integer_field(*program, "id", a.reservation_id);
  }
  return a;
}

std::string error_name_of(const std::string& body) {
  json answer = parsed(body);
  std::string name;
  if (answer.is_discarded() || !answer.is_object()) return name;
  if (string_field(answer, "errors", name)) return name;
  const json* errors = field(answer, "errors");
  if (errors != nullptr && errors->is_array() && !errors->empty() &&
      string_field(errors->front(), "message", name)) {
    return name;
  }
  string_field(answer, "reason", name);
  return name;
}
