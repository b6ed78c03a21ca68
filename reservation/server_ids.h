// What a recording server needs from a programme file, without the server:
// the service a digital station code names, the channel and programme ids
// the servers count in, the [SERVER] url split into what is requested and
// what may be shown, a programme's window in Unix milliseconds, and station
// names compared with full-width and half-width letters and digits alike.
#pragma once

#include <string>

#include "reservation/reservation.h"

// The broadcast a station code belongs to, named as the servers name it
// (EPGStation's channelType, mirakc's channel.type).
enum class broadcast { gr, bs, cs };

// The service a station code names: its service id and the network ids
// that may carry it (terrestrial stations each have their own network).
struct station_service {
  bool known = false;  // false: not a code of the three forms
  broadcast type = broadcast::gr;
  long long service_id = 0;
  long long network_low = 0;  // the network ids allowed, both ends included
  long long network_high = 0;
};

// The service of a version-2 file's station code: DFS + hexadecimal service
// id (terrestrial, networks 0x7880-0x7FE8), BSDT + decimal (BS, network 4),
// CSDT + decimal (CS, networks 6 and 7). Not known for any other text or a
// service id over 0xFFFF.
station_service service_of_station(const std::string& code);

// True when a network id is one the service's broadcast uses.
bool network_fits(const station_service& service, long long network_id);

// "GR", "BS" or "CS".
const char* broadcast_name(broadcast type);

// The servers' channel id: networkId x 100000 + serviceId.
long long channel_id_of(long long network_id, long long service_id);

// The servers' programme id: networkId x 10^10 + serviceId x 10^5 +
// eventId; a file's program-id of 10^10 or more already is one and is kept.
long long programme_id_of(long long network_id, long long service_id, long long event_id);

// Reads a file's program-id value (decimal digits, blanks around allowed)
// into event_id; false, event_id untouched, for anything else or a value
// past 15 digits.
bool read_event_id(const std::string& text, long long& event_id);

// A [SERVER] url split for use: base is what requests are made to (the
// setting without trailing slashes, credentials kept for the HTTP client),
// shown is what a notice may print (a password replaced by ***).
struct server_address {
  bool valid = false;  // false: not an http or https URL with a host
  std::string base;
  std::string shown;
};

// Splits a url= setting; blanks around it are dropped. Refused (not valid):
// another scheme, no host, a bad port, a query or fragment, blanks or
// bytes outside printable ASCII.
server_address read_server_url(const std::string& setting);

// A programme's window as the servers count time.
struct window_ms {
  long long start_ms = 0;
  long long end_ms = 0;
};

// The window of a programme in Unix milliseconds: start hours 24-29 are the
// next day's early hours, an end not after the start is on the next day,
// rec_end_offset minutes are added to the end. The file's times are local
// times; utc_offset_minutes is the local zone's offset from UTC for that
// day (540 in Japan), which the caller asks the system for.
window_ms programme_window_ms(const reservation& programme, int rec_end_offset,
                              int utc_offset_minutes);

// UTF-8 text with full-width ASCII letters and digits (U+FF10-FF19,
// U+FF21-FF3A, U+FF41-FF5A) made half-width; all else unchanged.
std::string fold_width(const std::string& utf8);

// True when two UTF-8 station names are the same after fold_width, or one
// holds the other (ＮＨＫ総合 matches NHK総合1・東京); never for an empty one.
bool station_names_match(const std::string& utf8_a, const std::string& utf8_b);
