#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/log.h"

namespace hopster {

// Where the phone's set-up keeps pointing: the secret token of the push URL
// lives in its own file ($XDG_CONFIG_HOME/hopster/push-token), apart from the
// settings.
[[nodiscard]] std::filesystem::path defaultPushTokenFile();

// The token in `file`, or a new random one (32 hex digits) written there with
// mode 0600 when the file is missing or does not hold one, so a phone set up
// once keeps working. A kept file readable by others is made 0600 again, with
// one line in `log`. Or why no token can be kept.
[[nodiscard]] Outcome<std::string> loadOrCreatePushToken(const std::filesystem::path& file,
                                                         Log& log);

// The path a phone posts to: "/push/<token>".
[[nodiscard]] std::string pushPath(const std::string& token);

// The URLs a phone can send to, one per usable address of this machine: the
// local network's IPv4 addresses first, then global and unique-local IPv6
// addresses, loopback last. With `listenAddress` set, only that address.
[[nodiscard]] std::vector<std::string> pushUrls(const std::string& listenAddress,
                                                std::uint16_t port, const std::string& token);

}  // namespace hopster
