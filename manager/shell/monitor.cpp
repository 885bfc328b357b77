#include "manager/shell/monitor.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "shared/size_text.h"

namespace manager {
namespace {

constexpr const char* kUnknownUser = "??????";
constexpr const char* kSessionStartName = "UnKnown";  // the Core's name before USER

uint64_t file_size_of(const shared::SessionSnapshot& s) {
  return (static_cast<uint64_t>(s.file_size_high) << 32) | s.file_size_low;
}

uint64_t start_offset_of(const shared::SessionSnapshot& s) {
  return (static_cast<uint64_t>(s.restart_offset_high) << 32) | s.restart_offset_low;
}

// The last path component (the Core sends its real paths with '/').
std::string file_name_part(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Bits per second of a session's transfer so far; a transfer under one second counts as
// one second. Worked in 64 bits: bytes x 8 does not fit 32 bits once a transfer passes
// 512 MiB.
uint64_t transfer_rate(const shared::SessionSnapshot& s, uint64_t moved, uint32_t now) {
  const uint32_t elapsed = now - s.transfer_start_tick;
  const uint32_t seconds = elapsed < 1000 ? 1 : elapsed / 1000;
  return moved * 8 / seconds;
}

// The end events carry the Core's wording: a finished transfer's text says it completed.
bool reports_completion(const shared::SessionSnapshot& s) {
  return s.message.find("完了しました") != std::string::npos;
}

constexpr uint64_t kWrap = uint64_t{1} << 32;

bool note_due(int setting_seconds, uint32_t elapsed_ms) {
  return setting_seconds > 0 && static_cast<uint64_t>(setting_seconds) * 1000 < elapsed_ms;
}

}  // namespace

std::string duration_text(uint32_t d) {
  const unsigned hours = d / 3600000;
  const unsigned minutes = (d % 3600000) / 60000;
  const unsigned seconds = (d % 60000) / 1000;
  char text[64];
  if (d >= 3600001) {
    snprintf(text, sizeof text, "%2uh%2um%2us", hours, minutes, seconds);
  } else if (d >= 60001) {
    snprintf(text, sizeof text, "%2um%2us", minutes, seconds);
  } else if (d <= 1000) {
    snprintf(text, sizeof text, "%ums", d);
  } else {
    snprintf(text, sizeof text, "%2us", d / 1000);
  }
  return text;
}

std::string short_rate_text(double value) {
  std::string text = shared::size_text(value);
  text.pop_back();
  return text;
}

std::string session_id_text(uint32_t id) {
  char text[16];
  snprintf(text, sizeof text, "%x", id);
  return text;
}

std::string event_log_line(const platform::LocalTime& t, const std::string& user,
                           const std::string& host, const std::string& text) {
  char stamp[64];
  snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d", t.year % 100, t.month, t.day,
           t.hour, t.minute, t.second);
  return std::string(stamp) + " " + user + "(" + host + ") " + text;
}

Monitor::Monitor(MonitorSettings settings)
    : settings_(settings), clock_([] { return platform::local_time_now(); }) {}

void Monitor::set_auto_ip(const AutoIpSettings& auto_ip) {
  auto_ip_ = auto_ip;
  if (!auto_ip_loaded_) check_counter_ = auto_ip.check_minutes;
  auto_ip_loaded_ = true;
}

void Monitor::log(const std::string& text) {
  if (output_) output_->log_line(text);
}

int Monitor::find_row(uint32_t id) const {
  const std::string key = session_id_text(id);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i][kColId] == key) return static_cast<int>(i);
  }
  return -1;
}

std::string host_cell_text(const shared::SessionSnapshot& snap) {
  return (snap.security & shared::kSecureControl) != 0 ? snap.host_text + " [TLS]" : snap.host_text;
}

uint32_t Monitor::row_session_id(size_t row) const {
  if (row >= rows_.size()) return 0;
  return static_cast<uint32_t>(std::strtoul(rows_[row][kColId].c_str(), nullptr, 16));
}

const shared::SessionSnapshot* Monitor::snapshot(uint32_t id) const {
  const auto it = sessions_.find(id);
  return it == sessions_.end() ? nullptr : &it->second.snap;
}

uint64_t Monitor::moved(uint32_t id) const {
  const auto it = sessions_.find(id);
  return it == sessions_.end() ? 0 : it->second.moved;
}

