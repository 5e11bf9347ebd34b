// Fixtures of the wizard tests: a generated Outlook Express store, the reader
// component registered in a private registration file, a Wine prefix whose
// one identity keeps its store in C:\Mail, and finding the open pages.
#ifndef TOLLAN_TESTS_CONVERTER_WIZARD_QT_WIZARD_FIXTURES_H_
#define TOLLAN_TESTS_CONVERTER_WIZARD_QT_WIZARD_FIXTURES_H_

#include <dlfcn.h>
#include <stdlib.h>

#include <QApplication>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/com/activation.h"
#include "tests/support/dbxgen/store.h"
#include "tests/support/dbxgen/synth.h"

namespace tollan::testing {

namespace fs = std::filesystem;

// Messages the generated store holds in Inbox and in the user folder
// "Projects"; Sent Items, Deleted Items and Drafts hold one each, Outbox none.
inline constexpr int kInboxMessages = 5;
inline constexpr int kProjectsMessages = 3;

// Writes the store into `dir`: Folders.dbx and Inbox, Outbox, Sent Items,
// Deleted Items, Drafts and Projects. Returns false on failure.
inline bool WriteSampleStore(const fs::path& dir) {
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  spec.folders.push_back(dbxgen::UserFolder(100, "Projects"));
  dbxgen::SynthOptions synth;
  std::size_t next = 0;
  for (auto& folder : spec.folders) {
    int count = 0;
    if (folder.record.name == "Inbox") count = kInboxMessages;
    if (folder.record.name == "Projects") count = kProjectsMessages;
    if (folder.record.name == "Sent Items" || folder.record.name == "Deleted Items" ||
        folder.record.name == "Drafts") {
      count = 1;
    }
    for (int i = 0; i < count; ++i) folder.messages.push_back(dbxgen::SynthesizeMessage(next++, synth));
  }
  return dbxgen::WriteStore(dir, spec).ok();
}

// Registers libkestrel of this build in `registrations` (a file of the test's
// own) and creates nothing yet.
inline bool RegisterReader(const fs::path& registrations) {
  setenv("KESTREL_REGISTRATIONS", registrations.c_str(), 1);
  std::string lib = std::string(TOLLAN_BINARY_DIR) + "/reader/model/libkestrel.so";
  void* handle = dlopen(lib.c_str(), RTLD_NOW);
  if (handle == nullptr) return false;
  auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
  return reg != nullptr && reg() == S_OK;
}

// A Wine prefix below `root` whose one identity keeps its store in C:\Mail,
// holding a copy of `store` when given; KESTREL_REGISTRY then points at it.
inline fs::path WritePrefix(const fs::path& root, const fs::path& store) {
  fs::path prefix = root / "prefix";
  fs::create_directories(prefix / "drive_c" / "Mail");
  std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n";
  std::ofstream(prefix / "user.reg")
      << "WINE REGISTRY Version 2\n\n"
      << "[Identities] 1700000000\n\"Default User ID\"=\"{A}\"\n\n"
      << "[Identities\\\\{A}] 1700000000\n\"UserName\"=\"Main Identity\"\n\n"
      << "[Identities\\\\{A}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
      << "\"Store Root\"=\"C:\\\\Mail\"\n";
  if (!store.empty()) {
    for (const auto& e : fs::directory_iterator(store)) {
      fs::copy_file(e.path(), prefix / "drive_c" / "Mail" / e.path().filename());
    }
  }
  setenv("KESTREL_REGISTRY", ("wine:" + prefix.string()).c_str(), 1);
  return prefix / "drive_c" / "Mail";
}

// The wizard pages now open (visible top-level windows named frm...,
// the help window aside).
inline QList<QWidget*> OpenPages() {
  QList<QWidget*> pages;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName().startsWith(QLatin1String("frm")) &&
        w->objectName() != QLatin1String("frmHelp")) {
      pages.push_back(w);
    }
  }
  return pages;
}

// Deletes pages that were closed (their deletion is deferred).
inline void FlushClosedPages() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Drops the offscreen platform's note that it cannot pass size hints on,
// which every shown window would print.
inline void QuietPlatformNotes() {
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support"))) return;
    if (previous != nullptr) previous(type, context, text);
  });
}

}  // namespace tollan::testing

#endif  // TOLLAN_TESTS_CONVERTER_WIZARD_QT_WIZARD_FIXTURES_H_
