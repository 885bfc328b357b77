// Placeholder entry point: replaced by the main window.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return 0;
}