// A row per id: a connection event for an id that has a row already (a session of an
// earlier Core run) starts that row afresh instead of adding a second one.
void Monitor::add_row(uint32_t id) {
  Row row;
  row[kColUser] = kUnknownUser;
  row[kColId] = session_id_text(id);
  int index = find_row(id);
  if (index < 0) {
    rows_.push_back(Row{});
    index = static_cast<int>(rows_.size()) - 1;
    if (output_) output_->row_added(static_cast<size_t>(index));
  }
  for (int column = 0; column < kColumnCount; ++column) {
    if (rows_[index][column] == row[column]) continue;
    rows_[index][column] = row[column];
    if (output_) output_->cell_changed(static_cast<size_t>(index), column, row[column]);
  }
}

void Monitor::remove_row(size_t row) {
  rows_.erase(rows_.begin() + static_cast<long>(row));
  if (output_) output_->row_removed(row);
}

void Monitor::set_cell(uint32_t id, int column, const std::string& text) {
  const int row = find_row(id);
  if (row < 0 || rows_[row][column] == text) return;
  rows_[row][column] = text;
  if (output_) output_->cell_changed(static_cast<size_t>(row), column, text);
}

void Monitor::event_line(const shared::SessionSnapshot& snap, uint32_t id,
                         const std::string& text) {
  set_cell(id, kColComment, text);
  log(event_log_line(clock_(), snap.user_name, snap.host_text, text));
}

void Monitor::on_connected(const shared::SessionSnapshot& snap, uint32_t id) {
  add_row(id);
  event_line(snap, id, "接続されました。");
  set_cell(id, kColHost, host_cell_text(snap));
}

void Monitor::on_accepted(const shared::SessionSnapshot& snap, uint32_t id) {
  set_cell(id, kColUser, snap.user_name);
  event_line(snap, id, "ログインしました。");
}

// The Core sends event 1 at USER (the name is known) and again when the login succeeded:
// only the second is a login. A refusal in between (event 24) ends the wait.
void Monitor::on_user_event(const shared::SessionSnapshot& snap, uint32_t id, Tracked& state) {
  if (!state.login_pending) {
    set_cell(id, kColUser, snap.user_name);
    state.login_pending = true;
    return;
  }
  state.login_pending = false;
  on_accepted(snap, id);
}

void Monitor::on_transfer_started(const shared::SessionSnapshot& snap, uint32_t id,
                                  const char* direction) {
  event_line(snap, id, snap.message);
  set_cell(id, kColFile, file_name_part(snap.transfer_path));
  set_cell(id, kColDirection, direction);
}

// The Core sends the end event before it clears its transferring flag: the transfer has
// ended all the same. A transfer that stopped short (an abort, a broken connection) is
// shown as stopped, not completed.
void Monitor::on_transfer_ended(shared::SessionSnapshot& snap, uint32_t id,
                                const char* direction, uint32_t now, uint64_t moved) {
  snap.transferring = 0;
  event_line(snap, id, snap.message);
  set_cell(id, kColRate, "");
  progress_update(snap, id, now, moved);
  set_cell(id, kColDirection,
           std::string(direction) + (reports_completion(snap) ? "_COMP" : "_STOP"));
}

void Monitor::progress_update(shared::SessionSnapshot& snap, uint32_t id, uint32_t now,
                              uint64_t moved_now) {
  const uint32_t elapsed = now - snap.transfer_start_tick;
  if (note_due(settings_.down_seconds, elapsed)) {
    set_cell(id, kColComment, duration_text(elapsed) + " passed.");
  }
  const uint64_t rate = transfer_rate(snap, moved_now, now);
  set_cell(id, kColRate, settings_.adjust_digits ? short_rate_text(static_cast<double>(rate))
                                                 : std::to_string(rate));
  const uint64_t moved = start_offset_of(snap) + moved_now;
  const uint64_t size = file_size_of(snap);
  std::string text;
  if (settings_.adjust_digits) {
    text = size == 0 ? short_rate_text(static_cast<double>(moved)) + "/?"
                     : shared::size_text(static_cast<double>(moved)) + "/" +
                           shared::size_text(static_cast<double>(size));
  } else {
    text = size == 0 ? std::to_string(moved) + "/?"
                     : std::to_string(moved) + "/" + std::to_string(size);
  }
  const int row = find_row(id);
  if (row >= 0 && rows_[row][kColSize] != text) {
    set_cell(id, kColSize, text);
    snap.last_activity_tick = now;
  }
}

