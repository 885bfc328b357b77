// The Manager's explanation when the Core would refuse it: a Core serving as another user
// admits only that user, root and the velmoraftpd group, and the operator is told so
// instead of "could not connect".
#include <gtest/gtest.h>

#include <string>

#include "manager/shell/core_control.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/users.h"
#include "tests/support/harness.h"

namespace {

TEST(AdminRefusal, NamesTheCoresUserForAManagerItWouldRefuse) {
  if (platform::current_user_id() != 0) GTEST_SKIP() << "a Core serving as nobody needs root";
  auto nobody = platform::find_user("nobody");
  auto daemon = platform::find_user("daemon");
  if (!nobody || !daemon) GTEST_SKIP() << "needs the users nobody and daemon";
  harness::Site site("refusal");
  EXPECT_EQ(manager::admin_refusal(site.admin_port(), daemon->uid), "") << "nothing listens";

  site.set("System", "RunAsUser", "nobody");
  ASSERT_TRUE(platform::run_program("/bin/chown", {"-R", "nobody:", site.root()}, 10000));
  harness::Server core(site);
  std::string refusal;
  for (int attempt = 0; attempt < 100 && refusal.empty(); ++attempt) {
    refusal = manager::admin_refusal(site.admin_port(), daemon->uid);
    if (refusal.empty()) platform::sleep_ms(50);
  }
  EXPECT_EQ(refusal,
            "FTPサーバー(ユーザー[nobody]で動作中)に管理の接続を拒否されました。"
            "ユーザー[daemon]をvelmoraftpdグループに加えてください。");
  EXPECT_EQ(manager::admin_refusal(site.admin_port(), nobody->uid), "");
  EXPECT_EQ(manager::admin_refusal(site.admin_port(), 0), "");
  EXPECT_EQ(manager::admin_refusal(70000, daemon->uid), "");
}

}  // namespace
