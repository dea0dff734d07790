#pragma once
// A TCP relay on loopback that stands for a network link with a round-trip
// time: every connection to it is forwarded to a target port on 127.0.0.1,
// and every piece of data is held back a set delay in either direction
// before it is passed on (a round trip costs twice the delay). The link has
// no bandwidth limit of its own: what arrives is queued, however much.
//
// The relay runs in a process of its own, forked by StartDelayRelay, so its
// threads, queues and CPU time stay out of the benchmark's measured runs.
// One connection or several at a time, each with two threads per direction.

#include <sys/types.h>

#include <chrono>

namespace quor {

struct DelayRelay {
  pid_t pid = -1;
  int port = 0;  // where clients connect
};

// Starts a relay to 127.0.0.1:`target_port` delaying each direction by
// `one_way`. Ends the program with a message when it cannot listen.
DelayRelay StartDelayRelay(int target_port, std::chrono::microseconds one_way);
// Ends the relay's process and waits for it.
void StopDelayRelay(DelayRelay& relay);

}  // namespace quor
