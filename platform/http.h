// One HTTP request to a recording server, through the system's own client
// (libcurl on POSIX, WinHTTP on Windows): the seam the server booking goes
// through, so that building requests and reading answers stay pure.
#pragma once

#include <string>

namespace platform {

// What came back from one request.
struct http_result {
  bool sent = false;  // an answer came (whatever its status)
  int status = 0;     // the HTTP status when sent
  std::string body;   // the answer's body when sent
  std::string error;  // why no answer came (ASCII), when not sent
};

// Sends one request (method "GET" or "POST") to an http or https URL, which
// may carry user:password@ for the server's Basic authentication; a
// non-empty body goes as application/json. Connecting may take at most
// limit_ms / 2 and the whole request at most limit_ms; past that it is
// given up and not sent. Never follows a redirect.
http_result send_request(const std::string& method, const std::string& url, const std::string& body,
                         long limit_ms);

}  // namespace platform
