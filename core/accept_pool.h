// The threads that take FTP connections on one listening socket and serve them.
#pragma once
#include <condition_variable>
#include <mutex>

#include "platform/socket.h"

namespace core {

// Every idle thread waits in accept; the kernel hands each connection to one of them,
// which serves it itself as its session thread, so a login wakes no other thread. After
// the greeting has left (see run_session) the thread starts another when fewer than two
// are idle, so that thread creation stays off the path of a login. A thread whose session
// has ended waits in accept again unless many are idle (or plug-ins are loaded), so that a
// burst of logins after a busy spell finds threads ready instead of creating them; an
// accept that waited a minute ends its thread while more than two are idle.
struct AcceptPool {
  platform::Socket socket = platform::kNoSocket;
  bool implicit_tls = false;
  std::mutex lock;
  std::condition_variable stopped;  // signalled when the pool stops
  int idle = 0;                     // threads serving no session (waiting in accept)
  bool stopping = false;
};

// Starts the pool's threads on socket; keeps trying until one stands or the pool stops.
void start_pool(AcceptPool& pool, platform::Socket socket, bool implicit_tls);
// Takes no more connections: breaks every idle thread's accept.
// Sessions go on; each thread ends with its session.
void stop_pool(AcceptPool& pool);

}  // namespace core
