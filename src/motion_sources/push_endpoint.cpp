#include "motion_sources/push_endpoint.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "platform/linux/xdg_paths.h"

namespace hopster {
namespace {

constexpr std::size_t kTokenDigits = 32;

bool isToken(const std::string& text) {
  return text.size() == kTokenDigits &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

Outcome<std::string> randomToken() {
  unsigned char bytes[kTokenDigits / 2];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    return Failure{FailureKind::other, "the system gave no random bytes"};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char b : bytes) {
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 15]);
  }
  return token;
}

std::string urlHost(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// Lower ranks come first: what a phone on the same network can reach.
int rank(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    const std::uint32_t host = ntohl(v4->sin_addr.s_addr);
    if ((host >> 24) == 127) return 9;     // loopback
    if ((host >> 16) == 0xA9FE) return 5;  // link-local 169.254/16
    return 0;
  }
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
  const in6_addr& a = v6->sin6_addr;
  if (IN6_IS_ADDR_LOOPBACK(&a)) return 10;
  if (IN6_IS_ADDR_LINKLOCAL(&a)) return -1;  // needs a zone no phone app takes: left out
  if (IN6_IS_ADDR_V4MAPPED(&a)) return -1;
  return 2;
}

}  // namespace

std::filesystem::path defaultPushTokenFile() { return hopsterConfigDir() / "push-token"; }

Outcome<std::string> loadOrCreatePushToken(const std::filesystem::path& file, Log& log) {
  std::string text;
  if (auto read = readDataFile(file, 4096)) {
    text = std::move(read).value();
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    if (isToken(text)) {
      // Whoever can read the token can push motion: it is kept from everyone
      // but its owner, whatever made the file wider.
      struct stat info {};
      if (::stat(file.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
        if (::chmod(file.c_str(), S_IRUSR | S_IWUSR) != 0) {
          Failure failure = Failure::ofErrno(errno);
          failure.message = "Could not make " + file.string() + " private: " + failure.message;
          return failure;
        }
        char was[8];
        std::snprintf(was, sizeof was, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        log.line("The push token file " + file.string() + " was readable by others (mode " + was +
                 "); it is now readable by its owner only");
      }
      return text;
    }
  }
  auto token = randomToken();
  if (!token) return token;
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  // Owner-only, never the mode of a file it replaces.
  if (auto failure = writeFileAtomically(file, *token + "\n",
                                         {.beforeReplace = {}, .mode = S_IRUSR | S_IWUSR})) {
    return *std::move(failure);
  }
  return token;
}

std::string pushPath(const std::string& token) { return "/push/" + token; }

std::vector<std::string> pushUrls(const std::string& listenAddress, std::uint16_t port,
                                  const std::string& token) {
  const std::string tail = ":" + std::to_string(port) + pushPath(token);
  if (!listenAddress.empty() && listenAddress != "0.0.0.0" && listenAddress != "::") {
    return {"http://" + urlHost(listenAddress) + tail};
  }
  std::vector<std::pair<int, std::string>> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0) continue;
      const int family = entry->ifa_addr->sa_family;
      if (family != AF_INET && family != AF_INET6) continue;
      const int order = rank(entry->ifa_addr);
      if (order < 0) continue;
      char text[INET6_ADDRSTRLEN] = "";
      const void* raw =
          family == AF_INET
              ? static_cast<const void*>(
                    &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr)
              : static_cast<const void*>(
                    &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr);
      if (::inet_ntop(family, raw, text, sizeof text) == nullptr) continue;
      found.emplace_back(order, "http://" + urlHost(text) + tail);
    }
    ::freeifaddrs(list);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> urls;
  for (auto& [order, url] : found) {
    if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
  }
  if (urls.empty()) urls.push_back("http://127.0.0.1" + tail);
  return urls;
}

}  // namespace hopster
