#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "platform/linux/posix_io.h"

namespace hopster {

// A socket listening on `address` ("" for every interface, IPv6 and IPv4
// where the machine has both; otherwise a literal IPv4 or IPv6 address, in
// brackets or not) and `port` (0 for any free port). Or why it cannot listen
// there: a port in use or needing privileges (permission), an address that
// is not one or not this machine's.
[[nodiscard]] Outcome<UniqueFd> openListener(std::string address, std::uint16_t port);

// The port `fd` is bound to; 0 when it cannot be told.
[[nodiscard]] std::uint16_t boundPort(int fd);

// A client's address as 16 bytes, an IPv4 one as IPv6 maps it, so that a
// client is the same whichever socket family it came in by.
using ClientAddress = std::array<unsigned char, 16>;
[[nodiscard]] ClientAddress clientAddressOf(const sockaddr* address);

}  // namespace hopster
