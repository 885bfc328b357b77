// The threads that take FTP connections on one listening socket and serve them.
#pragma once
#include <condition_variable>
#include <mutex>

#include "platform/socket.h"

namespace core {

// One thread at a time, the leader, waits in accept: a thread blocked in accept holds a
// descriptor slot, so only one does. The others, followers, wait for their turn. The
// leader that takes a connection serves it itself as its session thread and hands the
// accept to a follower once the session has started (see run_session), so the greeting
// waits for no other thread. A new leader starts another thread before its accept when
// fewer than two are idle, so that thread creation stays off the path of a login.
// A thread whose session has ended becomes a follower again unless many are idle (or
// plug-ins are loaded), so that a burst of logins after a busy spell finds threads ready
// instead of creating them; a follower that waited a minute without its turn ends while
// more than two are idle.
struct AcceptPool {
  platform::Socket socket = platform::kNoSocket;
  bool implicit_tls = false;
  std::mutex lock;
  std::condition_variable turn;  // the leader stepped down, or the pool stops
  bool led = false;              // a thread waits in accept or has yet to hand it on
  int idle = 0;                  // threads serving no session: the leader and followers
  bool stopping = false;
};

// Starts the pool's threads on socket; keeps trying until one stands or the pool stops.
void start_pool(AcceptPool& pool, platform::Socket socket, bool implicit_tls);
// Takes no more connections: breaks the leader's accept and sends the followers away.
// Sessions go on; each thread ends with its session.
void stop_pool(AcceptPool& pool);

}  // namespace core
