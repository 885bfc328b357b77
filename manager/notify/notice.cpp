// Running-time notices upload on a worker thread, one at a time (the busy flag); the end
// notice uploads on the calling thread. The upload's every wait watches one cancel event,
// so queuing a new upload and shutting down can cut a hung upload short; the worker then
// ends on its own and the owner waits for it with a bound, never killing it.
#include "manager/notify/notice.h"

#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <mutex>

#include "manager/notify/ftp_upload.h"
#include "manager/notify/notice_template.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "shared/ini.h"

namespace manager {
namespace {

constexpr int kThreadWaitMs = 10000;

AutoIpSettings load_settings(const std::string& ini_file, size_t password_chars) {
  const shared::IniFile ini(ini_file);
  const char* s = "AutoIP";
  AutoIpSettings a;
  a.server = ini.get(s, "QuorSrv", "", 259);
  a.port = ini.get_int(s, "Port", 21);
  a.user = ini.get(s, "User", "", 259);
  a.password = ini.get(s, "PassWord", "", password_chars);
  a.remote_name = ini.get(s, "UpFileName", "", 259);
  a.running_template = ini.get(s, "TempFile1", "", 259);
  a.end_template = ini.get(s, "TempFile2", "", 259);
  a.check_minutes = ini.get_int(s, "CheckTime", 600);
  a.enabled = ini.get_int(s, "UseAutoIPMode", 0) != 0;
  a.on_ip_change = ini.get_int(s, "UploadChangeIP", 0) != 0;
  a.on_connection_change = ini.get_int(s, "UploadChangeCon", 0) != 0;
  a.at_end = ini.get_int(s, "UploadChangeEnd", 0) != 0;
  a.force = ini.get_int(s, "UploadForce", 0) != 0;
  a.passive = ini.get_int(s, "Passive", 0) != 0;
  return a;
}

NoticeRequest request_for(const AutoIpSettings& settings, const std::string& notice_path) {
  NoticeRequest r;
  r.host = settings.server;
  r.port = settings.port;
  r.user = settings.user;
  r.password = settings.password;
  r.remote_name = settings.remote_name;
  r.local_path = notice_path;
  r.passive = settings.passive;
  return r;
}

}  // namespace

AutoIpSettings load_auto_ip_settings(const std::string& ini_file) {
  return load_settings(ini_file, 99);
}

AutoIpSettings load_auto_ip_settings_for_dialog(const std::string& ini_file) {
  return load_settings(ini_file, 260);
}

bool save_auto_ip_settings(const std::string& ini_file, const AutoIpSettings& a) {
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  const std::vector<platform::ProfileChange> changes = {
      {"QuorSrv", a.server},
      {"User", a.user},
      {"PassWord", a.password},
      {"TempFile1", a.running_template},
      {"TempFile2", a.end_template},
      {"UpFileName", a.remote_name},
      {"Port", std::to_string(a.port)},
      {"CheckTime", std::to_string(a.check_minutes)},
      {"UseAutoIPMode", flag(a.enabled)},
      {"UploadChangeIP", flag(a.on_ip_change)},
      {"UploadChangeCon", flag(a.on_connection_change)},
      {"UploadChangeEnd", flag(a.at_end)},
      {"UploadForce", flag(a.force)},
      {"Passive", flag(a.passive)},
  };
  return platform::profile_write_strings(ini_file, "AutoIP", changes);
}

// What the owner and its upload workers share; a worker keeps it alive until it ends.
struct UploadShared {
  CancelEvent cancel;
  std::atomic<bool> busy{false};
  std::atomic<int> receive_bound_ms{kReceiveBoundMs};
  std::mutex sink_mutex;
  std::function<void(const std::string&)> sink;  // empty once the owner has shut down

  void report(const std::string& text) {
    std::lock_guard<std::mutex> lock(sink_mutex);
    if (sink) sink(text);
  }
};

struct Notifier::State {
  std::shared_ptr<UploadShared> shared = std::make_shared<UploadShared>();
  std::shared_ptr<platform::Event> last_done;  // set by the last worker as it ends
  bool shut = false;
};

Notifier::Notifier(QObject* parent) : QObject(parent), state_(new State) {
  QPointer<Notifier> self(this);
  state_->shared->sink = [self](const std::string& text) {
    // Queued to the notifier's thread: the worker never waits on the user interface.
    QMetaObject::invokeMethod(
        self.data(),
        [self, t = QString::fromStdString(text)] {
          if (self) emit self->status_text(t);
        },
        Qt::QueuedConnection);
  };
}

Notifier::~Notifier() { shut_down(); }

void Notifier::start_running_notice(const NoticeSnapshot& snapshot) {
  std::shared_ptr<UploadShared> shared = state_->shared;
  if (state_->shut || shared->busy) return;
  const std::string notice = notice_file_path(snapshot.settings.running_template);
  fill_notice_template(snapshot.settings.running_template, notice, snapshot);
  const NoticeRequest request = request_for(snapshot.settings, notice);

  shared->busy = true;
  shared->cancel.set();
  if (state_->last_done) state_->last_done->wait_for(kThreadWaitMs);
  shared->cancel.reset();

  auto done = std::make_shared<platform::Event>(true);
  const bool started = platform::start_detached_thread([shared, request, done] {
    upload_notice(
        request, shared->cancel, [&shared](const std::string& text) { shared->report(text); },
        shared->receive_bound_ms);
    platform::remove_file(request.local_path);
    shared->busy = false;
    done->set();
  });
  if (!started) {
    platform::remove_file(notice);
    shared->busy = false;
    return;
  }
  state_->last_done = done;
}

std::string Notifier::send_end_notice(const NoticeSnapshot& snapshot) {
  if (state_->shut) return {};
  const std::string notice = notice_file_path(snapshot.settings.end_template);
  fill_notice_template(snapshot.settings.end_template, notice, snapshot);
  std::string last;
  upload_notice(
      request_for(snapshot.settings, notice), state_->shared->cancel,
      [this, &last](const std::string& text) {
        last = text;
        emit status_text(QString::fromStdString(text));
      },
      state_->shared->receive_bound_ms);
  platform::remove_file(notice);
  return last;
}

bool record_end_notice(const std::string& ini_file, const std::string& outcome) {
  return platform::profile_write_string(ini_file, "AutoIP", "LastEndNotice", outcome);
}

std::optional<std::string> take_end_notice_record(const std::string& ini_file) {
  if (!platform::profile_has_key(ini_file, "AutoIP", "LastEndNotice")) return std::nullopt;
  std::string outcome = platform::profile_read_string(ini_file, "AutoIP", "LastEndNotice");
  platform::profile_write_string(ini_file, "AutoIP", "LastEndNotice", std::nullopt);
  return outcome;
}

void Notifier::shut_down() {
  if (state_->shut) return;
  state_->shut = true;
  state_->shared->cancel.set();
  if (state_->last_done) state_->last_done->wait_for(kThreadWaitMs);
  std::lock_guard<std::mutex> lock(state_->shared->sink_mutex);
  state_->shared->sink = nullptr;
}

bool Notifier::upload_running() const { return state_->shared->busy; }

void Notifier::set_receive_bound(int milliseconds) {
  state_->shared->receive_bound_ms = milliseconds;
}

}  // namespace manager
