#include "fileservice/transfer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/logs.h"
#include "core/messages.h"
#include "core/server.h"
#include "core/transport.h"
#include "fileservice/credits.h"
#include "fileservice/data_connection.h"
#include "fileservice/data_worker.h"
#include "fileservice/disk_access.h"
#include "fileservice/file_commands.h"
#include "fileservice/paths.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shared/bounded_text.h"

namespace fileservice {
namespace {

using core::Session;
using core::SessionSocket;

constexpr const char* kNotLoggedIn = "530 Not log in.\r\n";
constexpr const char* kNotTaken = "550 Requested action not taken.\r\n";
constexpr const char* kOpening = "150 Opening data connection.\r\n";
constexpr const char* kBadOffset = "452 Requested action not taken. \r\n";
constexpr const char* kAborted = "426 Connection closed transfer aborted.\r\n";
constexpr const char* kNoBuffer = "426 Connection closed.Server internal error.\r\n";
constexpr const char* kCannotOpen = "550 Can't Open File Handle.\r\n";
constexpr const char* kDiskFull = "552 Requested file action aborted.\r\n";
constexpr const char* kCapacityStop = "426 Capacity limit.\r\n";
constexpr const char* kCapacityRefused = "550 Capacity limit.\r\n";
constexpr const char* kAbortDone = "226 Closed data connection.\r\n";

constexpr size_t kMessageSize = 2048;
constexpr size_t kRetrPathSize = 1024;
constexpr size_t kTransferPathMax = 258;

std::string fill(const char* format, const std::string& text) {
  return shared::format_bounded(kMessageSize, format, text.c_str());
}

bool require_login(Session& s) {
  if (s.login_state.load() >= core::kLoggedIn) return true;
  core::send_reply(s, kNotLoggedIn);
  return false;
}

void refuse(Session& s, const char* reply, const char* format, const std::string& argument) {
  core::send_reply(s, reply);
  core::report(s, shared::kEventRefused, fill(format, argument));
}

void set_transfer_path(Session& s, const std::string& path) {
  core::write_field(s, &Session::transfer_path,
                    std::string(shared::cut_text(path, kTransferPathMax)));
}

// Marks the transfer as running, reports its start and hands it to the worker.
void start_transfer(Session& s, shared::EventType type, const char* format,
                    const std::string& argument, core::WorkerCommand command) {
  s.transferring = 1;
  s.transfer_start_tick = platform::tick_ms();
  core::report(s, type, fill(format, argument));
  hand_to_worker(s, command);
}

// The folder part of a STOR argument ("a/b/c.txt" gives "a/b/"), or "" when the
// argument names no folder.
std::string folder_of(const std::string& argument) {
  if (argument.size() < 3) return "";
  for (size_t i = argument.size() - 2; i >= 1; --i) {
    if (argument[i] == '/') return argument.substr(0, i + 1);
  }
  return "";
}

}  // namespace

bool handle_retr(Session& s, const std::string& argument) {
  if (!require_login(s)) return true;
  std::string path = resolve_path(s, argument, kRetrPathSize, KeepForm::AsIs);
  if (!check_permission(s, path, core::kProhibitRetrieve)) {
    refuse(s, kNotTaken, "権限が無いため、[%s]の読み込みを拒否しました。", argument);
    return true;
  }
  set_transfer_path(s, path);
  std::string rule_path = path;
  bool charged = check_permission(s, rule_path, core::kFreeFolder);
  platform::File file = disk_open_read(s, path);
  std::optional<uint64_t> size = file.is_open() ? file.size() : std::nullopt;
  if (!size) {
    refuse(s, kNotTaken, "ファイルが無いため、[%s]の読み込みを拒否しました。", argument);
    return true;
  }
  file.close();
  s.file_size = *size;
  if (*size < s.restart_offset.load()) {
    core::send_reply(s, kNotTaken);
    return true;
  }
  if (has_ratio(s) && charged && !credit_test(s, *size, argument)) return true;
  start_transfer(s, shared::kEventDownloadStarted, "ファイル[%s]の送信を開始します", argument,
                 core::WorkerCommand::SendFile);
  return true;
}

bool handle_stor(Session& s, const std::string& argument) {
  if (!require_login(s)) return true;
  std::string folder = folder_of(argument);
  if (!folder.empty()) make_directories(s, folder, false);
  std::string path = resolve_path(s, argument, core::kPathMax, KeepForm::AsIs);
  if (!check_permission(s, path, core::kProhibitStore)) {
    refuse(s, kNotTaken, "[%s]への書き込みを拒否しました。", argument);
    return true;
  }
  std::optional<platform::FileInfo> info = disk_info(s, path);
  uint64_t offset = s.restart_offset.load();
  if (info && !info->is_directory && info->size > offset) {
    std::string overwrite_path = path;
    if (!check_permission(s, overwrite_path, core::kProhibitOverwrite)) {
      refuse(s, kNotTaken, "[%s]への上書きを拒否しました。", argument);
      return true;
    }
    refund_capacity(s, static_cast<double>(info->size - offset));
  }
  if (s.capacity_limit && s.credit.load() <= 0) {
    refuse(s, kCapacityRefused, "[%s]への書き込みを拒否しました。", argument);
    return true;
  }
  s.file_size = 0;
  set_transfer_path(s, path);
  start_transfer(s, shared::kEventUploadStarted, "ファイル[%s]の書き込みを開始します。", argument,
                 core::WorkerCommand::ReceiveFile);
  return true;
}

bool handle_appe(Session& s, const std::string& argument) {
  if (!require_login(s)) return true;
  std::string path = resolve_path(s, argument, core::kPathMax, KeepForm::AsIs);
  if (!check_permission(s, path, core::kProhibitAppend)) {
    refuse(s, kNotTaken, "[%s]への追記を拒否しました。", argument);
    return true;
  }
  std::optional<platform::FileInfo> info = disk_info(s, path);
  if (info && !info->is_directory) s.restart_offset = info->size;
  s.file_size = 0;
  set_transfer_path(s, path);
  start_transfer(s, shared::kEventUploadStarted, "ファイル[%s]の受信を開始します。", argument,
                 core::WorkerCommand::ReceiveFile);
  return true;
}

bool handle_abor(Session& s, const std::string&) {
  abort_worker(s);
  core::send_reply(s, kAbortDone);
  return true;
}

// ---------------------------------------------------------------------------------------
// The worker side: send file and receive file.

namespace {

size_t configured_buffer_size() {
  int size = core::core_state().config.buffer_size;
  return size > 0 ? static_cast<size_t>(size) : 1024;
}

// The transfer buffer: allocated once per transfer, freed at its end.
std::unique_ptr<char[]> allocate_buffer(Session& s, size_t size) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (!buffer) {
    closing_reply(s, kNoBuffer);
    core::report(s, shared::kEventRefused, "通信バッファメモリ領域を確保できません。");
  }
  return buffer;
}

// Sleeps so that bytes moved since t0 keep to limit_kbps (1 = 1000 bit/s). The wait ends
// early when the transfer is aborted or the session ends.
void pace(Session& s, uint64_t bytes, int limit_kbps, uint32_t t0) {
  if (limit_kbps <= 0) return;
  uint64_t need_ms = bytes * 8 / static_cast<uint64_t>(limit_kbps);
  uint32_t spent = platform::tick_ms() - t0;
  if (need_ms <= spent) return;
  uint64_t wait = std::min<uint64_t>(need_ms - spent, INT_MAX);
  s.abort_sleep.wait_for(static_cast<int>(wait));
}

// ABOR or the end of the session: the abort event is set before the data socket is
// shut down, and a fast loop could otherwise send on in between.
bool aborted(Session& s) { return s.abort_sleep.is_set(); }

// Event 9 at most once per second of the tick counter.
struct ProgressClock {
  uint32_t last_second = 0;
  void update(Session& s) {
    uint32_t second = platform::tick_ms() / 1000;
    if (second == last_second) return;
    last_second = second;
    core::send_event_with_update(s, shared::kEventProgress);
  }
};

void log_transfer(Session& s, core::TransferDirection direction) {
  if (!core::core_state().config.log_all_files) return;
  core::write_transfer_log(s, direction, platform::tick_ms() - s.transfer_start_tick.load());
}

// The configurable 226 text: into the session message and out on the control path.
void send_completion(Session& s) {
  std::string text = core::slot_reply(s, core::Slot::Complete226, kMessageSize);
  core::set_message(s, text);
  closing_reply(s, text);
}

struct BlockResult {
  size_t moved = 0;   // bytes that went out (or came in)
  bool whole = false;  // every byte of the block went out
};

// One block to the client: plug-ins first; otherwise the block is sent to its end.
BlockResult send_block(Session& s, char* data, size_t count) {
  IoRecord record{core::hook_socket(s, SessionSocket::Data), 0, 0, data, static_cast<int>(count)};
  if (plugin_socket(s, kSocketDataSend, &record) == 1) {
    size_t moved = record.length > 0 ? static_cast<size_t>(record.length) : 0;
    return {moved, moved > 0};
  }
  if (record.buffer == nullptr || record.length <= 0) return {0, false};
  size_t wanted = static_cast<size_t>(record.length);
  size_t moved = core::send_on(s, SessionSocket::Data, record.socket, record.buffer, wanted);
  return {moved, moved == wanted};
}

void account_sent(Session& s, size_t bytes, bool charged) {
  s.transferred.fetch_add(bytes);
  if (charged) charge_download(s, bytes);
}

enum class SendOutcome { Complete, Stopped };

// Read and send, block by block: the path taken when plug-ins watch the data or a speed
// limit applies.
SendOutcome send_blocks(Session& s, platform::File& file, char* buffer, size_t size,
                        bool charged, ProgressClock& progress) {
  for (;;) {
    long got = file.read(buffer, size);
    if (got < 0) return SendOutcome::Stopped;
    if (got == 0) return SendOutcome::Complete;
    uint32_t t0 = platform::tick_ms();
    BlockResult sent = send_block(s, buffer, static_cast<size_t>(got));
    account_sent(s, sent.moved, charged);
    if (!sent.whole) return SendOutcome::Stopped;
    pace(s, sent.moved, s.up_limit, t0);
    progress.update(s);
    if (static_cast<size_t>(got) != size) return SendOutcome::Complete;
    if (aborted(s)) return SendOutcome::Stopped;
  }
}

// Where nobody watches the data block by block, downloads go from the file to the socket
// through the kernel in pieces of at least this size, and uploads are received in pieces
// of this size; the block size is then visible to no one.
constexpr size_t kLargeSendPiece = 1024 * 1024;
constexpr size_t kLargeReceivePiece = 256 * 1024;

// The one place that decides whether a transfer may move its data in large pieces: no
// plug-in hooks the data connection and no speed limit paces this direction.
bool may_use_large_pieces(const Session&, int limit_kbps) {
  return !any_socket_plugins() && limit_kbps <= 0;
}

// Under TLS the kernel cannot copy the file to the socket: large pieces are read and go
// through the connection's TLS stream.
SendOutcome send_encrypted_pieces(Session& s, platform::File& file, bool charged,
                                  ProgressClock& progress) {
  std::unique_ptr<char[]> piece = allocate_buffer(s, kLargeReceivePiece);
  if (!piece) return SendOutcome::Stopped;
  return send_blocks(s, file, piece.get(), kLargeReceivePiece, charged, progress);
}

// Sends the file through the kernel in pieces; charging, progress and the abort test
// happen per piece. Falls back to the block loop (blocks of size) where the kernel copy
// is unsupported; only then is a buffer needed.
SendOutcome send_large_pieces(Session& s, platform::File& file, uint64_t offset, size_t size,
                              bool charged, ProgressClock& progress) {
  if (!core::plain_socket(s, SessionSocket::Data)) return send_encrypted_pieces(s, file, charged, progress);
  const size_t piece = std::max(size, kLargeSendPiece);
  uint64_t position = offset;
  for (;;) {
    long long sent = platform::send_file_range(s.data_socket.load(), file.descriptor(),
                                               position, piece);
    if (sent < 0) {
      std::unique_ptr<char[]> buffer = allocate_buffer(s, size);
      if (!buffer || !file.seek(position)) return SendOutcome::Stopped;
      return send_blocks(s, file, buffer.get(), size, charged, progress);
    }
    position += static_cast<uint64_t>(sent);
    account_sent(s, static_cast<size_t>(sent), charged);
    progress.update(s);
    if (static_cast<size_t>(sent) == piece) {
      if (aborted(s)) return SendOutcome::Stopped;
      continue;
    }
    std::optional<uint64_t> now_size = file.size();
    return now_size && position >= *now_size ? SendOutcome::Complete : SendOutcome::Stopped;
  }
}

// End of every worker routine, whatever the outcome. An abort that came during this
// routine has been served; it must not cut the next transfer short. The closing reply
// goes out only when all of this is done.
void end_routine(Session& s) {
  core::close_session_socket(s, SessionSocket::Data);
  s.transferring = 0;
  s.restart_offset = 0;
  s.abort_sleep.reset();
  send_closing_reply(s);
  plugin_socket(s, kSocketRoutineEnd, nullptr);
}

void download_stopped(Session& s) {
  closing_reply(s, kAborted);
  core::report(s, shared::kEventDownloadEnded, "ファイル送信が停止しました。");
  log_transfer(s, core::TransferDirection::Sent);
}

void download_complete(Session& s, const std::string& path) {
  send_completion(s);
  core::report(s, shared::kEventDownloadEnded, fill("ファイル[%s]の送信が完了しました", path));
  log_transfer(s, core::TransferDirection::Sent);
}

void run_download(Session& s) {
  const size_t size = configured_buffer_size();
  const bool large_pieces = may_use_large_pieces(s, s.up_limit);
  std::unique_ptr<char[]> buffer;
  if (!large_pieces) {
    buffer = allocate_buffer(s, size);
    if (!buffer) return;
  }
  std::string path = core::read_field(s, &Session::transfer_path);
  std::string rule_path = path;
  bool charged = check_permission(s, rule_path, core::kFreeFolder);
  if (!open_data_connection(s)) return;
  std::string source = path;
  path = map_virtual(path);
  set_transfer_path(s, path);
  platform::File file = disk_open_read(s, source);
  if (!file.is_open()) {
    closing_reply(s, kNotTaken);
    return;
  }
  worker_reply(s, kOpening);
  if (!secure_data_connection(s)) return;
  uint64_t offset = s.restart_offset.load();
  std::optional<uint64_t> file_size = file.size();
  if (!file_size || *file_size < offset || !file.seek(offset)) {
    closing_reply(s, kBadOffset);
    file.close();
    core::report(s, shared::kEventUploadEnded,
                 fill("ファイルサイズ指定に問題があるため、[%s]の送信を拒否しました。", path));
    return;
  }
  s.file_size = *file_size;
  s.transfer_start_tick = platform::tick_ms();
  ProgressClock progress;
  SendOutcome outcome =
      large_pieces ? send_large_pieces(s, file, offset, size, charged, progress)
                   : send_blocks(s, file, buffer.get(), size, charged, progress);
  file.close();
  if (outcome == SendOutcome::Stopped) {
    download_stopped(s);
    return;
  }
  core::close_session_socket(s, SessionSocket::Data);
  download_complete(s, path);
}

// One block from the client: plug-ins first (they see the whole buffer); otherwise one
// receive of at most room bytes.
long receive_block(Session& s, IoRecord& record, char* buffer, size_t room) {
  record = IoRecord{core::hook_socket(s, SessionSocket::Data), 0, 0, buffer,
                    static_cast<int>(std::min<size_t>(room, INT_MAX))};
  if (plugin_socket(s, kSocketDataReceive, &record) == 1) return record.length;
  if (record.buffer == nullptr || record.length <= 0) return 0;
  return core::receive_on(s, SessionSocket::Data, record.socket, record.buffer,
                         static_cast<size_t>(record.length));
}

// What one receive may take. With the capacity limit on, a large piece takes no more than
// the credit left (or one block of the setting, when less is left), so that an upload
// stops where the block loop would have stopped it, not a large piece later.
size_t receive_room(const Session& s, size_t piece, size_t block) {
  if (piece <= block || !s.capacity_limit) return piece;
  double left = std::ceil(std::max(s.credit.load(), 0.0));
  size_t allowed = left >= static_cast<double>(piece) ? piece : static_cast<size_t>(left);
  return std::max(allowed, block);
}

enum class ReceiveOutcome { Complete, Aborted, DiskFull, CapacityUsed };

// Receives and writes until the client closes: pieces of the given size, or blocks of the
// setting where plug-ins or a speed limit watch (then piece == block).
ReceiveOutcome receive_pieces(Session& s, platform::File& file, char* buffer, size_t piece,
                              size_t block) {
  ProgressClock progress;
  IoRecord record;
  for (;;) {
    uint32_t t0 = platform::tick_ms();
    long got = receive_block(s, record, buffer, receive_room(s, piece, block));
    // The operator's abort shuts the data socket down: the receive ends, the upload
    // did not. (A client's ABOR ends an upload as complete.)
    if (aborted(s) && s.operator_abort) return ReceiveOutcome::Aborted;
    if (got <= 0) return ReceiveOutcome::Complete;
    size_t count = static_cast<size_t>(got);
    if (file.write_all(record.buffer, count) < count) return ReceiveOutcome::DiskFull;
    earn_upload(s, count);
    if (!consume_capacity(s, count)) return ReceiveOutcome::CapacityUsed;
    s.transferred.fetch_add(count);
    pace(s, count, s.down_limit, t0);
    progress.update(s);
    if (aborted(s)) return s.operator_abort ? ReceiveOutcome::Aborted : ReceiveOutcome::Complete;
  }
}

void finish_upload(Session& s, ReceiveOutcome outcome, const std::string& path) {
  switch (outcome) {
    case ReceiveOutcome::Complete:
      core::close_session_socket(s, SessionSocket::Data);
      send_completion(s);
      core::report(s, shared::kEventUploadEnded, fill("ファイル[%s]の受信が完了しました", path));
      log_transfer(s, core::TransferDirection::Received);
      return;
    case ReceiveOutcome::Aborted:
      closing_reply(s, kAborted);
      core::report(s, shared::kEventUploadEnded, "ファイル受信が停止しました。");
      log_transfer(s, core::TransferDirection::Received);
      return;
    case ReceiveOutcome::DiskFull:
      closing_reply(s, kDiskFull);
      core::report(s, shared::kEventUploadEnded, "ファイル受信が停止しました。");
      log_transfer(s, core::TransferDirection::Received);
      return;
    case ReceiveOutcome::CapacityUsed:
      closing_reply(s, kCapacityStop);
      core::report(s, shared::kEventUploadEnded, "容量制限のため、受信拒否しました。");
      return;
  }
}

// Discards what follows the offset. Only a file longer than the offset is cut: a device
// such as /dev/full cannot be cut, and has nothing to cut when writing starts at its end.
bool cut_after(platform::File& file, uint64_t size, uint64_t offset) {
  return size == offset || file.truncate_at(offset);
}

void run_upload(Session& s) {
  size_t block = configured_buffer_size();
  // A large piece is still small enough to be written while it sits in the processor's
  // cache, whatever the setting says.
  size_t piece = may_use_large_pieces(s, s.down_limit) ? kLargeReceivePiece : block;
  std::unique_ptr<char[]> buffer = allocate_buffer(s, piece);
  if (!buffer) return;
  // STOR and APPE stored the session path; the mapped one is shown from here on.
  std::string source = core::read_field(s, &Session::transfer_path);
  std::string path = map_virtual(source);
  set_transfer_path(s, path);
  if (!open_data_connection(s)) return;
  platform::File file = disk_open_write(s, source);
  if (!file.is_open()) {
    closing_reply(s, kCannotOpen);
    return;
  }
  worker_reply(s, kOpening);
  if (!secure_data_connection(s)) return;
  uint64_t offset = s.restart_offset.load();
  std::optional<uint64_t> file_size = file.size();
  if (!file_size || *file_size < offset || !cut_after(file, *file_size, offset) ||
      !file.seek(offset)) {
    closing_reply(s, kBadOffset);
    file.close();
    core::report(s, shared::kEventUploadEnded,
                 fill("ファイルサイズ指定に問題があるため、[%s]の受信を拒否しました。", path));
    return;
  }
  s.transfer_start_tick = platform::tick_ms();
  ReceiveOutcome outcome = receive_pieces(s, file, buffer.get(), piece, block);
  file.close();
  finish_upload(s, outcome, path);
}

}  // namespace

void send_file(Session& s) {
  s.abort_sleep.reset();  // an abort of an earlier transfer is not this one's
  s.transferred = 0;
  s.upload = 0;
  run_download(s);
  end_routine(s);
}

void receive_file(Session& s) {
  s.abort_sleep.reset();  // an abort of an earlier transfer is not this one's
  s.operator_abort = 0;
  s.transferred = 0;
  s.upload = 1;
  run_upload(s);
  end_routine(s);
}

}  // namespace fileservice
