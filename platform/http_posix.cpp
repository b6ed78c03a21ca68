// libcurl: it parses the URL, takes user:password from it for Basic
// authentication, speaks HTTP and TLS and keeps the time limits.
#include <curl/curl.h>

#include <cstddef>

#include "platform/http.h"

namespace platform {

namespace {

// A server's answer larger than this is no answer we can use.
constexpr std::size_t k_body_limit = std::size_t{16} * 1024 * 1024;

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  std::size_t bytes = size * count;
  if (body->size() + bytes > k_body_limit) return 0;  // libcurl then ends the transfer
  body->append(data, bytes);
  return bytes;
}

// The options every request shares; false when libcurl refuses one.
bool set_common_options(CURL* curl, const std::string& url, long limit_ms, std::string& body,
                        char* error_text) {
  return curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
         // Timeouts without signals: a program with threads or its own
         // handlers is not disturbed.
         curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limit_ms / 2 + 1) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limit_ms) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep_body) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body) == CURLE_OK;
}

bool set_body(CURL* curl, const std::string& method, const std::string& body) {
  if (method == "GET") return curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  return curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())) == CURLE_OK;
}

}  // namespace

http_result send_request(const std::string& method, const std::string& url, const std::string& body,
                         long limit_ms) {
  http_result result;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.error = "libcurl could not start";
    return result;
  }
  char error_text[CURL_ERROR_SIZE] = "";
  curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
  if (headers != nullptr && !body.empty()) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
  }
  CURLcode code = CURLE_FAILED_INIT;
  if (headers != nullptr && set_common_options(curl, url, limit_ms, result.body, error_text) &&
      set_body(curl, method, body) &&
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers) == CURLE_OK) {
    code = curl_easy_perform(curl);
  }
  long status = 0;
  if (code == CURLE_OK && curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
    result.sent = true;
    result.status = static_cast<int>(status);
  } else {
    result.body.clear();
    result.error = error_text[0] != '\0' ? error_text : curl_easy_strerror(code);
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace platform
