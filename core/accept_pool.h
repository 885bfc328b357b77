// The threads that take FTP connections on one listening socket and serve them.
#pragma once
#include <condition_variable>
#include <mutex>

#include "platform/accept_waiter.h"
#include "platform/socket.h"

namespace core {

// Every idle thread waits on the pool's waiter; each connection wakes one of them, which
// takes it, lets the waiter wake the next thread, and serves the connection itself as its
// session thread, so a login wakes no other thread. After the greeting has left (see
// run_session) the thread starts another when fewer than two are idle, so that thread
// creation stays off the path of a login. A thread whose session has ended waits again
// unless many are idle (or plug-ins are loaded), so that a burst of logins after a busy
// spell finds threads ready instead of creating them; one that waited a minute without a
// connection ends while more than two are idle.
struct AcceptPool {
  platform::AcceptWaiter waiter;
  bool implicit_tls = false;
  std::mutex lock;
  std::condition_variable stopped;  // signalled when the pool stops
  int idle = 0;                     // threads serving no session
  bool stopping = false;
};

// Starts the pool's threads on socket; keeps trying until one stands or the pool stops.
void start_pool(AcceptPool& pool, platform::Socket socket, bool implicit_tls);
// Takes no more connections: wakes every idle thread, which ends. Sessions go on; each
// thread ends with its session.
void stop_pool(AcceptPool& pool);
// Releases the waiter once no thread of the stopped pool is left.
void close_pool(AcceptPool& pool);

}  // namespace core
