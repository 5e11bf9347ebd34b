// --keep-folder-tree end to end: a generated store with a nested folder, a
// folder whose file is named apart from it, a folder without a file above a
// converted one, another without anything converted below it, a Windows-1252
// name and a folder list that understates a count; converted as picked files
// and as the default store of a Wine prefix, the .pst read back by two
// outside readers.
#include "converter/wizard/folder_tree.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/com/activation.h"
#include "tests/support/dbxgen/store.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

dbxgen::Folder WithMessages(dbxgen::Folder f, std::initializer_list<const char*> subjects) {
  for (const char* s : subjects) {
    dbxgen::Message m;
    m.subject = s;
    m.text = std::string("From: a@example.org\r\nSubject: ") + s + "\r\n\r\nbody\r\n";
    f.messages.push_back(m);
  }
  return f;
}

TEST(FolderTreeTest, MessagesLandInTheFolderOfTheirDisplayPath) {
  const fs::path root = fs::temp_directory_path() / ("folder-tree-" + std::to_string(getpid()));
  fs::remove_all(root);
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  spec.folders[2] = WithMessages(spec.folders[2], {"in1", "in2"});  // Inbox
  dbxgen::Folder sub = WithMessages(dbxgen::UserFolder(10, "Sub"), {"sub1"});
  sub.record.parent = 4;
  dbxgen::Folder old = WithMessages(dbxgen::UserFolder(11, "Old Stuff"), {"old1", "old2", "old3"});
  old.record.file_name = "Archive(1).dbx";
  old.record.message_count = 1;
  old.keep_counts = true;
  dbxgen::Folder parent = dbxgen::UserFolder(12, "Parent");
  parent.record.file_name = "";
  dbxgen::Folder kid = WithMessages(dbxgen::UserFolder(13, "Kid"), {"kid1"});
  kid.record.parent = 12;
  dbxgen::Folder lonely = dbxgen::UserFolder(14, "Lonely");
  lonely.record.file_name = "";
  dbxgen::Folder cafe = WithMessages(dbxgen::UserFolder(15, "Caf\xe9"), {"cafe1"});
  cafe.record.file_name = "Cafe.dbx";
  // The list holds the ANSI name, the disk the same name in UTF-8.
  dbxgen::Folder archiv = WithMessages(dbxgen::UserFolder(16, "\xc4rchiv"), {"archiv1"});
  archiv.disk_file_name = "\u00c4rchiv.dbx";
  for (auto& f : {sub, old, parent, kid, lonely, cafe, archiv}) spec.folders.push_back(f);
  ASSERT_TRUE(dbxgen::WriteStore(root / "store", spec).ok());

  FolderTree tree;
  EXPECT_EQ(tree.DisplayPath((root / "store" / "Archive(1).dbx").string()), "Old Stuff");
  EXPECT_EQ(tree.DisplayPath((root / "store" / "SUB.dbx").string()), "Inbox\\Sub");
  EXPECT_EQ(tree.DisplayPath((root / "store" / "Kid.dbx").string()), "Parent\\Kid");
  EXPECT_EQ(tree.DisplayPath((root / "store" / "Nowhere.dbx").string()), "");
  EXPECT_EQ(tree.DisplayPath((root / "store" / "\u00c4rchiv.dbx").string()), "\u00c4rchiv");

  // The same store as the default store of an identity in a Wine prefix,
  // through the registered reader component.
  const fs::path prefix = root / "prefix";
  fs::create_directories(prefix / "drive_c");
  fs::create_directory_symlink(root / "store", prefix / "drive_c" / "Mail");
  std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n";
  std::ofstream(prefix / "user.reg")
      << "WINE REGISTRY Version 2\n\n[Identities] 1700000000\n\"Default User ID\"=\"{A}\"\n\n"
      << "[Identities\\\\{A}] 1700000000\n\"UserName\"=\"Main Identity\"\n\n"
      << "[Identities\\\\{A}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
      << "\"Store Root\"=\"C:\\\\Mail\"\n";
  setenv("KESTREL_REGISTRATIONS", (root / "registrations.ini").c_str(), 1);
  void* kestrel = dlopen((std::string(TOLLAN_BINARY_DIR) + "/reader/model/libkestrel.so").c_str(), RTLD_NOW);
  ASSERT_NE(kestrel, nullptr) << dlerror();
  auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(kestrel, "DllRegisterServer"));
  ASSERT_TRUE(reg != nullptr && reg() == S_OK);

  const std::string cli = std::string(TOLLAN_BINARY_DIR) + "/tools/tollan-cli/tollan-cli";
  const std::string node_lister = std::string(TOLLAN_SOURCE_DIR) + "/tests/oracles/pst_list.js";
  for (int run = 0; run < 4; ++run) {
    const bool single = run % 2 == 0, default_store = run >= 2;
    const fs::path out = root / ((single ? "single" : "each") + std::string(default_store ? "-default" : ""));
    const std::string input = default_store ? "--default-store --wine-prefix '" + prefix.string() + "'"
                                            : "'" + (root / "store").string() + "'";
    Shell(cli + " -q --keep-folder-tree " + (single ? "--single-pst" : "--pst-per-file") + " -o '" +
        out.string() + "' " + input + " 2>&1");
    // (folder path below the top folder, subject) of every message, as each
    // reader lists it.
    std::multiset<std::string> by_extractor, by_readpst;
    for (const auto& e : fs::directory_iterator(out)) {
      if (e.path().extension() != ".pst") continue;
      std::istringstream lines(Shell("node '" + node_lister + "' '" + e.path().string() + "'"));
      for (std::string line; std::getline(lines, line);) {
        if (line.rfind("M /", 0) != 0) continue;
        // "M /<top>/<path> <subject>": the subjects hold no spaces.
        const size_t top_end = line.find('/', 3);
        const size_t space = line.rfind(' ');
        by_extractor.insert(line.substr(top_end + 1, space - top_end - 1) + " " + line.substr(space + 1));
      }
      const fs::path dump = out / ("readpst-" + e.path().stem().string());
      fs::create_directories(dump);
      Shell("readpst -q -j 0 -r -o '" + dump.string() + "' '" + e.path().string() + "'");
      for (const auto& f : fs::recursive_directory_iterator(dump)) {
        if (!f.is_regular_file()) continue;
        // <dump>/<top>/<path>/mbox
        fs::path rel = fs::relative(f.path().parent_path(), dump);
        std::string folder;
        for (auto it = std::next(rel.begin()); it != rel.end(); ++it) folder += (folder.empty() ? "" : "/") + it->string();
        std::ifstream in(f.path());
        for (std::string line; std::getline(in, line);) {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          if (line.rfind("Subject: ", 0) == 0) by_readpst.insert(folder + " " + line.substr(9));
        }
      }
    }
    const std::multiset<std::string> want =
        single ? std::multiset<std::string>{"Inbox in1", "Inbox in2", "Inbox/Sub sub1", "Old Stuff old1",
                                            "Old Stuff old2", "Old Stuff old3", "Parent/Kid kid1",
                                            "Caf\u00e9 cafe1", "\u00c4rchiv archiv1"}
               : std::multiset<std::string>{"Inbox in1", "Inbox in2", "Sub sub1", "Old Stuff old1",
                                            "Old Stuff old2", "Old Stuff old3", "Kid kid1", "Caf\u00e9 cafe1",
                                            "\u00c4rchiv archiv1"};
    EXPECT_EQ(by_extractor, want) << out;
    EXPECT_EQ(by_readpst, want) << out;
    // No folder for "Lonely": nothing converted below it.
    EXPECT_EQ(Shell("grep -rl Lonely '" + out.string() + "' 2>/dev/null; ls -R '" + out.string() + "' | grep Lonely"),
              "");
  }
  unsetenv("KESTREL_REGISTRATIONS");
  fs::remove_all(root);
}

