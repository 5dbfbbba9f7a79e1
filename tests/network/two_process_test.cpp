// The connection device across two processes: each test runs its own `net-demo echo 0`
// (a framed echo server on a free loopback port) and talks to it from this process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net_test_util.h"

extern char** environ;

namespace {

using nettest::Loopback;
using nettest::Pattern;
using nettest::PollUntil;

const std::string kDemo = std::string(VQ_BIN_DIR) + "/net-demo";

// A child process with its standard output on a pipe.
class Child {
 public:
  bool Spawn(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    m_out = fds[0];
    return rc == 0;
  }

  // The next output line; empty when none comes before the deadline or the pipe ends.
  std::string ReadLine() {
    std::string line;
    bool done = PollUntil([&] {
      size_t end = m_pending.find('\n');
      if (end != std::string::npos) {
        line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        return true;
      }
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) return false;
      char buffer[512];
      ssize_t n = read(m_out, buffer, sizeof(buffer));
      if (n <= 0) return true;  // the child ended
      m_pending.append(buffer, static_cast<size_t>(n));
      return false;
    });
    return done ? line : std::string();
  }

  // Waits for a line starting with `prefix`, skipping others; true when it came.
  bool WaitFor(const std::string& prefix) {
    for (int i = 0; i < 1000; ++i) {
      std::string line = ReadLine();
      if (line.empty()) return false;
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  // Exit status after the child ends by itself.
  int Wait() {
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid) m_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  ~Child() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
  }

 private:
  pid_t m_pid = 0;
  int m_out = -1;
  std::string m_pending;
};

class TwoProcess : public nettest::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ASSERT_TRUE(m_echo.Spawn({kDemo, "echo", "0"}));
    std::string line = m_echo.ReadLine();
    unsigned tcp = 0, udp = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "listening tcp 127.0.0.1:%u udp 127.0.0.1:%u", &tcp, &udp), 2) << line;
    ASSERT_EQ(tcp, udp);
    m_port = tcp;
  }

  VQFramedTcpClientLayer* Connect() {
    VQNetAddress a = Loopback(m_port);
    auto* c = static_cast<VQFramedTcpClientLayer*>(Create(VQLAYER_FRAMED_TCP_CLIENT, a));
    if (c == nullptr || !c->Start()) return nullptr;
    return c;
  }

  Child m_echo;
  uint32_t m_port = 0;
};

TEST_F(TwoProcess, PipelinedMessagesComeBackWholeAndInOrder) {
  VQFramedTcpClientLayer* client = Connect();
  ASSERT_NE(client, nullptr);
  ASSERT_TRUE(m_echo.WaitFor("open "));
  constexpr uint32_t kCount = 1000;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, 1 + (i * 53) % 5000);
    ASSERT_GT(client->Send(m.data(), static_cast<int32_t>(m.size())), 0) << i;
  }
  std::vector<uint8_t> got;
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_GT(ReceiveOne(client, &got, [&] { client->Flush(); }), 0) << i << " error " << g_VQerror;
    ASSERT_EQ(got, Pattern(i, 1 + (i * 53) % 5000)) << i;
  }
  ASSERT_TRUE(client->Close());
  EXPECT_TRUE(m_echo.WaitFor("close "));
}

TEST_F(TwoProcess, LargestPayloadAndSlowReader) {
  VQFramedTcpClientLayer* client = Connect();
  ASSERT_NE(client, nullptr);
  // Far more than the socket buffers hold, sent before reading anything back: both sides
  // queue, and every message still returns whole and in order.
  constexpr uint32_t kCount = 200;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, VQFRAME_MAX_PAYLOAD - i);
    ASSERT_GT(client->Send(m.data(), static_cast<int32_t>(m.size())), 0) << i;
  }
  std::vector<uint8_t> got;
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(ReceiveOne(client, &got), static_cast<int32_t>(VQFRAME_MAX_PAYLOAD - i)) << i << " error " << g_VQerror;
    ASSERT_EQ(got, Pattern(i, VQFRAME_MAX_PAYLOAD - i)) << i;
  }
}

