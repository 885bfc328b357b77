// Entry point of the Manager's test programs: one QApplication drawn off screen, then
// every GoogleTest case on the user-interface thread.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/process.h"

int main(int argc, char** argv) {
  if (!platform::environment_variable("QT_QPA_PLATFORM")) {
    platform::set_environment_variable("QT_QPA_PLATFORM", std::string("offscreen"));
  }
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
