// One FTP connection: the Session record, owned and freed by its session thread.
//
// Threads: the session thread writes most fields; its data worker writes the transfer
// fields; the watchdog and the admin channel read. Numbers those others read are atomic.
// Texts that the admin channel copies into snapshots are guarded by field_lock, a leaf
// lock (nothing else is taken while it is held). Sockets are closed under socket_lock.
//
// The status message (message_text) is written by the session thread and by the data
// worker; it is set under field_lock, and report() sets it and takes the event's
// snapshot in one hold of the lock, so every event carries its own message. The
// plug-ins' record (view) belongs to the session thread alone: message hooks run there,
// socket hooks get copies.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "nfd_plugin.h"
#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/tls.h"

namespace core {

enum LoginState : int { kConnected = 0, kUserAccepted = 1, kLoggedIn = 2 };
enum PasswordMode : int { kNoPassword = 0, kPassword = 1, kEmailPassword = 2 };

enum class WorkerCommand : uint16_t {
  PassiveListen = 0,
  Listing = 1,
  SendFile = 2,
  ReceiveFile = 3,
  Exit = 4,
};

// A directory rule: a disk path and its prohibition bits.
struct DirRule {
  uint32_t flags = 0;
  std::string path;
};

// Prohibition bits of directory rules and of the account's forbidden operations.
enum Prohibit : uint32_t {
  kProhibitAppend = 0x0001,
  kProhibitOverwrite = 0x0002,
  kProhibitRename = 0x0004,
  kProhibitStore = 0x0008,
  kProhibitDelete = 0x0010,
  kProhibitRetrieve = 0x0020,
  kProhibitRemoveDir = 0x0040,
  kProhibitMakeDir = 0x0080,
  kProhibitList = 0x0100,
  kProhibitChangeDir = 0x0200,
  kFreeFolder = 0x0800,
  kRuleThisFolderOnly = 0x1000,
  kProhibitNoop = 0x2000,
  kNoRecursiveList = 0x4000,
};

inline constexpr uint16_t kNoRatio = 0xFFFF;
inline constexpr size_t kPathMax = 260;

// Stack of a session thread and of its data worker. Sanitizer builds need more room for
// their bookkeeping.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kSessionStackBytes = 8 * platform::kSmallStack;
#else
inline constexpr size_t kSessionStackBytes = platform::kSmallStack;
#endif

// The three sockets of a session, closed under the session's socket lock.
enum class SessionSocket { Control, Data, PassiveListen };

struct Session {
  // What message hooks see (session thread only); its first field is the 2048-byte reply
  // buffer, loaded from message_text before the hooks and stored back when they changed it.
  nfd_session view{};

  uint32_t id = 0;

  // Data connection (fileservice/data_connection).
  platform::Ipv4Endpoint data_address;
  std::atomic<platform::Socket> control_socket{platform::kNoSocket};
  std::atomic<platform::Socket> data_socket{platform::kNoSocket};
  std::atomic<platform::Socket> passive_listen_socket{platform::kNoSocket};
  std::mutex socket_lock;
  std::atomic<int> passive{0};
  std::atomic<uint32_t> transferring{0};
  std::atomic<uint32_t> upload{0};
  platform::Thread worker;
  bool worker_started = false;  // the session thread's: worker holds a thread to join

  // TLS (core/transport, core/tls_commands). The control stream is set by the session
  // thread (AUTH, or the implicit-TLS port) before login, so before the worker sends on
  // the control connection; control_encrypted publishes it. It lives until the control
  // socket is closed. The data stream belongs to the routine that opened it.
  std::unique_ptr<platform::TlsStream> control_tls;
  std::atomic<bool> control_encrypted{false};
  std::unique_ptr<platform::TlsStream> data_tls;
  bool protection_size_set = false;      // PBSZ 0 came
  std::atomic<bool> protect_data{false};  // PROT P
  bool implicit_tls = false;              // accepted on the implicit-TLS port
  bool require_tls = false;               // the account's RequireTLS

  // Texts copied by snapshots: written under field_lock.
  std::mutex field_lock;
  std::string user_name;       // empty until session start sets "UnKnown"
  std::string group_name;
  std::string password;
  std::string home_directory;  // ends with '/'
  std::string current_directory;  // ends with '/'
  std::string email;
  std::string transfer_path;
  std::string host_text;
  std::string address_text;
  std::string message_text;  // the status message, at most 2047 bytes, no NUL

