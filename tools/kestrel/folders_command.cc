// kestrel folders STORE_DIR: the folder list of a store, one JSON object per
// folder, in list order.
#include <cstdio>

#include "reader/dbx/session.h"
#include "tools/kestrel/ansi_text.h"
#include "tools/kestrel/com_commands.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/json_line.h"

namespace kestrel {
namespace {

struct FoldersOptions {
  std::string store_dir;
  bool inactive = false;
  int codepage = 1252;
  bool object_model = false;
};

int RunFolders(const FoldersOptions& opt) {
  if (opt.object_model) return RunFoldersThroughObjectModel(opt.store_dir, opt.inactive);
  std::string error;
  std::unique_ptr<AnsiText> ansi = AnsiText::Create(opt.codepage, &error);
  if (!ansi) return Fail(error);

  dbx::DbxSession session;
  session.set_store_directory(opt.store_dir);
  std::vector<dbx::DbxFolderRecord> folders;
  dbx::DbxStatus s = session.OpenStore(opt.inactive, false, &folders);
  if (!s.ok()) return Fail(s.ToString());

  for (const dbx::DbxFolderRecord& f : folders) {
    JsonLine line;
    line.Int("FolderIndex", f.folder_index)
        .String("ChildOf", ansi->ToUtf8(dbx::ParentFolderName(folders, f.parent_index)))
        .String("FolderName", ansi->ToUtf8(f.folder_name))
        .String("FolderFile", ansi->ToUtf8(f.folder_file))
        .Bool("IsActive", f.is_active)
        .Bool("HasSubfolders", f.has_subfolders)
        .Int("MessageCount", f.message_count)
        .Int("MessageUnread", f.message_unread);
    std::printf("%s\n", line.Finish().c_str());
  }
  return 0;
}

}  // namespace

void AddFoldersCommand(CLI::App& app, int* exit_code) {
  auto opt = std::make_shared<FoldersOptions>();
  CLI::App* cmd = app.add_subcommand("folders", "List the folders of a store directory");
  cmd->add_option("STORE_DIR", opt->store_dir, "Directory holding folders.dbx")->required();
  cmd->add_flag("--inactive", opt->inactive, "Also list folders that are not active");
  cmd->add_option("--codepage", opt->codepage, "ANSI code page of the store's texts")
      ->capture_default_str();
  cmd->add_flag("--object-model", opt->object_model,
                "Read through the registered Kestrel component (Kestrel.OE)");
  cmd->callback([opt, exit_code] { *exit_code = RunFolders(*opt); });
}

}  // namespace kestrel
