#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace hopster::testing {

std::optional<HttpTarget> HttpTarget::parse(const std::string& url) {
  static const std::regex form(R"(^http://([0-9.]+):(\d+)(/\S*)$)");
  std::smatch parts;
  if (!std::regex_match(url, parts, form)) return std::nullopt;
  return HttpTarget{parts[1], static_cast<std::uint16_t>(std::stoi(parts[2])), parts[3]};
}

int httpConnect(const HttpTarget& target, const std::string& from) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (!from.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      return -1;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(target.port);
  if (::inet_pton(AF_INET, target.host.c_str(), &address.sin_addr) != 1 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int httpRequest(const HttpTarget& target, const std::string& method, const std::string& body,
                double timeoutSeconds, const std::string& from) {
  const int fd = httpConnect(target, from);
  if (fd < 0) return -1;
  std::string request =
      method + " " + target.path + " HTTP/1.1\r\nHost: " + target.host +
      "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n" + body;
  std::string_view rest = request;
  while (!rest.empty()) {
    const ssize_t sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent <= 0) break;  // the server may refuse early (a body too large)
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }
  std::string response;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (response.find("\r\n") == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd wait{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&wait, 1, static_cast<int>(left)) <= 0) break;
    char buffer[512];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    response.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  static const std::regex status(R"(^HTTP/1\.[01] (\d{3}))");
  std::smatch parts;
  if (!std::regex_search(response, parts, status)) return -1;
  return std::stoi(parts[1]);
}

}  // namespace hopster::testing
