// The HTTP seam against a real server on 127.0.0.1 (tests/http_test_server.py,
// which runs this program and names the server in the environment): the same
// cases for libcurl on Linux and WinHTTP under Wine.
#include "platform/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

constexpr long k_limit_ms = 2000;

// The test server's URL, or empty when this program was not started by it.
std::string server_url() {
  const char* url = std::getenv("ZOBA_HTTP_TEST_URL");
  return url == nullptr ? "" : url;
}

#define NEED_SERVER()                       \
  if (server_url().empty())                 \
  GTEST_SKIP() << "no test server: run it " \
                  "through tests/http_test_server.py"

}  // namespace

TEST(Http, GetsAnAnswerWithItsStatusAndBody) {
  NEED_SERVER();
  platform::http_result r =
      platform::send_request("GET", server_url() + "/version", "", k_limit_ms);
  EXPECT_TRUE(r.sent) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "{\"version\": \"2.7.3\"}");
}

TEST(Http, PostsAJsonBodyWithTheUrlsCredentials) {
  NEED_SERVER();
  std::string url = server_url();
  url.insert(url.find("//") + 2, "zoba:p%40ss@");
  std::string body = "{\"programId\": 327360102400003, \"allowEndLack\": false}";
  platform::http_result r = platform::send_request("POST", url + "/reserves", body, k_limit_ms);
  EXPECT_TRUE(r.sent) << r.error;
  EXPECT_EQ(r.status, 200);
  // The server's echo: base64 of zoba:p@ss, the body byte for byte.
  EXPECT_EQ(r.body,
            "{\"method\": \"POST\", \"path\": \"/reserves\", \"body\": \"{\\\"programId\\\": "
            "327360102400003, \\\"allowEndLack\\\": false}\", \"contentType\": "
            "\"application/json\", \"authorization\": \"Basic em9iYTpwQHNz\"}");
}

TEST(Http, AServerErrorIsAnAnswerToo) {
  NEED_SERVER();
  platform::http_result r = platform::send_request("GET", server_url() + "/fail", "", k_limit_ms);
  EXPECT_TRUE(r.sent) << r.error;
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(r.body,
            "{\"code\": 500, \"message\": \"Internal Server Error\", \"errors\": "
            "\"ReservationManageModelAddReserveConflict\"}");
}

TEST(Http, ARefusedConnectionIsNotSent) {
  NEED_SERVER();
  std::string url = std::string("http://127.0.0.1:") + std::getenv("ZOBA_HTTP_CLOSED_PORT") + "/";
  platform::http_result r = platform::send_request("GET", url, "", k_limit_ms);
  EXPECT_FALSE(r.sent);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.error.empty());
}

TEST(Http, AServerThatNeverAnswersIsGivenUpAtTheLimit) {
  NEED_SERVER();
  auto start = std::chrono::steady_clock::now();
  platform::http_result r = platform::send_request("GET", server_url() + "/never", "", k_limit_ms);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(r.sent);
  EXPECT_TRUE(r.body.empty());
  EXPECT_FALSE(r.error.empty());
  EXPECT_GE(seconds, k_limit_ms / 1000.0 - 0.2);
  EXPECT_LE(seconds, k_limit_ms / 1000.0 + 1.0);
}

TEST(Http, AnotherSchemeIsRefused) {
  platform::http_result r = platform::send_request("GET", "ftp://127.0.0.1/", "", k_limit_ms);
  EXPECT_FALSE(r.sent);
  EXPECT_FALSE(r.error.empty());
}
