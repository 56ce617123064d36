// A RabbitMQ node of the test's own: its own node name, ports, Erlang port mapper and
// data folder under a temporary directory, started at construction, waited for, and
// stopped (with its port mapper) at destruction. The management plugin stays off.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace broker_tests {

inline constexpr const char* kServer = "/usr/lib/rabbitmq/bin/rabbitmq-server";
inline constexpr const char* kControl = "/usr/lib/rabbitmq/bin/rabbitmqctl";

inline bool BrokerInstalled() {
  return ::access(kServer, X_OK) == 0 && ::access(kControl, X_OK) == 0;
}

// A port nobody listens on now; below 50000, since the node's command-line tools take
// the ten ports from its distribution port plus 10000.
inline int FreePort() {
  for (;;) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(probe);
    if (!bound) return 0;
    if (ntohs(address.sin_port) < 50000) return ntohs(address.sin_port);
  }
}

class BrokerNode {
 public:
  BrokerNode() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillmere-broker-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    directory_ = pattern;
    node_ = "qmtest" + std::to_string(::getpid()) + "@localhost";
    port_ = FreePort();
    std::ofstream(directory_ / "enabled_plugins") << "[].\n";
    environment_ = "env HOME=" + directory_.string() + " RABBITMQ_NODENAME=" + node_ +
                   " RABBITMQ_NODE_PORT=" + std::to_string(port_) +
                   " RABBITMQ_DIST_PORT=" + std::to_string(FreePort()) +
                   " ERL_EPMD_PORT=" + std::to_string(FreePort()) +
                   " RABBITMQ_MNESIA_BASE=" + (directory_ / "mnesia").string() +
                   " RABBITMQ_LOG_BASE=" + (directory_ / "log").string() +
                   " RABBITMQ_PID_FILE=" + (directory_ / "pid").string() +
                   " RABBITMQ_ENABLED_PLUGINS_FILE=" + (directory_ / "enabled_plugins").string() +
                   " RABBITMQ_CONFIG_FILE=" + (directory_ / "rabbitmq").string() +
                   " RABBITMQ_ADVANCED_CONFIG_FILE=" + (directory_ / "advanced.config").string();
    Start();
  }
  ~BrokerNode() {
    Stop();
    // The port mapper goes once no node is registered with it.
    Run(environment_ + " epmd -kill");
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  BrokerNode(const BrokerNode&) = delete;
  BrokerNode& operator=(const BrokerNode&) = delete;

  bool running() const { return running_; }
  int port() const { return port_; }
  std::string Url(const std::string& credentials = "guest:guest") const {
    return "amqp://" + credentials + "@127.0.0.1:" + std::to_string(port_) + "/";
  }

  // The whole node, as a machine restarting would; its durable queues come back.
  void Start() {
    Run("nice -n 10 " + environment_ + " " + kServer + " >>" +
        (directory_ / "server.log").string() + " 2>&1 &");
    running_ = AwaitStartup();
    if (!running_)
      (void)!std::system(("tail -n 20 " + (directory_ / "server.log").string()).c_str());
  }
  // Returns once the node's process has ended.
  void Stop() {
    Control("stop " + (directory_ / "pid").string());
    running_ = false;
  }
  // The broker's application only: clients are cut off and refused, the node stays.
  void StopApplication() { Control("stop_app"); }
  void StartApplication() { Control("start_app"); }
  bool Control(const std::string& command) {
    return Run(environment_ + " " + kControl + " -q -n " + node_ + " " + command) == 0;
  }

 private:
  static int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
  }
  bool AwaitStartup() {
    // The node answers await_startup only once it has registered with its port mapper.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Control("await_startup --timeout 60")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return false;
  }

  std::filesystem::path directory_;
  std::string node_;
  std::string environment_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace broker_tests
