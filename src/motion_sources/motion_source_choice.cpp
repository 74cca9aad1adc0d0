#include "motion_sources/motion_source_choice.h"

#include <arpa/inet.h>

#include <charconv>
#include <utility>

namespace hopster {
namespace {

bool parsePort(std::string_view text, std::uint16_t& port) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // 0 asks the system for any free port (the URL printed names the one it gave).
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

// A value the command line does not accept, and why.
Failure mistake(std::string why) { return {FailureKind::other, std::move(why)}; }

bool isAddress(const std::string& text) {
  unsigned char bytes[16];
  return ::inet_pton(AF_INET, text.c_str(), bytes) == 1 ||
         ::inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

// "phone", "phone:PORT", "phone:ADDRESS:PORT", "phone:[IPv6]:PORT".
Outcome<MotionSourceChoice> parsePhone(std::string_view text) {
  MotionSourceChoice choice{MotionSourceKind::phone, {}, {},
                            kDefaultPhonePort,       {}, kDefaultIioRate};
  if (text == "phone") return choice;
  std::string_view rest = text.substr(std::string_view("phone:").size());
  std::string_view port = rest;
  if (const auto close = rest.find(']'); rest.starts_with('[') && close != std::string_view::npos) {
    choice.address = std::string(rest.substr(1, close - 1));
    if (rest.substr(close + 1, 1) != ":") {
      return mistake("motion source \"" + std::string(text) + "\" needs a port after the address");
    }
    port = rest.substr(close + 2);
  } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
    choice.address = std::string(rest.substr(0, colon));
    port = rest.substr(colon + 1);
  }
  if (!choice.address.empty() && !isAddress(choice.address)) {
    return mistake("motion source \"" + std::string(text) + "\": \"" + choice.address +
                   "\" is not an IPv4 or IPv6 address");
  }
  if (!parsePort(port, choice.port)) {
    return mistake("motion source \"" + std::string(text) +
                   "\": the port must be a number from 0 to 65535");
  }
  return choice;
}

// "iio", "iio@HZ", "iio:DEVICE", "iio:DEVICE@HZ".
Outcome<MotionSourceChoice> parseIio(std::string_view text) {
  MotionSourceChoice choice{MotionSourceKind::iio, {}, {}, kDefaultPhonePort, {}, kDefaultIioRate};
  std::string_view rest = text.substr(std::string_view("iio").size());
  if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view rate = rest.substr(at + 1);
    unsigned value = 0;
    const auto [end, failure] = std::from_chars(rate.data(), rate.data() + rate.size(), value);
    if (failure != std::errc() || end != rate.data() + rate.size() || value < 1 ||
        value > kHighestIioRate) {
      return mistake("motion source \"" + std::string(text) +
                     "\": the rate after '@' must be a whole number from 1 to 1000");
    }
    choice.rate = value;
    rest = rest.substr(0, at);
  }
  if (!rest.empty()) {
    choice.device = std::string(rest.substr(1));
    if (!rest.starts_with(':') || choice.device.empty() ||
        choice.device.find('/') != std::string::npos) {
      return mistake("motion source \"" + std::string(text) +
                     "\": expected iio, iio@HZ, iio:DEVICE or iio:DEVICE@HZ");
    }
  }
  return choice;
}

}  // namespace

Outcome<MotionSourceChoice> parseMotionSource(std::string_view text) {
  if (text == "sim")
    return MotionSourceChoice{MotionSourceKind::simulated, {}, {}, {}, {}, kDefaultIioRate};
  if (text == "stdin")
    return MotionSourceChoice{MotionSourceKind::standardInput, {}, {}, {}, {}, kDefaultIioRate};
  if (text == "phone" || text.starts_with("phone:")) return parsePhone(text);
  if (text == "iio" || text.starts_with("iio:") || text.starts_with("iio@")) {
    return parseIio(text);
  }

  const auto colon = text.find(':');
  const std::string_view prefix = text.substr(0, colon);
  MotionSourceKind kind;
  if (colon != std::string_view::npos && prefix == "replay") {
    kind = MotionSourceKind::replay;
  } else if (colon != std::string_view::npos && prefix == "fifo") {
    kind = MotionSourceKind::namedPipe;
  } else {
    return mistake("unknown motion source \"" + std::string(text) + "\": expected " +
                   std::string(kMotionSourceForms));
  }
  const std::string_view path = text.substr(colon + 1);
  if (path.empty()) {
    return mistake("motion source \"" + std::string(text) + "\" needs a path after the colon");
  }
  return MotionSourceChoice{kind, std::string(path), {}, {}, {}, kDefaultIioRate};
}

}  // namespace hopster
