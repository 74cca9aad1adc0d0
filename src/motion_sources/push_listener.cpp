#include "motion_sources/push_listener.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace hopster {
namespace {

std::string listenError(const std::string& address, std::uint16_t port, int error) {
  const std::string number = std::to_string(port);
  switch (error) {
    case EADDRINUSE:
      return "Port " + number + " is already in use; choose another with --motion phone:PORT";
    case EACCES:
      return "Port " + number + " needs privileges; choose one above 1023 with --motion phone:PORT";
    case EADDRNOTAVAIL:
      return printable(address) + " is not an address of this machine";
    default:
      return "Cannot listen on " + printable(address) + " port " + number + ": " + errorText(error);
  }
}

constexpr int kNotAnAddress = -1;

// A socket listening on the literal address `host`, or none with errno's
// reason in `error` (or kNotAnAddress). The IPv6 wildcard takes IPv4 too.
UniqueFd listenAt(const std::string& host, std::uint16_t port, int& error) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    error = kNotAnAddress;
    return {};
  }
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, ::freeaddrinfo);
  UniqueFd fd(::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) {
    error = errno;
    return fd;
  }
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (found->ai_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr;
    const int v6Only = std::memcmp(&v6, &in6addr_any, sizeof v6) == 0 ? 0 : 1;
    ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
  }
  if (::bind(fd.get(), found->ai_addr, found->ai_addrlen) != 0 ||
      ::listen(fd.get(), SOMAXCONN) != 0) {
    error = errno;
    return {};
  }
  return fd;
}

}  // namespace

Outcome<UniqueFd> openListener(std::string address, std::uint16_t port) {
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
  int error = 0;
  UniqueFd fd = listenAt(address.empty() ? "::" : address, port, error);
  // A machine without IPv6 listens on IPv4 alone.
  if (!fd && address.empty() && (error == EAFNOSUPPORT || error == EADDRNOTAVAIL)) {
    fd = listenAt("0.0.0.0", port, error);
  }
  if (fd) return fd;
  if (error == kNotAnAddress) {
    return Failure{FailureKind::other, printable(address) + " is not an IP address"};
  }
  return Failure{Failure::ofErrno(error).kind,
                 listenError(address.empty() ? "every interface" : address, port, error)};
}

ClientAddress clientAddressOf(const sockaddr* address) {
  ClientAddress out{};
  if (address->sa_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    std::memcpy(out.data(), &v6, out.size());
  } else if (address->sa_family == AF_INET) {
    out[10] = out[11] = 0xff;
    const auto& v4 = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    std::memcpy(out.data() + 12, &v4, 4);
  }
  return out;
}

std::uint16_t boundPort(int fd) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

}  // namespace hopster
