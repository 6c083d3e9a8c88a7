// Followers of the service's changes: from a write's acknowledgement to its
// event arriving at every follower (p50 and p99 over all deliveries), and
// the server's memory per idle follower. bench/event-stream runs it.
//
//   event_stream_bench PORT SERVER_PID FOLLOWERS [WRITES]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads until the text has arrived; false on end or error.
bool readUntil(int fd, const std::string& text, std::string& seen) {
  char buffer[4096];
  while (seen.find(text) == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return false;
    }
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

long residentKilobytes(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return 0;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: event_stream_bench PORT SERVER_PID FOLLOWERS [WRITES]\n");
    return 2;
  }
  const int port = std::stoi(argv[1]);
  const int server = std::stoi(argv[2]);
  const int followers = std::stoi(argv[3]);
  const int writes = argc > 4 ? std::stoi(argv[4]) : 20;
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);

  const long before = residentKilobytes(server);
  std::vector<int> streams;
  for (int i = 0; i < followers; ++i) {
    const int fd = connectTo(port);
    std::string seen;
    if (fd < 0 || !sendAll(fd, "GET /kelvane/qx/events HTTP/1.1\r\nHost: b\r\n\r\n") ||
        !readUntil(fd, "retry: 2000", seen)) {
      std::fprintf(stderr, "event_stream_bench: follower %d was not let in\n", i);
      return 1;
    }
    streams.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long after = residentKilobytes(server);

  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    epoll_event watched{EPOLLIN, {.u64 = i}};
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, streams[i], &watched);
  }
  const int writer = connectTo(port);
  std::vector<double> delays;
  for (int w = 0; w < writes; ++w) {
    const std::string body = R"(store={"name":"Bench )" + std::to_string(w) + R"(","created":"B"})";
    sendAll(writer, "POST /kelvane/qx/addStore.php HTTP/1.1\r\nHost: b\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body);
    std::string reply;
    readUntil(writer, "}", reply);
    const auto acknowledged = Clock::now();
    int arrived = 0;
    std::vector<epoll_event> ready(1024);
    while (arrived < followers) {
      const int n = ::epoll_wait(epoll, ready.data(), static_cast<int>(ready.size()), 5000);
      if (n <= 0) {
        std::fprintf(stderr, "event_stream_bench: %d of %d followers heard of write %d\n", arrived,
                     followers, w);
        return 1;
      }
      const auto now = Clock::now();
      for (int e = 0; e < n; ++e) {
        char buffer[4096];
        ::recv(streams[ready[static_cast<std::size_t>(e)].data.u64], buffer, sizeof buffer, 0);
        delays.push_back(std::chrono::duration<double, std::milli>(now - acknowledged).count());
        ++arrived;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  std::printf(
      "followers %d: event after acknowledgement p50 %.1f ms, p99 %.1f ms (%zu deliveries); "
      "server memory %ld MB before, %ld MB after: %.1f KB per idle follower\n",
      followers, percentile(delays, 0.5), percentile(delays, 0.99), delays.size(), before / 1024,
      after / 1024, static_cast<double>(after - before) / followers);
  return 0;
}