void Monitor::recompute_totals(uint32_t now) {
  totals_ = TransferTotals{};
  totals_.connections = static_cast<int>(sessions_.size());
  totals_.max_connect = settings_.max_connect;
  for (const auto& [id, state] : sessions_) {
    const shared::SessionSnapshot& snap = state.snap;
    if (!snap.transferring) continue;
    const double rate = static_cast<double>(transfer_rate(snap, state.moved, now));
    if (snap.upload) {
      ++totals_.uploading;
      totals_.upload_bps += rate;
    } else {
      ++totals_.downloading;
      totals_.download_bps += rate;
    }
  }
}

void Monitor::update_status(uint32_t now) {
  recompute_totals(now);
  char text[128];
  snprintf(text, sizeof text, "UP:%d(%sbps) DOWN:%d(%sbps)", totals_.uploading,
           short_rate_text(totals_.upload_bps).c_str(), totals_.downloading,
           short_rate_text(totals_.download_bps).c_str());
  if (output_) output_->status_text(text);
}

NoticeSnapshot Monitor::notice_snapshot() const {
  NoticeSnapshot n;
  static_cast<TransferTotals&>(n) = totals_;
  n.settings = auto_ip_;
  return n;
}

void Monitor::clear(uint32_t now) {
  while (!rows_.empty()) remove_row(rows_.size() - 1);
  sessions_.clear();
  joining_ = false;
  update_status(now);
}

void Monitor::begin_join(uint32_t tick) {
  joining_ = true;
  join_tick_ = tick;
}

// The 32-bit count of the snapshot wraps every 4 GiB: within one transfer (the same
// start tick, no new start event) a count below the last one has wrapped.
uint64_t Monitor::carry_moved(const shared::AdminEvent& event, const Tracked* before) const {
  const shared::SessionSnapshot& snap = event.snapshot;
  const bool new_transfer = event.type == shared::kEventDownloadStarted ||
                            event.type == shared::kEventUploadStarted;
  if (!before || new_transfer || before->snap.transfer_start_tick != snap.transfer_start_tick) {
    return snap.transferred;
  }
  uint64_t moved = (before->moved & ~(kWrap - 1)) | snap.transferred;
  if (moved < before->moved) moved += kWrap;
  return moved;
}

// The Core's replay of a session that was live before this Manager joined: the row is
// filled without log lines. True when the event was such a replay.
bool Monitor::replay(const shared::AdminEvent& event, Tracked& state) {
  const shared::SessionSnapshot& snap = event.snapshot;
  const uint32_t id = event.session_id;
  // A live event 0 comes at the session's start, before USER; a replayed one may carry a
  // name already (the Core may publish the channel a moment after the connect).
  const bool older = static_cast<int32_t>(snap.connect_tick - join_tick_) < 0 ||
                     snap.user_name != kSessionStartName;
  if (event.type == shared::kEventConnected) {
    if (!joining_ || !older) return false;
    add_row(id);
    set_cell(id, kColHost, host_cell_text(snap));
    state.replaying = true;
    return true;
  }
  if (!state.replaying) return false;
  switch (event.type) {
    case shared::kEventUserAccepted:
      set_cell(id, kColUser, snap.user_name);
      return true;
    case shared::kEventDownloadStarted:
    case shared::kEventUploadStarted:
      set_cell(id, kColFile, file_name_part(snap.transfer_path));
      set_cell(id, kColDirection, event.type == shared::kEventUploadStarted ? "UP" : "DOWN");
      [[fallthrough]];
    case shared::kEventStatus:
      set_cell(id, kColComment, snap.message);
      state.replaying = false;
      return true;
    default:
      state.replaying = false;
      return false;
  }
}

