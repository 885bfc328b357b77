// Registering and removing the Core's start-up entry: the systemd unit velmoraftpd.
// Each outcome is one message; the checks run in a fixed order and stop at the first
// that fails. The running test reads [System] Service from the file, not the dialog's
// copy, so an unsaved registration does not change where it looks for the Core.
#include "manager/shell/service_registration.h"

#include "manager/shell/core_control.h"
#include "platform/service.h"
#include "shared/ini.h"

namespace manager {
namespace {

const char* const kNoServiceManager = "サービスコントロールマネージャを取得できません。";

}  // namespace

std::string register_core_service(int& service_copy, const ProgramPaths& paths) {
  if (service_copy != 0) return "既にサービスに登録済みです。";
  if (core_is_running(paths.ini_file)) return "サービスに登録する前に、サーバーを終了してください。";
  if (!platform::service_manager_available()) return kNoServiceManager;
  // An existing unit is not overwritten: creating a service that exists fails.
  if (platform::service_installed()) return "サービスの登録に失敗しました。";
  // The unit runs the Core as [System] RunAsUser, or as velmoraftpd.
  std::string user = shared::IniFile(paths.ini_file).get("System", "RunAsUser", "");
  if (user.empty()) user = platform::kServiceName;
  switch (platform::install_service(paths.core_exe, user)) {
    case platform::ServiceResult::NoServiceManager:
      return kNoServiceManager;
    case platform::ServiceResult::Failed:
      return "サービスの登録に失敗しました。";
    case platform::ServiceResult::Done:
      break;
  }
  service_copy = 1;
  return "サービスを登録しました。";
}

std::string remove_core_service(int& service_copy, const ProgramPaths& paths) {
  if (service_copy == 0) return "サービスには登録されていません。";
  if (core_is_running(paths.ini_file)) return "サービスを削除する前に、サーバーを終了してください。";
  if (!platform::service_manager_available()) return kNoServiceManager;
  if (!platform::service_installed()) return "サービスの取得に失敗しました。";
  switch (platform::remove_service()) {
    case platform::ServiceResult::NoServiceManager:
      return kNoServiceManager;
    case platform::ServiceResult::Failed:
      return "サービスの削除に失敗しました。";
    case platform::ServiceResult::Done:
      break;
  }
  service_copy = 0;
  return "サービスを削除しました。";
}

}  // namespace manager
