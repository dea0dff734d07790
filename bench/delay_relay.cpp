#include "delay_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quor {

namespace {

using Clock = std::chrono::steady_clock;

bool SendAll(int handle, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t count = send(handle, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

// One direction of a connection: a reader that stamps each piece with the
// moment it may go on, and a writer that passes it on at that moment. The
// reader never waits for the writer, so the delay does not slow the flow.
void Pump(int from, int to, std::chrono::microseconds delay) {
  struct Piece {
    Clock::time_point due;
    std::string bytes;
  };
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Piece> queue;
  bool ended = false;
  std::thread writer([&] {
    for (;;) {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return !queue.empty() || ended; });
      if (queue.empty()) break;
      Piece piece = std::move(queue.front());
      queue.pop_front();
      lock.unlock();
      std::this_thread::sleep_until(piece.due);
      if (!SendAll(to, piece.bytes)) {
        // The far end has gone: stop taking data for it.
        shutdown(from, SHUT_RD);
        break;
      }
    }
    shutdown(to, SHUT_WR);
  });
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    ssize_t count = recv(from, buffer.data(), buffer.size(), 0);
    if (count <= 0) break;
    std::lock_guard lock(mutex);
    queue.push_back({Clock::now() + delay, std::string(buffer.data(), static_cast<size_t>(count))});
    ready.notify_one();
  }
  {
    std::lock_guard lock(mutex);
    ended = true;
  }
  ready.notify_one();
  writer.join();
}

int ConnectToTarget(int port) {
  int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(handle);
    return -1;
  }
  return handle;
}

void NoDelay(int handle) {
  int on = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void Relay(int client, int target_port, std::chrono::microseconds delay) {
  int server = ConnectToTarget(target_port);
  if (server < 0) {
    close(client);
    return;
  }
  NoDelay(client);
  NoDelay(server);
  std::thread upstream(Pump, client, server, delay);
  Pump(server, client, delay);
  upstream.join();
  close(server);
  close(client);
}

}  // namespace

DelayRelay StartDelayRelay(int target_port, std::chrono::microseconds one_way) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("delay relay");
    std::exit(1);
  }
  DelayRelay relay;
  relay.port = ntohs(address.sin_port);
  relay.pid = fork();
  if (relay.pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (relay.pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;) {
      int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::thread(Relay, client, target_port, one_way).detach();
    }
  }
  close(listener);
  return relay;
}

void StopDelayRelay(DelayRelay& relay) {
  if (relay.pid <= 0) return;
  kill(relay.pid, SIGTERM);
  waitpid(relay.pid, nullptr, 0);
  relay.pid = -1;
}

}  // namespace quor
