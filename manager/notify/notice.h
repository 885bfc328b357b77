// Automatic IP notification: the server's state filled into a template and uploaded to
// another FTP server, periodically, on connection changes and when the Manager ends.
#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace manager {

// [AutoIP] of velmoraFTPd.ini.
struct AutoIpSettings {
  std::string server;          // QuorSrv
  int port = 21;               // Port
  std::string user;            // User
  std::string password;        // PassWord (99 characters when the main view loads it)
  std::string remote_name;     // UpFileName
  std::string running_template;  // TempFile1
  std::string end_template;      // TempFile2
  int check_minutes = 600;     // CheckTime
  bool enabled = false;        // UseAutoIPMode
  bool on_ip_change = false;   // UploadChangeIP
  bool on_connection_change = false;  // UploadChangeCon
  bool at_end = false;         // UploadChangeEnd
  bool force = false;          // UploadForce
  bool passive = false;        // Passive: the data connection by PASV instead of PORT
};
AutoIpSettings load_auto_ip_settings(const std::string& ini_file);
// The same, with the longer password limit of the settings dialog.
AutoIpSettings load_auto_ip_settings_for_dialog(const std::string& ini_file);
// Writes every key, in the dialog's order; false when the file cannot be written.
bool save_auto_ip_settings(const std::string& ini_file, const AutoIpSettings& settings);

// The connection and transfer figures of the live monitor.
struct TransferTotals {
  int connections = 0;
  int max_connect = 0;
  int uploading = 0;
  int downloading = 0;
  double upload_bps = 0;
  double download_bps = 0;
};

// What fills a template: the monitor's figures and the notice settings.
struct NoticeSnapshot : TransferTotals {
  AutoIpSettings settings;
  std::string ip_address;      // up to 31 characters
};

// Runs the uploads. Every status text of an upload is emitted as status_text, queued to
// the thread that owns the notifier, in order.
class Notifier : public QObject {
  Q_OBJECT
 public:
  explicit Notifier(QObject* parent = nullptr);
  ~Notifier() override;  // shut_down()
  // Fills TempFile1 and uploads on a worker thread.
  void start_running_notice(const NoticeSnapshot& snapshot);
  // Fills TempFile2 and uploads on the calling thread; returns the last status text.
  std::string send_end_notice(const NoticeSnapshot& snapshot);
  // Aborts a running upload and waits up to 10 s for its thread.
  void shut_down();
  // True while a running-time upload is queued or running.
  bool upload_running() const;
  // How long each receive waits for the server (5000 ms; tests lengthen it).
  void set_receive_bound(int milliseconds);

 signals:
  void status_text(QString text);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The end notice runs while the window closes, so its outcome is kept ([AutoIP]
// LastEndNotice) for the log of the next start, which takes it (and removes the key).
bool record_end_notice(const std::string& ini_file, const std::string& outcome);
std::optional<std::string> take_end_notice_record(const std::string& ini_file);

// The dialog "自動IP通知"; true when closed with OK.
bool run_auto_ip_dialog(QWidget* parent, const std::string& ini_file);

}  // namespace manager
