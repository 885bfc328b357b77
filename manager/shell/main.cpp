// The Manager: the operator's window over the Core.
#include <QApplication>

#include "manager/shell/main_frame.h"
#include "manager/shell/program_paths.h"
#include "manager/shell/translations.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName("velmoraFTPd");
  manager::install_qt_translations(application);
  application.setWindowIcon(manager::application_icon());
  // The window hides in the tray; only closing the main window ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  manager::CMainFrame frame(manager::program_paths());
  QObject::connect(&frame, &manager::CMainFrame::closed, &application, &QApplication::quit);
  frame.start();
  return application.exec();
}
