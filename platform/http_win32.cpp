// WinHTTP: it parses the URL (WinHttpCrackUrl), speaks HTTP and TLS and
// keeps the time limits. Each blocking step gets the time left of the
// whole request as its limit, so that a server answering slowly piece by
// piece is still given up when the request's time is over.
#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <cstdio>

#include "platform/http.h"
#include "platform/wide.h"

namespace platform {

namespace {

constexpr std::size_t k_body_limit = std::size_t{16} * 1024 * 1024;
constexpr char k_base64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The handles of one request, closed in reverse order.
struct request_handles {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~request_handles() {
    if (request != nullptr) WinHttpCloseHandle(request);
    if (connection != nullptr) WinHttpCloseHandle(connection);
    if (session != nullptr) WinHttpCloseHandle(session);
  }
};

// A cracked part of the URL; WinHttpCrackUrl leaves a missing part null.
std::wstring part(const wchar_t* text, DWORD length) {
  return text == nullptr ? std::wstring() : std::wstring(text, length);
}

// Basic authentication's form of user:password.
std::string base64(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned long group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += k_base64[(group >> 18) & 63];
    out += k_base64[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? k_base64[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? k_base64[group & 63] : '=';
  }
  return out;
}

// A URL's user or password with its %XX escapes undone, as libcurl does.
std::string unescaped(const std::wstring& text) {
  std::string bytes = narrow_text(text);
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned value = 0;
    if (bytes[i] == '%' && i + 2 < bytes.size() &&
        sscanf(bytes.substr(i + 1, 2).c_str(), "%2x", &value) == 1) {
      out += static_cast<char>(value);
      i += 2;
    } else {
      out += bytes[i];
    }
  }
  return out;
}

DWORD time_left(ULONGLONG deadline) {
  ULONGLONG now = GetTickCount64();
  return now >= deadline ? 1 : static_cast<DWORD>(deadline - now);
}

// Each step may take what is left of the whole request's time.
bool limit_next_step(HINTERNET request, ULONGLONG deadline) {
  DWORD left = time_left(deadline);
  // Waiting for the status line has a limit of its own, which
  // WinHttpSetTimeouts leaves alone.
  auto as_int = static_cast<int>(left);
  return WinHttpSetTimeouts(request, as_int, as_int, as_int, as_int) != FALSE &&
         WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof left) !=
             FALSE;
}

std::string failure(const char* step) {
  DWORD code = GetLastError();
  const char* what = code == ERROR_WINHTTP_TIMEOUT             ? "timed out"
                     : code == ERROR_WINHTTP_CANNOT_CONNECT    ? "could not connect"
                     : code == ERROR_WINHTTP_NAME_NOT_RESOLVED ? "host name not found"
                                                               : "failed";
  return std::string("WinHTTP ") + step + ": " + what + " (error " + std::to_string(code) + ")";
}

// The request's headers: JSON both ways, and the URL's credentials.
std::wstring headers_for(const URL_COMPONENTS& parts, bool has_body) {
  std::wstring headers = L"Accept: application/json\r\n";
  if (has_body) headers += L"Content-Type: application/json\r\n";
  if (parts.dwUserNameLength > 0) {
    std::string user = unescaped(part(parts.lpszUserName, parts.dwUserNameLength));
    std::string password = unescaped(part(parts.lpszPassword, parts.dwPasswordLength));
    headers += L"Authorization: Basic " + wide_text(base64(user + ":" + password)) + L"\r\n";
  }
  return headers;
}

bool open_request(request_handles& h, const URL_COMPONENTS& parts, const std::wstring& method) {
  h.session = WinHttpOpen(L"zoba", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  std::wstring host = part(parts.lpszHostName, parts.dwHostNameLength);
  if (h.session != nullptr) h.connection = WinHttpConnect(h.session, host.c_str(), parts.nPort, 0);
  std::wstring path = part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                      part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  if (h.connection != nullptr) {
    h.request = WinHttpOpenRequest(h.connection, method.c_str(), path.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  }
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  return h.request != nullptr &&
         WinHttpSetOption(h.request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
}

// Reads the status and the whole body; false (with the error) when a step
// fails or the body is too large.
bool read_answer(HINTERNET request, ULONGLONG deadline, http_result& result) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!limit_next_step(request, deadline) || !WinHttpReceiveResponse(request, nullptr) ||
      !WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    result.error = failure("receive");
    return false;
  }
  char buffer[16384];
  DWORD read = 0;
  do {
    if (!limit_next_step(request, deadline) ||
        !WinHttpReadData(request, buffer, sizeof buffer, &read)) {
      result.error = failure("read");
      return false;
    }
    result.body.append(buffer, read);
    if (result.body.size() > k_body_limit) {
      result.error = "the answer is too large";
      return false;
    }
  } while (read > 0);
  result.status = static_cast<int>(status);
  return true;
}

}  // namespace

http_result send_request(const std::string& method, const std::string& url, const std::string& body,
                         long limit_ms) {
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
  http_result result;
  std::wstring wide_url = wide_text(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = parts.dwUserNameLength = parts.dwPasswordLength =
      static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) {
    result.error = failure("URL");
    return result;
  }
  request_handles h;
  if (!open_request(h, parts, wide_text(method))) {
    result.error = failure("open");
    return result;
  }
  std::wstring headers = headers_for(parts, !body.empty());
  auto length = static_cast<DWORD>(body.size());
  void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
  if (!limit_next_step(h.request, deadline) ||
      !WinHttpSendRequest(h.request, headers.c_str(), static_cast<DWORD>(-1), data, length, length,
                          0)) {
    result.error = failure("send");
    return result;
  }
  if (!read_answer(h.request, deadline, result)) {
    result.body.clear();
    return result;
  }
  result.sent = true;
  return result;
}

}  // namespace platform
