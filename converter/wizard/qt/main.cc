// tollan: the conversion wizard. It takes no arguments; it opens on the start
// page and ends when its last page closes.
#include <QApplication>
#include <QWidget>

#include "converter/wizard/qt/navigation.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tollan"));
  QApplication::setQuitOnLastWindowClosed(true);
  tollan::NewStartPage()->show();
  return app.exec();
}
