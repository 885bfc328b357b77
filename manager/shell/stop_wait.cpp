#include "manager/shell/stop_wait.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include "manager/shell/core_control.h"
#include "manager/shell/prompts.h"
#include "platform/clock.h"

namespace manager {

namespace {

constexpr int kPollMs = 100;
constexpr int kAfterKillMs = 5000;  // a killed process is reaped at once; this is a bound

const char* const kWaiting = "FTPサーバーの終了を待っています。";
const char* const kEndProcess =
    "FTPサーバーが応答しません。サーバーのプロセスを強制終了しますか？";
const char* const kNoAnswer = "FTPサーバーが応答しません。";

}  // namespace

bool wait_for_core_stop(QWidget* parent, CoreChannel& channel) {
  if (channel.core_ended()) return true;
  QProgressDialog dialog(QString::fromUtf8(kWaiting), QString::fromUtf8("中止"), 0, 0, parent);
  dialog.setObjectName("stopProgress");
  dialog.setWindowTitle("velmoraFTPd");
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(0);
  QEventLoop loop;
  bool ended = false;
  uint32_t start = platform::tick_ms();
  int limit = channel.time_limits().stop_wait_ms;
  QTimer poll;
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] { loop.quit(); });
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (channel.core_ended()) {
      ended = true;
      loop.quit();
      return;
    }
    if (static_cast<int>(platform::tick_ms() - start) < limit) return;
    poll.stop();
    const bool kill = channel.core_process_id() > 0 && ask_yes_no(&dialog, kEndProcess);
    if (channel.core_process_id() <= 0) show_message(&dialog, kNoAnswer);
    if (!kill || !channel.kill_core()) {
      loop.quit();
      return;
    }
    start = platform::tick_ms();
    limit = kAfterKillMs;
    poll.start(kPollMs);
  });
  dialog.show();
  poll.start(kPollMs);
  loop.exec();
  poll.stop();
  return ended;
}

}  // namespace manager