  // Account.
  int password_mode = kNoPassword;
  std::atomic<int> login_state{kConnected};
  uint16_t forbidden = 0;
  uint8_t binary_type = 0;
  std::atomic<double> credit{0.0};
  uint16_t rate = kNoRatio;
  int capacity_limit = 0;
  int unknown_id = 0;
  std::atomic<int> max_per_host{0};  // read by snapshots
  std::atomic<int> max_per_user{0};  // read by snapshots
  int option_flags = 0;  // bit 0: PASV forbidden
  bool epsv_all = false;  // after EPSV ALL only EPSV sets up data connections
  std::atomic<uint32_t> mlst_facts{0xFFFFFFFFu};  // MLST/MLSD facts chosen by OPTS MLST (MLSD reads them on the worker)
  int up_limit = 0;      // kbit/s, paces downloads
  int down_limit = 0;    // kbit/s, paces uploads
  int refused_user = 0;
  std::atomic<int> save_credit{0};  // read by snapshots
  std::vector<DirRule> dir_rules;
  std::vector<std::string> prohibited_hosts;
  std::string message_3310, message_226, message_230;
  bool account_loaded = false;
  // Plug-in numbers, -1 for paths not loaded. Written under field_lock: socket hooks on
  // the data worker copy it under the lock.
  std::vector<int> user_plugins;
  std::string user_file, settings_file;

  // Control input received after the end of the last command line (session thread only):
  // a client that sends several commands at once loses none of them.
  std::string pending_input;

  // Transfer state, read by the watchdog and the admin channel.
  std::atomic<uint64_t> file_size{0};       // listing flags while a listing is pending
  std::atomic<uint64_t> restart_offset{0};
  std::atomic<uint64_t> transferred{0};  // the snapshot carries its low 32 bits
  std::atomic<uint32_t> connect_tick{0};
  std::atomic<uint32_t> transfer_start_tick{0};
  std::atomic<uint32_t> last_activity_tick{0};
  std::atomic<int> idle_minutes{0};
  std::atomic<int> connect_minutes{0};
  std::atomic<int> closing{0};
  std::atomic<int> operator_abort{0};  // the Manager's abort command ended the transfer

  // Data worker hand-over.
  platform::Event passive_ready{true};
  platform::Event data_failed{true};
  platform::Event worker_idle{true, true};  // a session without a worker is idle
  platform::Event worker_wakeup{false};
  platform::Event abort_sleep{true};  // set to cut a paced transfer's sleep short
  platform::Event ending{true};       // set by a kick or the stop: cuts the login delay short
  std::atomic<uint16_t> worker_command{static_cast<uint16_t>(WorkerCommand::Exit)};
  // Commands handed to the worker and commands it has taken, under worker_lock (a leaf
  // lock but for the events it sets): the worker is idle only when it has taken every
  // command, and a wake-up for a command already taken runs nothing.
  std::mutex worker_lock;
  uint32_t worker_handed = 0;
  uint32_t worker_taken = 0;
  // The worker thread runs its loop: it starts with the first data command and ends
  // after a while without one (under worker_lock).
  bool worker_running = false;
  // The last reply of the running worker routine, held back until the routine has settled
  // the transfer state (the worker's alone).
  std::string worker_closing_reply;
};

// Copies a text field under the field lock (for threads other than the owner).
std::string read_field(Session& s, const std::string Session::*field);
void write_field(Session& s, std::string Session::*field, std::string value);
// Sets the status message (cut to 2047 bytes and at a NUL) under the field lock.
void set_message(Session& s, std::string_view text);
// The status message, copied under the field lock.
std::string read_message(Session& s);
// The status message cut as set_message stores it.
std::string bounded_message(std::string_view text);

// Shuts a socket down in both directions and closes it, once, under the socket lock.
// Only the thread that blocks on a socket closes it; others call shutdown_session_socket,
// which breaks the blocking call and leaves the close to the owner.
void close_session_socket(Session& s, SessionSocket which);
void shutdown_session_socket(Session& s, SessionSocket which);
// Sets closing (once) and breaks the passive listen, data and control sockets: the
// session's threads see it and end.
void kick_session(Session& s);

}  // namespace core
