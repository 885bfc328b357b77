// The Manager's side of the Core: the running test, starting the Core (as a child
// process or as the systemd service), the admin channel with its receive thread, the
// operator's commands, and the connect/disconnect command that ties them together.
#pragma once
#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "manager/shell/program_paths.h"
#include "platform/socket.h"

namespace manager {

// [System] keys the Manager reads to find the Core.
struct CoreSettings {
  bool service = false;        // Service
  int ftp_port = 21;           // Port
  int admin_port = 54253;      // FtpdCoreListenPort
};
CoreSettings read_core_settings(const std::string& ini_file);

// True when a Core serves this site: the named mutex "velmoraftpd:<Port>" exists, or,
// with Service set, the systemd service is active.
bool core_is_running(const std::string& ini_file);

// The operator's text when the Core listening on admin_port would refuse a Manager run by
// manager_uid (the Core admits its own user, root and the velmoraftpd group); "" when it
// would admit it or nothing listens there.
std::string admin_refusal(int admin_port, uint32_t manager_uid);

// Time limits of the channel; tests shorten them.
struct CoreTimeLimits {
  int attempt_spacing_ms = 1000;  // the three connect attempts start 0, 1 and 2 spacings in
  int connect_timeout_ms = 2000;  // one attempt
  int service_start_ms = 30000;   // a starting service must be active within this
  int service_poll_ms = 250;      // pause between two looks at a starting service
  int stop_wait_ms = 10000;       // after the stop command, before asking to end the process
};

// The admin channel: one connection to the Core's admin port on 127.0.0.1 and a thread
// that receives 4180-byte records and hands each to the user-interface thread through
// record_received (one emission per receive, in order). The signal is emitted on the
// receive thread: connect it to a receiver (or a lambda with a context object) that lives
// on the user-interface thread, so that the delivery is queued there.
class CoreChannel : public QObject {
  Q_OBJECT
 public:
  explicit CoreChannel(ProgramPaths paths, QObject* parent = nullptr);
  ~CoreChannel() override;  // closes the channel and joins its thread

  // Starts the Core when it does not run, then connects (three attempts spread over a
  // few seconds) and starts the receive thread. False when no connection was made.
  bool start_and_connect();
  bool is_open() const;
  // Why the last start_and_connect made no connection when the Core would refuse this
  // Manager (see admin_refusal); "" otherwise.
  const std::string& refusal() const;
  void send_kick(uint32_t session_id);
  void send_abort(uint32_t session_id);
  // Sends the stop command; nothing is awaited (see core_ended).
  void send_stop();
  // True once the Core has really ended: its channel is closed and, when this Manager
  // started it as a process, that process has ended (and has been reaped).
  bool core_ended();
  // Waits, within the limit, for core_ended (blocking; tests and the default hook).
  bool wait_for_core_end(int timeout_ms);
  // Ends the Core process this Manager started (SIGKILL); false when there is none.
  bool kill_core();
  // True when the Core process this Manager started has ended (it is then reaped).
  bool started_core_exited();
  // Counts the channels opened; channel_ended carries the count of the channel that ended.
  quint64 generation() const;
  // Shuts the socket down (the receive thread then closes it) and joins the thread.
  void close_channel();

  void set_time_limits(const CoreTimeLimits& limits);
  const CoreTimeLimits& time_limits() const;
  // Process id of the Core this Manager started and has not seen end; -1 when none.
  int core_process_id() const;

 signals:
  void record_received(QByteArray record);
  // The receive loop ended (the Core closed the channel, died, or the channel was shut).
  void channel_ended(quint64 generation);

 private:
  struct State;
  bool start_core(const CoreSettings& settings);
  bool start_receiver(platform::Socket socket);
  void receive_records(platform::Socket socket);
  void send_command(uint8_t code, uint32_t session_id);
  std::unique_ptr<State> state_;
};

// What the connect/disconnect command needs from the windows around it.
struct ConnectHooks {
  std::function<void(const std::string&)> log;            // one line to the log pane
  std::function<void(const std::string&)> show_message;   // message box, OK only
  std::function<bool(const std::string&)> ask_yes_no;     // true for Yes
  std::function<size_t()> session_count;                  // rows of the live user list
  // After the channel is up, before the empty log line: the notice and plug-in log
  // targets, the synchronous local address lookup, loading the system plug-ins.
  std::function<void()> on_connected;
  std::function<void()> on_disconnected;  // after the Core ended: unload the plug-ins
  // After the stop command: waits until the Core has ended (channel.core_ended()); false
  // when it did not end. Unset: a blocking wait of stop_wait_ms.
  std::function<bool()> wait_for_stop;
};

// The menu command "接続/切断": connect (wanted true) or stop the Core (wanted false);
// true when the wanted state took effect.
class CoreController {
 public:
  CoreController(CoreChannel& channel, ProgramPaths paths, ConnectHooks hooks);
  bool toggle(bool wanted);
  bool connected() const { return connected_; }
  // The channel of this generation ended. True when that was a loss (connected, not
  // being stopped, the current channel): the state is then disconnected.
  bool channel_lost(quint64 generation);

 private:
  bool connect_core();
  bool disconnect_core();
  CoreChannel& channel_;
  ProgramPaths paths_;
  ConnectHooks hooks_;
  bool connected_ = false;
  bool stopping_ = false;
};

}  // namespace manager