void Monitor::dispatch(const shared::AdminEvent& event, uint32_t now) {
  if (event.type == shared::kEventPluginText) {
    log(event.text);
    return;
  }
  if (event.type == shared::kEventStartupProblem) {
    log(event.text);
    if (output_) output_->startup_problem(event.text);
    return;
  }
  const uint32_t id = event.session_id;
  if (id == 0) return;
  shared::SessionSnapshot snap = event.snapshot;
  const auto found = sessions_.find(id);
  Tracked state = found == sessions_.end() ? Tracked{} : found->second;
  const uint64_t moved = carry_moved(event, found == sessions_.end() ? nullptr : &found->second);
  if (event.type == shared::kEventDisconnected) {
    sessions_.erase(id);
    event_line(snap, id, "切断しました。");
    const int row = find_row(id);
    if (row >= 0) remove_row(static_cast<size_t>(row));
    update_status(now);
    return;
  }
  bool progress = false;
  if (!replay(event, state)) {
    switch (event.type) {
      case 0: on_connected(snap, id); state = Tracked{}; break;
      case 1: on_user_event(snap, id, state); break;
      case 24:
        state.login_pending = false;
        event_line(snap, id, snap.message);
        break;
      case 3: case 6: case 10: case 11: case 12: case 13: case 14: case 25:
        event_line(snap, id, snap.message);
        break;
      case 4: on_transfer_started(snap, id, "DOWN"); break;
      case 5: on_transfer_started(snap, id, "UP"); break;
      case 7: on_transfer_ended(snap, id, "DOWN", now, moved); progress = true; break;
      case 8: on_transfer_ended(snap, id, "UP", now, moved); progress = true; break;
      case 9: progress_update(snap, id, now, moved); progress = true; break;
      case 18:
        event_line(snap, id, "クライアントから切断されました。");
        set_cell(id, kColDirection, "");
        set_cell(id, kColRate, "");
        break;
      case 22:
        if (output_) output_->account_mail_requested(snap);
        break;
      default: break;
    }
  }
  if (find_row(id) < 0) {
    on_connected(snap, id);
    on_accepted(snap, id);
  }
  set_cell(id, kColHost, host_cell_text(snap));  // the TLS marker follows AUTH
  state.snap = snap;
  state.moved = moved;
  sessions_[id] = state;
  // The summary counts this session's newest state.
  if (progress) update_status(now);
}

bool Monitor::connection_change_notice() {
  if (!auto_ip_.enabled || !auto_ip_.on_connection_change) return false;
  log("接続数が変更されました。サーバ状態を通知します。");
  return true;
}

// UploadChangeIP: the published address changed from one known address to another. The
// first address seen is the starting point; an address that disappears (a dial-up line
// down) is not a change, the different one that comes back is.
bool Monitor::address_change_notice(const std::string& published_address) {
  if (published_address.empty() || published_address == last_published_address_) return false;
  const bool had_one = !last_published_address_.empty();
  last_published_address_ = published_address;
  if (!had_one || !auto_ip_.enabled || !auto_ip_.on_ip_change) return false;
  log("IPアドレスが変更されました。サーバ状態を通知します。");
  return true;
}

TickActions Monitor::tick(uint32_t now, const std::string& published_address) {
  TickActions actions;
  if (++address_counter_ >= 60) {
    actions.refresh_addresses = true;
    address_counter_ = 0;
  }
  actions.start_running_notice = address_change_notice(published_address);
  ++check_counter_;
  const int check = auto_ip_.check_minutes;
  // A negative interval (written by hand) is off like 0, not "every second".
  if (check > 0 && static_cast<int64_t>(check_counter_) > static_cast<int64_t>(check) * 60) {
    if (auto_ip_.enabled && auto_ip_.force) {
      log("IP自動告知機能がサーバ状態を通知します。");
      actions.start_running_notice = true;
    } else if (static_cast<int>(sessions_.size()) != last_notified_connections_) {
      actions.start_running_notice = connection_change_notice() || actions.start_running_notice;
      last_notified_connections_ = static_cast<int>(sessions_.size());
    }
    check_counter_ = 0;
  }
  if (actions.start_running_notice) recompute_totals(now);
  actions.ras_keep_alive = settings_.ras_connect;
  for (const auto& [id, state] : sessions_) {
    const uint32_t idle = now - state.snap.last_activity_tick;
    if (note_due(settings_.idle_seconds, idle)) {
      set_cell(id, kColComment, duration_text(idle) + " - idle.");
    }
  }
  return actions;
}

}  // namespace manager
