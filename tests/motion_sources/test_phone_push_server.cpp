// The push server on real sockets, on loopback only, each client bounded in
// the bytes it sends and the seconds it waits.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "motion_sources/phone_push_server.h"
#include "motion_test_support.h"
#include "support/http_client.h"

namespace hopster {
namespace {

using namespace std::chrono_literals;

const std::string kPath = std::string("/push/") + kToken;

std::string goodBody(int id) {
  return "{\"messageId\":" + std::to_string(id) +
         ",\"sessionId\":\"s-1\",\"deviceId\":\"d-1\",\"payload\":[{\"name\":\"accelerometer\","
         "\"time\":1698501144401773000,\"x\":0.1,\"y\":0.2,\"z\":0.3}]}";
}

std::string request(const std::string& method, const std::string& path, const std::string& body) {
  return method + " " + path +
         " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// A connection to the server from `from`, a loopback address.
struct Client {
  explicit Client(std::uint16_t port, const char* from = "127.0.0.1")
      : fd(testing::httpConnect({"127.0.0.1", port, ""}, from)) {
    EXPECT_GE(fd, 0);
  }
  ~Client() { ::close(fd); }
  bool send(std::string_view bytes) const {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  // A response's head, or what came before the server closed or `wait` passed.
  std::string receive(std::chrono::milliseconds wait = 5000ms) const {
    std::string got;
    pollfd ready{fd, POLLIN, 0};
    char buffer[4096];
    while (got.find("\r\n\r\n") == std::string::npos &&
           ::poll(&ready, 1, static_cast<int>(wait.count())) > 0) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool closedByServer(std::chrono::milliseconds wait) const {
    pollfd ready{fd, POLLIN, 0};
    char byte;
    return ::poll(&ready, 1, static_cast<int>(wait.count())) > 0 &&
           ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
  }
  int fd;
};

int statusOf(const std::string& response) {
  return response.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(response.substr(9, 3)) : -1;
}

// Written on the server thread, read on the test's.
struct SharedLog final : Log {
  void line(std::string_view message) override {
    std::lock_guard lock(mutex);
    lines.emplace_back(message);
  }
  std::size_t count() {
    std::lock_guard lock(mutex);
    return lines.size();
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

struct SteppedClock final : Clock {
  [[nodiscard]] double now() const override { return time; }
  std::atomic<double> time{1764942759.0};
};

class PushServer : public ::testing::Test {
 protected:
  // Messages handed on are followed through to the samples in the PhoneSource tests.
  void start(PushServerLimits limits = {}) {
    server_ = std::make_unique<PhonePushServer>(
        "127.0.0.1", 0, kToken, [](PushMessage) {}, log_, clock_, limits);
    ASSERT_TRUE(server_->isListening()) << server_->startupError().value_or("");
  }
  std::string exchange(const std::string& text, const char* from = "127.0.0.1") {
    const Client client(server_->port(), from);
    client.send(text);
    return client.receive();
  }
  int post(const std::string& body, const std::string& path = kPath) {
    return statusOf(exchange(request("POST", path, body)));
  }

  SharedLog log_;
  SteppedClock clock_;
  std::unique_ptr<PhonePushServer> server_;
};

TEST_F(PushServer, OnlyAPostToTheTokenPathIsHandedOnAndEverythingElseIsAnEmpty404) {
  start();
  EXPECT_EQ(post(goodBody(7)), 200);
  const Client phone(server_->port());  // kept alive between pushes
  for (int id = 8; id < 11; ++id) {
    ASSERT_TRUE(phone.send(request("POST", kPath, goodBody(id))));
    EXPECT_EQ(statusOf(phone.receive()), 200);
  }
  std::string wrong = kPath;
  wrong.back() ^= 1;
  for (const std::string& text :
       {request("POST", wrong, goodBody(1)), request("POST", kPath.substr(0, 37), goodBody(1)),
        request("POST", kPath + "0", goodBody(1)), request("POST", kPath + "/", goodBody(1)),
        request("POST", "/push/", goodBody(1)), request("GET", kPath, ""),
        request("PUT", kPath, goodBody(1)), request("GET", "/", "")}) {
    const std::string response = exchange(text);
    EXPECT_EQ(statusOf(response), 404) << text;
    EXPECT_NE(response.find("Content-Length: 0\r\n"), std::string::npos) << response;
    EXPECT_EQ(response.find("Server"), std::string::npos) << response;
  }
  EXPECT_EQ(server_->counts().accepted, 4u);
  EXPECT_EQ(server_->counts().notFound, 8u);
  EXPECT_EQ(log_.count(), 0u);
}

TEST_F(PushServer, ABodyThatIsNoPushIs400AndLoggedAtMostOnceInTenSeconds) {
  start();
  for (const char* body : {"not json", "{\"payload\": 3}", "[1,2,3]", "{\"payload\":[", ""}) {
    EXPECT_EQ(post(body), 400) << body;
  }
  clock_.time = clock_.time + 9.9;
  EXPECT_EQ(post("garbage"), 400);
  EXPECT_EQ(log_.count(), 1u);
  clock_.time = clock_.time + 0.2;
  EXPECT_EQ(post("{}"), 400);
  ASSERT_EQ(log_.count(), 2u);
  EXPECT_NE(log_.lines[1].find("(and 5 more since the last report)"), std::string::npos);
  EXPECT_EQ(server_->counts().refused, 7u);
}

TEST_F(PushServer, AnOversizedBodyIsRefusedWithoutBeingBuffered) {
  start();
  constexpr std::size_t kLargest = std::size_t{1} << 20;
  const Client declared(server_->port());  // refused before the body is sent
  declared.send("POST " + kPath + " HTTP/1.1\r\nContent-Length: " + std::to_string(kLargest + 1) +
                "\r\nExpect: 100-continue\r\n\r\n");
  EXPECT_EQ(statusOf(declared.receive()), 413);

  const Client chunked(server_->port());  // no length declared: cut at the limit
  chunked.send("POST " + kPath + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
  bool refused = false;
  for (int i = 0; i < 64 && !refused; ++i) {  // up to 4 MB
    refused = !chunked.send("10000\r\n" + std::string(0x10000, ' ') + "\r\n");
  }
  // libmicrohttpd cannot answer in the middle of a body: the connection ends.
  const std::string response = chunked.receive(2000ms);
  EXPECT_TRUE(refused || statusOf(response) == 413 || chunked.closedByServer(0ms)) << response;

  EXPECT_EQ(post(std::string(kLargest, ' ')), 400) << "exactly the limit is read";
  EXPECT_EQ(server_->counts().tooLarge, 2u);
  EXPECT_LE(server_->counts().peakBufferedBytes, kLargest);
  EXPECT_EQ(post(goodBody(1)), 200);
}

// Even a phone that has shown the token has requestSeconds for each request:
// its next request, a byte every 25 ms, would take some 6 s, well inside
// the default ten but not the one second set here. The server counts the cut
// before it makes it.
TEST_F(PushServer, ATricklingClientIsCutOffWhileOthersAreServed) {
  start({.requestSeconds = 1.0});
  const Client slow(server_->port());
  ASSERT_TRUE(slow.send(request("POST", kPath, goodBody(1))));
  ASSERT_EQ(statusOf(slow.receive()), 200);
  const std::string text = request("POST", kPath, goodBody(2));
  std::size_t sent = 0;
  while (sent < text.size() && slow.send(text.substr(sent++, 1)) && !slow.closedByServer(25ms)) {
    if (sent == 3) {
      EXPECT_EQ(post(goodBody(3)), 200) << "served meanwhile";
    }
  }
  EXPECT_LT(sent, text.size()) << "the whole request went through";
  EXPECT_EQ(server_->counts().cutOff, 1u);
}

TEST_F(PushServer, AFloodOfConnectionsNeitherStopsTheServerNorLocksOutThePhone) {
  start();
  std::vector<std::unique_ptr<Client>> flood;
  for (int i = 0; i < 100; ++i) {
    flood.push_back(std::make_unique<Client>(server_->port()));
    flood.back()->send("POST " + kPath + " HTTP/1.1\r\n");
  }
  // One address holds at most its share of eight, each newcomer displacing
  // its oldest, so a phone elsewhere still gets in.
  EXPECT_EQ(statusOf(exchange(request("POST", kPath, goodBody(1)), "127.0.0.2")), 200);
  EXPECT_TRUE(flood[91]->closedByServer(1000ms)) << "well before its two seconds are up";
  EXPECT_FALSE(flood[92]->closedByServer(0ms));
  flood.clear();
  EXPECT_EQ(post(goodBody(2)), 200);
}

TEST_F(PushServer, IdleClientsHoldingEveryConnectionDoNotKeepThePhoneOut) {
  start();
  // Eight from each of five addresses, more than the server holds; half of
  // them send the start of a request line, the rest nothing.
  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < 40; ++i) {
    const std::string from = "127.0.0." + std::to_string(10 + i % 5);
    idle.push_back(std::make_unique<Client>(server_->port(), from.c_str()));
    if (i % 2 == 1) idle.back()->send("POST /pu");
  }
  for (int id = 1; id <= 3; ++id) EXPECT_EQ(post(goodBody(id)), 200) << "push " << id;
}

TEST_F(PushServer, ClientsWithoutTheTokenAreCutAfterTwoSecondsButAPhonesSlowBodyIsNot) {
  start();
  const Client silent(server_->port(), "127.0.0.3");
  const Client trickling(server_->port(), "127.0.0.4");
  const std::string head = "POST " + kPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  const Client phone(server_->port(), "127.0.0.5");
  const std::string body = goodBody(1);
  ASSERT_TRUE(phone.send("POST " + kPath + " HTTP/1.1\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n"));
  // A step every 100 ms: a byte of headers from one client, and a piece of
  // the phone's body that ends 2.8 s on, inside the ten seconds a request may take.
  bool silentOpen = true, tricklingOpen = true;
  const std::size_t piece = body.size() / 28 + 1;
  const auto began = std::chrono::steady_clock::now();
  for (std::size_t step = 0; step * piece < body.size(); ++step) {
    std::this_thread::sleep_until(began + step * 100ms);
    if (tricklingOpen) trickling.send(head.substr(step % head.size(), 1));
    ASSERT_TRUE(phone.send(body.substr(step * piece, piece)));
    silentOpen = silentOpen && !silent.closedByServer(0ms);
    tricklingOpen = tricklingOpen && !trickling.closedByServer(0ms);
    if (step == 10) {
      EXPECT_TRUE(silentOpen && tricklingOpen) << "cut before their two seconds were up";
    }
  }
  EXPECT_FALSE(silentOpen);
  EXPECT_FALSE(tricklingOpen);
  EXPECT_EQ(statusOf(phone.receive()), 200);
  EXPECT_EQ(server_->counts().cutOff, 2u);
}

TEST_F(PushServer, APhoneThatShowedTheTokenIsServedWhileManyAddressesChurnConnections) {
  start();
  ASSERT_EQ(post(goodBody(1)), 200);      // 127.0.0.1 has now shown the token
  const Client waiting(server_->port());  // the phone's next connection, not used yet
  // Thirty idle clients, one an address: once the fifteen free connections
  // are taken, each newcomer cuts the oldest of them, never the phone's.
  std::vector<std::unique_ptr<Client>> flood;
  for (int i = 0; i < 30; ++i) {
    const std::string from = "127.0.1." + std::to_string(i + 1);
    flood.push_back(std::make_unique<Client>(server_->port(), from.c_str()));
  }
  EXPECT_TRUE(flood[13]->closedByServer(2000ms));
  ASSERT_TRUE(waiting.send(request("POST", kPath, goodBody(2))));
  EXPECT_EQ(statusOf(waiting.receive()), 200);

  // Connections from sixty addresses, opened and dropped without a pause,
  // while the phone pushes on a new connection each time.
  std::atomic<bool> done{false};
  std::atomic<int> opened{0};
  std::thread churn([&] {
    std::vector<std::unique_ptr<Client>> held(40);
    for (int i = 0; i < 2000 && !done; ++i, ++opened) {
      const std::string from = "127.0.2." + std::to_string(1 + i % 60);
      held[static_cast<std::size_t>(i) % held.size()] =
          std::make_unique<Client>(server_->port(), from.c_str());
    }
  });
  while (opened < 40) std::this_thread::yield();
  for (int id = 3; id < 13; ++id) EXPECT_EQ(post(goodBody(id)), 200) << "push " << id;
  done = true;
  churn.join();
}

// A port already in use is checked through the source, in
// PhoneSource.APortInUseLeavesTheSourceUnavailableWithTheReason.
TEST_F(PushServer, AStartThatFailsSaysWhyInOneLine) {
  const auto failure = [&](const char* address, std::uint16_t port, const char* token) {
    const PhonePushServer other(
        address, port, token, [](PushMessage) {}, log_, clock_);
    EXPECT_FALSE(other.isListening());
    EXPECT_EQ(other.port(), 0);
    return other.startupError().value_or("");
  };
  EXPECT_EQ(failure("phone.local", 0, kToken), "phone.local is not an IP address");
  EXPECT_NE(failure("127.0.0.1", 0, "").find("token"), std::string::npos);

  const PhonePushServer v6(
      "[::1]", 0, kToken, [](PushMessage) {}, log_, clock_);
  EXPECT_TRUE(v6.isListening() || v6.startupError()->find("::1") != std::string::npos);
}

}  // namespace
}  // namespace hopster
