// Booking on a recording server, as bytes: the requests zoba sends to
// EPGStation (2.x) or mirakc and what it reads from their answers. Field
// names are the servers' own: EPGStation's published schema (ChannelItem,
// ScheduleProgramItem, ReserveItem, ManualReserveOption, AddedReserve,
// Error) and mirakc's Mirakurun-form models (service, program,
// WebRecordingSchedule, WebRecordingScheduleInput). Text inside JSON is
// UTF-8 both ways: callers convert the tool's Shift_JIS before and after.
#pragma once

#include <string>
#include <vector>

#include "reservation/server_ids.h"

enum class server_kind {
  none,        // no answer of either form: not a server we know
  epgstation,  // answers {"version": "2.x.y"}
  mirakurun,   // answers {"current": ..., "latest": ...}: Mirakurun or mirakc
  mirakc,      // the Mirakurun form with a recording schedule list
};

// What GET /api/version told.
struct server_version {
  server_kind kind = server_kind::none;
  std::string version;  // EPGStation's version or the Mirakurun form's current
};

// Reads the answer to GET /api/version (status 200 and a JSON object).
// Mirakurun and mirakc answer alike: kind is then mirakurun until
// schedules_listed tells mirakc apart.
server_version read_version(int status, const std::string& body);

// True when the answer to GET /api/recording/schedules is mirakc's list
// (200 and a JSON array): a Mirakurun alone has no such path and keeps no
// schedule.
bool schedules_listed(int status, const std::string& body);

// One HTTP request: its method, its path with query (put after the base of
// the [SERVER] url) and its JSON body (empty for a GET).
struct server_request {
  std::string method;
  std::string path;
  std::string body;
};

// GET /api/version.
server_request version_request();

// GET /api/recording/schedules: mirakc's schedule list, which also tells
// mirakc from Mirakurun.
server_request schedules_request();

// The server's channels: EPGStation GET /api/channels, mirakc GET
// /api/services.
server_request channels_request(server_kind kind);

// One programme: EPGStation GET /api/schedules/detail/{id}?isHalfWidth=true,
// mirakc GET /api/programs/{id}.
server_request programme_request(server_kind kind, long long programme_id);

// How many EPGStation reservations one request asks for; EPGStation gives
// 24 when no limit is asked.
inline constexpr long long k_reserves_page = 500;

// The server's reservations: EPGStation GET
// /api/reserves?type=all&isHalfWidth=true with offset and a limit of
// k_reserves_page (ask again from offset + what came while fewer than
// total came); mirakc GET /api/recording/schedules (all at once, offset
// unused).
server_request reservations_request(server_kind kind, long long offset);

// Books by programme: EPGStation POST /api/reserves
// {"programId": N, "allowEndLack": false}; mirakc POST
// /api/recording/schedules {"programId": N, "options": {"contentPath":
// content_path}, "tags": ["zoba"]}, content_path relative to mirakc's
// recording folder.
server_request book_programme_request(server_kind kind, long long programme_id,
                                      const std::string& content_path);

// Books by time on EPGStation: POST /api/reserves {"allowEndLack": false,
// "timeSpecifiedOption": {"name", "channelId", "startAt", "endAt"}}.
server_request book_time_request(const std::string& name, long long channel_id,
                                 const window_ms& window);

// One service the server tunes: EPGStation's ChannelItem, mirakc's service.
struct server_channel {
  long long channel_id = 0;  // EPGStation's id; mirakc's service id (same form)
  long long service_id = 0;
  long long network_id = 0;
  std::string name;
  std::string type;  // channelType / channel.type: GR, BS, CS, SKY
};

// Reads a channel list (a JSON array); items lacking id, serviceId,
// networkId or name are left out. False when the body is no JSON array.
bool read_channels(server_kind kind, const std::string& body, std::vector<server_channel>& out);

// The channel carrying the service a station code names, or null.
const server_channel* find_station_channel(const station_service& service,
                                           const std::vector<server_channel>& channels);

// The channels whose names match a UTF-8 station name (station_names_match).
std::vector<server_channel> channels_named(const std::vector<server_channel>& channels,
                                           const std::string& station);

// A programme the server knows.
struct server_programme {
  long long programme_id = 0;
  long long start_ms = 0;
  long long end_ms = 0;
  std::string name;  // empty when the server has none
};

// Reads EPGStation's ScheduleProgramItem (id, startAt, endAt, name) or
// mirakc's program (id, startAt, duration, name). False when the body is
// not such an object.
bool read_programme(server_kind kind, const std::string& body, server_programme& out);

// One reservation the server holds.
struct server_reservation {
  long long reservation_id = 0;  // EPGStation's id; mirakc's programme id
  bool has_programme = false;    // false for EPGStation's time-specified ones
  long long programme_id = 0;
  long long channel_id = 0;
  long long start_ms = 0;
  long long end_ms = 0;
  std::string name;
  // EPGStation keeps these without recording them: skipped by a rule, or
  // left without a tuner.
  bool is_skip = false;
  bool is_conflict = false;
};

// Reads EPGStation's Reserves ({"reserves": [ReserveItem], "total"}; total
// set to it) or mirakc's schedule list (an array; total set to its size).
// Items lacking what a reservation needs are left out. False when the body
// has neither shape.
bool read_reservations(server_kind kind, const std::string& body,
                       std::vector<server_reservation>& out, long long& total);

// What a booking collides with among the server's reservations: the same
// programme (same programme id, or for a time booking the same channel and
// window), and, apart from those, the ones whose windows overlap (windows
// that only touch do not).
struct server_collisions {
  std::vector<server_reservation> same;
  std::vector<server_reservation> overlapping;
};

// Compares a booking (programme_id 0 for one by time) with the reservations.
server_collisions find_collisions(const std::vector<server_reservation>& reserved,
                                  long long programme_id, long long channel_id,
                                  const window_ms& window);

// What the server said to a booking.
struct booking_answer {
  bool booked = false;  // only ever for status 201
  bool has_id = false;
  long long reservation_id = 0;  // EPGStation's reserveId; mirakc's program.id
  int status = 0;
  std::string error_name;  // the server's own name for a refusal, if any
};

// Reads the answer to a booking POST. Booked only when the status is 201;
// the id is read from EPGStation's AddedReserve or mirakc's schedule.
booking_answer read_booking_answer(server_kind kind, int status, const std::string& body);

// The server's own name for a failure in an answer body: EPGStation's
// "errors" (a name, or the first message of a schema error's list), else
// mirakc's "reason"; empty when the body names none.
std::string error_name_of(const std::string& body);
