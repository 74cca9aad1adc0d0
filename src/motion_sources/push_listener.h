#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/linux/posix_io.h"

namespace hopster {

// A socket listening on `address` ("" for every interface, IPv6 and IPv4
// where the machine has both; otherwise a literal IPv4 or IPv6 address, in
// brackets or not) and `port` (0 for any free port). None, with the reason in
// `message`, when it cannot listen there: a port in use or needing
// privileges, an address that is not one or not this machine's.
[[nodiscard]] UniqueFd openListener(std::string address, std::uint16_t port, std::string& message);

// The port `fd` is bound to; 0 when it cannot be told.
[[nodiscard]] std::uint16_t boundPort(int fd);

// A client's address as 16 bytes, an IPv4 one as IPv6 maps it, so that a
// client is the same whichever socket family it came in by.
using ClientAddress = std::array<unsigned char, 16>;
[[nodiscard]] ClientAddress clientAddressOf(const sockaddr* address);

}  // namespace hopster
