#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hopster::testing {

// The parts of a URL a test posts to: "http://HOST:PORT/PATH".
struct HttpTarget {
  std::string host;  // a literal address; tests use 127.0.0.1 only
  std::uint16_t port = 0;
  std::string path;
  [[nodiscard]] static std::optional<HttpTarget> parse(const std::string& url);
};

// Sends one HTTP/1.1 request with `body` on a fresh loopback connection and
// returns the response's status code, or -1 when there was none within
// `timeoutSeconds`. `from` is the local address to send from (another
// loopback address plays another client).
int httpRequest(const HttpTarget& target, const std::string& method, const std::string& body,
                double timeoutSeconds = 10.0, const std::string& from = {});

// Opens a connection to `target` (from the local address `from`, if given)
// and returns its descriptor (the caller closes it), for tests that misbehave
// as a client: -1 on failure.
int httpConnect(const HttpTarget& target, const std::string& from = {});

}  // namespace hopster::testing
