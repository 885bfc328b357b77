// The live monitor without widgets: one row of eight texts per session of the Core, the
// latest snapshot of every session, the event dispatch that turns admin records into row
// and log changes, transfer progress and totals, idle notes and the periodic-notice
// counter. The main view mirrors the rows into its list and the log lines into the pane.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "manager/notify/notice.h"
#include "manager/shell/monitor_settings.h"
#include "platform/clock.h"
#include "shared/admin_record.h"

namespace manager {

inline constexpr int kColumnCount = 8;
enum Column { kColUser = 0, kColFile, kColDirection, kColSize, kColRate, kColHost, kColComment, kColId };

using Row = std::array<std::string, kColumnCount>;

// What the main view does with the changes (the list and the log pane).
class MonitorOutput {
 public:
  virtual ~MonitorOutput() = default;
  virtual void row_added(size_t row) = 0;  // appended at the end
  virtual void row_removed(size_t row) = 0;
  virtual void cell_changed(size_t row, int column, const std::string& text) = 0;
  virtual void log_line(const std::string& text) = 0;
  virtual void status_text(const std::string& text) = 0;
  // Event 22: the Core created an account whose password is to be mailed.
  virtual void account_mail_requested(const shared::SessionSnapshot& snapshot) = 0;
  // Event 27: the Core runs without its FTP listener, for the reason given.
  virtual void startup_problem(const std::string&) {}
};

// What a tick asks of the main view besides the rows.
struct TickActions {
  bool start_running_notice = false;  // the totals are fresh in totals()
  bool ras_keep_alive = false;
  bool refresh_addresses = false;     // once a minute: read the host's addresses again
};

// The host column: the host text, and " [TLS]" for a session whose control connection
// is encrypted.
std::string host_cell_text(const shared::SessionSnapshot& snap);
// "%2dh%2dm%2ds", "%2dm%2ds", "%dms" or "%2ds" of a number of milliseconds.
std::string duration_text(uint32_t milliseconds);
// The size text without its unit's last letter ("1.50K", "100").
std::string short_rate_text(double value);
// The session id as the list shows it ("%x").
std::string session_id_text(uint32_t id);
// The event line "%y/%m/%d %H:%M:%S user(host) text".
std::string event_log_line(const platform::LocalTime& time, const std::string& user,
                           const std::string& host, const std::string& text);

class Monitor {
 public:
  explicit Monitor(MonitorSettings settings = {});

  void set_output(MonitorOutput* output) { output_ = output; }
  void set_settings(const MonitorSettings& settings) { settings_ = settings; }
  const MonitorSettings& settings() const { return settings_; }
  // [AutoIP] values; the periodic counter starts at CheckTime the first time.
  void set_auto_ip(const AutoIpSettings& auto_ip);
  const AutoIpSettings& auto_ip() const { return auto_ip_; }
  void clear_end_notice() { auto_ip_.at_end = false; }
  // Local time of the event lines (tests fix it).
  void set_clock(std::function<platform::LocalTime()> clock) { clock_ = std::move(clock); }

  // Handles one 4180-byte record; now is the tick of its arrival.
  void dispatch(const shared::AdminEvent& event, uint32_t now);
  // The channel to the Core ended: every row and session goes, the summary is zeroed.
  void clear(uint32_t now);
  // A new channel is being opened at this tick: the Core first replays each live
  // session (connected before it) as events 0, 1 and 25, 4 or 5; those fill the rows
  // without log lines, since nothing new happened.
  void begin_join(uint32_t tick);
  // The one-second tick; published_address is the local address chosen by GlobalIP as it
  // stands now (empty when unknown).
  TickActions tick(uint32_t now, const std::string& published_address = {});
  // Writes a line to the log pane.
  void log(const std::string& text);

  void recompute_totals(uint32_t now);
  void update_status(uint32_t now);
  const TransferTotals& totals() const { return totals_; }
  NoticeSnapshot notice_snapshot() const;

  const std::vector<Row>& rows() const { return rows_; }
  // First row whose ID column is the session id; -1 when none.
  int find_row(uint32_t id) const;
  // The session id of a row (its ID column read as hexadecimal).
  uint32_t row_session_id(size_t row) const;
  const shared::SessionSnapshot* snapshot(uint32_t id) const;
  // Bytes of the session's current or last transfer, carried past the 32-bit count's wrap.
  uint64_t moved(uint32_t id) const;
  size_t session_count() const { return sessions_.size(); }

 private:
  void add_row(uint32_t id);
  void remove_row(size_t row);
  void set_cell(uint32_t id, int column, const std::string& text);
  void event_line(const shared::SessionSnapshot& snap, uint32_t id, const std::string& text);
  // What the monitor keeps of a session besides its latest snapshot.
  struct Tracked {
    shared::SessionSnapshot snap;
    uint64_t moved = 0;          // transferred, with the wraps of the 32-bit count
    bool login_pending = false;  // USER seen, the login not yet confirmed
    bool replaying = false;      // replayed by the Core to a joining Manager
  };
  void on_connected(const shared::SessionSnapshot& snap, uint32_t id);
  void on_user_event(const shared::SessionSnapshot& snap, uint32_t id, Tracked& state);
  void on_accepted(const shared::SessionSnapshot& snap, uint32_t id);
  void on_transfer_started(const shared::SessionSnapshot& snap, uint32_t id, const char* dir);
  void on_transfer_ended(shared::SessionSnapshot& snap, uint32_t id, const char* dir,
                         uint32_t now, uint64_t moved);
  void progress_update(shared::SessionSnapshot& snap, uint32_t id, uint32_t now, uint64_t moved);
  bool replay(const shared::AdminEvent& event, Tracked& state);
  uint64_t carry_moved(const shared::AdminEvent& event, const Tracked* before) const;
  bool connection_change_notice();
  bool address_change_notice(const std::string& published_address);

  MonitorSettings settings_;
  AutoIpSettings auto_ip_;
  bool auto_ip_loaded_ = false;
  int check_counter_ = 0;
  int last_notified_connections_ = 0;
  int address_counter_ = 0;
  std::string last_published_address_;  // the last non-empty one seen
  MonitorOutput* output_ = nullptr;
  std::function<platform::LocalTime()> clock_;
  std::vector<Row> rows_;
  std::map<uint32_t, Tracked> sessions_;
  bool joining_ = false;
  uint32_t join_tick_ = 0;
  TransferTotals totals_;
};

}  // namespace manager
