// tollan: the conversion wizard. It takes no arguments besides --help and
// --version (answered without a display); it opens on the start page and
// ends when its last page closes.
#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "converter/wizard/qt/navigation.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tollan %s\n", TOLLAN_VERSION);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "Usage: tollan\n"
        "The conversion wizard: converts the default Outlook Express store of the\n"
        "current identity, or .dbx files chosen by hand, into Outlook .pst files.\n"
        "F1 opens the help guide on every page.\n\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  --version      show the version and exit\n\n"
        "Environment:\n"
        "  KESTREL_REGISTRY  where the default store is read from: wine:DIR for a\n"
        "                    Wine prefix, hive:NTUSER.DAT[,SOFTWARE] for an old\n"
        "                    profile ($WINEPREFIX or ~/.wine when unset)\n");
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tollan"));
  QApplication::setQuitOnLastWindowClosed(true);
  tollan::NewStartPage()->show();
  return app.exec();
}