TEST_F(TwoProcess, SixtyFourClientsAndTheNextRefused) {
  std::vector<VQFramedTcpClientLayer*> clients;
  for (uint32_t i = 0; i < VQNET_MAX_CLIENTS; ++i) {
    VQFramedTcpClientLayer* c = Connect();
    ASSERT_NE(c, nullptr) << i;
    ASSERT_TRUE(m_echo.WaitFor("open ")) << i;
    clients.push_back(c);
  }
  VQFramedTcpClientLayer* extra = Connect();
  ASSERT_NE(extra, nullptr);
  ASSERT_TRUE(m_echo.WaitFor("refused"));
  std::vector<uint8_t> got;
  EXPECT_EQ(ReceiveOne(extra, &got), -1);

  for (uint32_t i = 0; i < clients.size(); ++i) {
    std::vector<uint8_t> m = Pattern(i, 10 + i);
    ASSERT_GT(clients[i]->Send(m.data(), static_cast<int32_t>(m.size())), 0);
  }
  for (uint32_t i = 0; i < clients.size(); ++i) {
    ASSERT_EQ(ReceiveOne(clients[i], &got), static_cast<int32_t>(10 + i)) << i;
    EXPECT_EQ(got, Pattern(i, 10 + i)) << i;
  }
}

TEST_F(TwoProcess, GarbageAndTruncatedFramesDropOnlyTheirSender) {
  VQFramedTcpClientLayer* good = Connect();
  ASSERT_NE(good, nullptr);
  VQNetAddress a = Loopback(m_port);
  const std::vector<uint8_t> garbage[] = {
      {9, 9, 9, 9, 9, 9},             // not a frame at all
      {4, 0, 0xff, 0xff, 1, 2, 3},    // length above the limit
      {4, 0, 50, 0, 'h', 'a', 'l'},   // truncated: the sender closes in the middle
  };
  for (const std::vector<uint8_t>& bytes : garbage) {
    VQProtocolLayer* raw = Create(VQLAYER_TCP_CLIENT, a);
    ASSERT_TRUE(raw->Start());
    ASSERT_GT(raw->Send(bytes.data(), static_cast<int32_t>(bytes.size())), 0);
    if (bytes[0] == 4 && bytes[2] == 50) {
      ASSERT_TRUE(raw->Close());
    } else {
      char buffer[8];
      int32_t r = 0;
      ASSERT_TRUE(PollUntil([&] { return (r = raw->Receive(buffer, sizeof(buffer))) != 0; }));
      EXPECT_EQ(r, -1);  // the server closed our connection
    }
    ASSERT_TRUE(m_echo.WaitFor("close "));
    m_device.DeleteLayer(raw);
    ASSERT_GT(good->Send("alive", 5), 0);
    std::vector<uint8_t> got;
    ASSERT_EQ(ReceiveOne(good, &got), 5);
  }
}

TEST_F(TwoProcess, DatagramsComeBack) {
  VQNetAddress a = Loopback(0);
  auto* udp = static_cast<VQUdpReceiveLayer*>(Create(VQLAYER_UDP_RECEIVE, a));
  ASSERT_TRUE(udp->Start());
  VQNetAddress echo = Loopback(m_port);
  ASSERT_EQ(udp->SendTo("marco", 5, &echo), 5);
  char buffer[16];
  int32_t n = 0;
  ASSERT_TRUE(PollUntil([&] { return (n = udp->Receive(buffer, sizeof(buffer))) != 0; }));
  ASSERT_EQ(n, 5);
  EXPECT_EQ(std::memcmp(buffer, "marco", 5), 0);
  EXPECT_EQ(udp->GetLastSender()->m_port, m_port);
}

TEST_F(TwoProcess, SendCommandPrintsTheReplies) {
  Child sender;
  ASSERT_TRUE(sender.Spawn({kDemo, "send", "127.0.0.1", std::to_string(m_port), "one", "two words", "3"}));
  EXPECT_EQ(sender.ReadLine(), "reply one");
  EXPECT_EQ(sender.ReadLine(), "reply two words");
  EXPECT_EQ(sender.ReadLine(), "reply 3");
  EXPECT_EQ(sender.Wait(), 0);
}

TEST_F(TwoProcess, SendCommandReportsARefusedConnection) {
  VQNetAddress a = Loopback(0);
  VQProtocolLayer* probe = Create(VQLAYER_TCP_SERVER, a);
  ASSERT_TRUE(probe->Start());
  std::string closedPort = std::to_string(probe->GetLocalPort());
  m_device.DeleteLayer(probe);
  Child sender;
  ASSERT_TRUE(sender.Spawn({kDemo, "send", "127.0.0.1", closedPort, "x"}));
  EXPECT_EQ(sender.ReadLine(), "");
  EXPECT_EQ(sender.Wait(), 1);
}

}  // namespace