TEST(FolderTreeTest, FoldersWhoseParentsLoopArePlacedAtTheTopWithAWarning) {
  const fs::path root = fs::temp_directory_path() / ("folder-loop-" + std::to_string(getpid()));
  fs::remove_all(root);
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  // A and B name each other as parent; C hangs below A; D is in order.
  dbxgen::Folder a = dbxgen::UserFolder(20, "A"), b = dbxgen::UserFolder(21, "B");
  dbxgen::Folder c = dbxgen::UserFolder(22, "C"), d = dbxgen::UserFolder(23, "D");
  a.record.parent = 21;
  b.record.parent = 20;
  c.record.parent = 20;
  for (auto& f : {a, b, c, d}) spec.folders.push_back(WithMessages(f, {"m"}));
  ASSERT_TRUE(dbxgen::WriteStore(root, spec).ok());

  FolderTree tree;
  EXPECT_EQ(tree.DisplayPath((root / "D.dbx").string()), "D");
  EXPECT_NE(tree.TakeWarning().find("form a loop; they are placed at the top of the .pst: A, B, C"),
            std::string::npos);
  EXPECT_EQ(tree.TakeWarning(), "");
  for (const char* name : {"A", "B", "C"}) {
    EXPECT_EQ(tree.DisplayPath((root / (std::string(name) + ".dbx")).string()), name);
  }
  EXPECT_EQ(tree.TakeWarning(), "");  // once per folder list
  fs::remove_all(root);
}

}  // namespace
}  // namespace tollan
