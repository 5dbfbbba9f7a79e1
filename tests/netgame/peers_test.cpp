// Whole network games between netgame-peer processes on 127.0.0.1: a host, a client that
// finds it by its beacon and one that types its address; they chat, race three laps and must
// print the same classification. A client killed during the race is dropped and the others
// still finish.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "Zentri/devices/network/VQConnectionDevice.h"

extern char** environ;

namespace {

const std::string kPeer = std::string(VQ_BIN_DIR) + "/netgame-peer";
constexpr auto kDeadline = std::chrono::seconds(40);

// A child process whose standard output is read line by line.
class Child {
 public:
  ~Child() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
  }
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
  // Reads what is there without waiting; true while the pipe is open.
  bool Pump() {
    if (m_closed) return false;
    pollfd p{m_out, POLLIN, 0};
    while (poll(&p, 1, 0) > 0) {
      char buffer[1024];
      ssize_t n = read(m_out, buffer, sizeof(buffer));
      if (n <= 0) {
        m_closed = true;
        return false;
      }
      m_pending.append(buffer, size_t(n));
      size_t end;
      while ((end = m_pending.find('\n')) != std::string::npos) {
        lines.push_back(m_pending.substr(0, end));
        m_pending.erase(0, end + 1);
      }
    }
    return true;
  }
  bool Saw(const std::string& prefix) const {
    for (const std::string& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : lines)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  void Kill() { kill(m_pid, SIGKILL); }
  // The exit status once the child ended (-1 after a signal or when it did not end in time).
  int Wait() {
    auto end = std::chrono::steady_clock::now() + kDeadline;
    int status = 0;
    for (;;) {
      Pump();
      pid_t r = waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid) break;
      if (std::chrono::steady_clock::now() > end) return -1;
      usleep(2000);
    }
    m_pid = -1;
    while (Pump()) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Text() const {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
  }

  std::vector<std::string> lines;

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  bool m_closed = false;
  std::string m_pending;
};

bool PumpUntil(const std::vector<Child*>& children, const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  while (!done()) {
    for (Child* c : children) c->Pump();
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(2000);
  }
  return true;
}

// A free UDP port on 127.0.0.1 (bound once, then released for the child to take).
uint32_t FreeUdpPort() {
  VQConnectionDevice device;
  if (!device.Open(0)) return 0;
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, 0);
  VQProtocolLayer* udp = device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
  uint32_t port = (udp && udp->Start()) ? udp->GetLocalPort() : 0;
  device.Close();
  return port;
}

// Starts host, Alpha (searching) and Bravo (typed address); fills the ports.
void StartGame(Child& host, Child& alpha, Child& bravo) {
  const std::string beacon = std::to_string(FreeUdpPort());
  ASSERT_NE(beacon, "0");
  ASSERT_TRUE(host.Spawn({kPeer, "host", "--name", "Hosty", "--players", "3", "--tcp", "0", "--udp",
                          "0", "--beacon-port", beacon, "--chat", "welcome all", "--speed", "30"}));
  ASSERT_TRUE(PumpUntil({&host}, [&] { return host.Saw("hosting ") || !host.Pump(); }))
      << host.Text();
  const std::vector<std::string> words = [&] {
    std::vector<std::string> w;
    std::string line = host.With("hosting ").at(0), word;
    for (char ch : line + " ") {
      if (ch == ' ') {
        w.push_back(word);
        word.clear();
      } else {
        word += ch;
      }
    }
    return w;
  }();
  ASSERT_EQ(words.size(), 5u);  // hosting tcp P udp Q
  const std::string tcp = words[2], hostUdp = words[4];
  ASSERT_TRUE(alpha.Spawn(
      {kPeer, "search", "--name", "Alpha", "--tcp", tcp, "--udp", beacon, "--speed", "36"}));
  ASSERT_TRUE(
      bravo.Spawn({kPeer, "join", "127.0.0.1", "--name", "Bravo", "--tcp", tcp, "--udp", "0",
                   "--host-udp", hostUdp, "--speed", "24", "--chat", "hello from bravo"}));
}

TEST(NetgamePeers, ThreeMachinesChatRaceThreeLapsAndAgreeOnTheClassification) {
  Child host, alpha, bravo;
  StartGame(host, alpha, bravo);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(host.Wait(), 0) << host.Text();
  EXPECT_EQ(alpha.Wait(), 0) << alpha.Text();
  EXPECT_EQ(bravo.Wait(), 0) << bravo.Text();
  const std::vector<std::string> expected = {"result 1 Alpha", "result 2 Hosty", "result 3 Bravo"};
  for (Child* c : {&host, &alpha, &bravo}) {
    std::vector<std::string> results = c->With("result ");
    ASSERT_EQ(results.size(), 3u) << c->Text();
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(results[i].rfind(expected[i], 0), 0u) << results[i];
    EXPECT_EQ(results, host.With("result ")) << "every machine prints the host's classification";
    EXPECT_TRUE(c->Saw("lap 3"));
    EXPECT_TRUE(c->Saw("lobby"));
  }
  EXPECT_TRUE(alpha.Saw("chat welcome all"));
  EXPECT_TRUE(bravo.Saw("chat welcome all"));
  EXPECT_TRUE(host.Saw("chat hello from bravo"));
  EXPECT_TRUE(alpha.Saw("found 127.0.0.1"));
}

TEST(NetgamePeers, AClientKilledMidRaceIsDroppedAndTheOthersFinish) {
  Child host, alpha, bravo;
  StartGame(host, alpha, bravo);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(PumpUntil({&host, &alpha, &bravo}, [&] { return bravo.Saw("lap 1"); }))
      << bravo.Text();
  bravo.Kill();
  EXPECT_EQ(bravo.Wait(), -1);
  EXPECT_EQ(host.Wait(), 0) << host.Text();
  EXPECT_EQ(alpha.Wait(), 0) << alpha.Text();
  EXPECT_EQ(host.With("left ").size(), 2u) << host.Text();  // Bravo, then Alpha leaving at the end
  EXPECT_NE(host.With("left ").at(0).find("Bravo"), std::string::npos);
  ASSERT_FALSE(alpha.With("left ").empty());
  EXPECT_NE(alpha.With("left ").at(0).find("Bravo"), std::string::npos);
  std::vector<std::string> results = host.With("result ");
  ASSERT_EQ(results.size(), 2u) << host.Text();
  EXPECT_EQ(results[0].rfind("result 1 Alpha", 0), 0u);
  EXPECT_EQ(results[1].rfind("result 2 Hosty", 0), 0u);
  EXPECT_EQ(alpha.With("result "), results);
}

}  // namespace
