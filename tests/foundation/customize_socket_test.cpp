#include "foundation/customize_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/net/stand_in.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

// A real listener on 127.0.0.1 that treats each peer as the test asks.
class LocalListener {
 public:
  enum Behaviour { kCloseAtOnce, kStaySilent, kSendGreeting };

  explicit LocalListener(int backlog = SOMAXCONN) {
    WSADATA data;
    ::WSAStartup(0x0202, &data);
    socket_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = kLoopback;
    ::bind(socket_.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    int length = sizeof local;
    ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
    if (backlog >= 0) ::listen(socket_.get(), backlog);
  }
  ~LocalListener() {
    socket_.reset();
    if (server_.joinable()) server_.join();
    ::WSACleanup();
  }

  int port() const { return port_; }

  // Accepts one peer on a thread of its own.
  void Serve(Behaviour behaviour) {
    server_ = std::thread([this, behaviour] {
      UniqueSocket peer(::accept(socket_.get(), nullptr, nullptr));
      if (!peer) return;
      if (behaviour == kSendGreeting) ::send(peer.get(), "hello", 5, 0);
      if (behaviour != kCloseAtOnce) {
        // Holds the connection until the client has given up on it.
        char byte;
        ::recv(peer.get(), &byte, 1, 0);
      }
    });
  }

 private:
  UniqueSocket socket_;
  int port_ = 0;
  std::thread server_;
};

class CustomizeSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { CCustomizeSocket::SetWaitsForTests(150, 300); }
  void TearDown() override { CCustomizeSocket::SetWaitsForTests(5000, 30000); }
  LogWatch log_;
};

TEST_F(CustomizeSocketTest, ConnectsAndReceivesWhatThePeerSent) {
  LocalListener listener;
  listener.Serve(LocalListener::kSendGreeting);
  CCustomizeSocket socket;
  ASSERT_TRUE(socket.ConnectIp(kLoopback, listener.port()));
  EXPECT_TRUE(socket.IsConnected());
  EXPECT_EQ(socket.ServerAddress(), kLoopback);
  EXPECT_EQ(socket.ServerAddressText(), L"127.0.0.1");
  EXPECT_EQ(socket.Port(), listener.port());
  EXPECT_EQ(log_.Count("[INFO] "), 1u);
  EXPECT_EQ(log_.Count(" - socket, connect ok, ip=[127.0.0.1]\n"), 1u) << log_.NewText();
  char buffer[16] = {};
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_TRUE(socket.SendText(L"bye"));
  EXPECT_EQ(socket.Close(), 0);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.ServerAddress(), 0u);
  EXPECT_EQ(socket.ServerAddressText(), L"127.0.0.1");  // the text stays for the owner's log
}

TEST_F(CustomizeSocketTest, APeerThatClosesAtOnceEndsTheConnection) {
  LocalListener listener;
  listener.Serve(LocalListener::kCloseAtOnce);
  CCustomizeSocket socket;
  ASSERT_TRUE(socket.ConnectIp(kLoopback, listener.port()));
  char buffer[16];
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 0);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(log_.Count("[WARN] "), 1u);
  EXPECT_EQ(log_.Count(" - socket, receive failed! size=[0].\n"), 1u) << log_.NewText();
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
  EXPECT_EQ(log_.Count(" - socket, receive failed! no connected.\n"), 1u) << log_.NewText();
}

TEST_F(CustomizeSocketTest, ASilentPeerTimesOutAndStaysConnected) {
  LocalListener listener;
  listener.Serve(LocalListener::kStaySilent);
  CCustomizeSocket socket;
  ASSERT_TRUE(socket.ConnectIp(kLoopback, listener.port()));
  char buffer[16];
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
  EXPECT_TRUE(socket.IsConnected());
  EXPECT_EQ(log_.Count(" - socket, receive failed! select ret=[0], err=[0].\n"), 1u) << log_.NewText();
  socket.Close();  // lets the listener's peer go
}

TEST_F(CustomizeSocketTest, ARefusedConnectionFailsWithoutAnOpenHandle) {
  LocalListener bound(-1);  // bound, never listening
  CCustomizeSocket socket;
  EXPECT_FALSE(socket.ConnectIp(kLoopback, bound.port()));
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.ServerAddress(), 0u);
  EXPECT_EQ(log_.Count(" - socket, ip=[127.0.0.1], fd count 0, err=["), 1u) << log_.NewText();
  EXPECT_EQ(log_.Count("connect ok"), 0u);
}

TEST_F(CustomizeSocketTest, AListenerThatNeverAcceptsTimesOut) {
  // Once its queue is full, a listener that never accepts drops further
  // handshakes: the connection is never established.
  LocalListener listener(0);
  std::vector<UniqueSocket> fillers;
  bool full = false;
  for (int attempt = 0; attempt < 16 && !full; ++attempt) {
    UniqueSocket filler(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long nonBlocking = 1;
    ::ioctlsocket(filler.get(), FIONBIO, &nonBlocking);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = kLoopback;
    peer.sin_port = htons(static_cast<u_short>(listener.port()));
    ::connect(filler.get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(filler.get(), &set);
    timeval wait = {0, 300000};
    full = ::select(0, nullptr, &set, nullptr, &wait) == 0;
    fillers.push_back(std::move(filler));
  }
  ASSERT_TRUE(full) << "the listener's queue never filled";
  CCustomizeSocket socket;
  EXPECT_FALSE(socket.ConnectIp(kLoopback, listener.port()));
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(log_.Count(" - socket, ip=[127.0.0.1], fd count 0, err=["), 1u) << log_.NewText();
}

TEST_F(CustomizeSocketTest, NothingIsSentOrReadWithoutAConnectionOrData) {
  CCustomizeSocket socket;
  const char data[] = "x";
  EXPECT_FALSE(socket.Send(data, 1));  // not connected
  LocalListener listener;
  listener.Serve(LocalListener::kStaySilent);
  ASSERT_TRUE(socket.ConnectIp(kLoopback, listener.port()));
  EXPECT_FALSE(socket.Send(data, 0));
  EXPECT_FALSE(socket.Send(nullptr, 1));
  EXPECT_FALSE(socket.SendText(L""));
  char buffer[4];
  EXPECT_EQ(socket.Receive(nullptr, 4), -1);
  EXPECT_EQ(socket.Receive(buffer, -1), -1);
  EXPECT_EQ(socket.Receive(buffer, 0), -1);
  EXPECT_TRUE(socket.IsConnected());  // none of these dropped the connection
  EXPECT_EQ(log_.Count("[ERROR] "), 0u) << log_.NewText();
  EXPECT_EQ(log_.Count("[WARN] "), 0u) << log_.NewText();
  socket.Close();
}

TEST_F(CustomizeSocketTest, ConnectHostNeedsAName) {
  CCustomizeSocket socket;
  EXPECT_FALSE(socket.ConnectHost(L"", 80));
  EXPECT_EQ(log_.Count("[WARN] "), 1u);
  EXPECT_EQ(log_.Count(" - socket, host is empty.\n"), 1u) << log_.NewText();

  LocalListener listener;
  listener.Serve(LocalListener::kCloseAtOnce);
  EXPECT_TRUE(socket.ConnectHost(L"127.0.0.1", listener.port()));
  socket.Close();
}

}  // namespace
