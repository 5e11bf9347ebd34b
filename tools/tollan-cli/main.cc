// tollan-cli: converts Outlook Express .dbx files, or the default store of an
// Outlook Express identity, into .pst files from the command line. It runs
// the same batch driver and engine as the wizard, prints what the wizard
// would show in message boxes, draws both progress bars and ends with a
// summary. Every message that did not come through cleanly is named in a CSV
// report (--report, or beside the outputs when anything went wrong).
// Exit status: 0 when every message of the files converted is in the
// outputs whole (files skipped on purpose, the Outbox and Deleted Items,
// are named in the summary with the messages they hold); 1 when anything
// failed or was lost (a file or message that failed, a message saved in
// part, messages its index does not reach left behind, a failed check or
// report); 2 for bad arguments; 130 when the run was interrupted (SIGINT,
// SIGTERM or SIGHUP, on Windows Ctrl-C, Ctrl-Break or the console closing;
// every .pst made is then complete and holds what the summary counts).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/discovery/dbx_search.h"
#include "converter/engine/import_workers.h"
#include "converter/engine/naming.h"
#include "converter/engine/pst_writer_session.h"
#include "converter/wizard/batch_driver.h"
#include "converter/wizard/default_store_source.h"
#include "converter/wizard/file_list_source.h"
#include "converter/wizard/skip_names.h"
#include "converter/wizard/identity_stores.h"
#include "converter/wizard/old_disk.h"
#include "converter/wizard/store_list_source.h"
#include "platform/os/file.h"
#include "platform/os/process.h"
#include "tools/tollan-cli/terminal_page.h"

namespace tollan {
namespace {

class VectorList : public FileListView {
 public:
  explicit VectorList(std::vector<std::string> rows) : rows_(std::move(rows)) {}
  int32_t Rows() override { return static_cast<int32_t>(rows_.size()); }
  std::string Cell(int32_t row) override { return rows_[static_cast<size_t>(row)]; }
  void SelectRow(int32_t) override {}

 private:
  std::vector<std::string> rows_;
};

// What the summary calls a file: one of which anything was lost is not
// "converted", and one of which nothing reached a .pst has failed.
FileOutcome::State Shown(const FileOutcome& f) {
  if (f.state != FileOutcome::State::kConverted || f.MessagesLost() == 0) return f.state;
  return f.messages_converted + f.messages_recovered == 0 ? FileOutcome::State::kFailed : f.state;
}

const char* StateName(const FileOutcome& f) {
  switch (Shown(f)) {
    case FileOutcome::State::kConverted: return f.MessagesLost() > 0 ? "PARTIAL" : "converted";
    case FileOutcome::State::kSkipped: return "skipped";
    case FileOutcome::State::kPassedOver: return "passed over";
    case FileOutcome::State::kFailed: return "FAILED";
  }
  return "";
}

long long N(int64_t n) { return static_cast<long long>(n); }

// A text on one line of the summary: the paths an error names may hold line
// breaks and other control characters, written as \n, \r, \t or \xNN.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) {
      out += c;
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}

void PrintSummary(const RunReport& r, const ImportTally& tally, bool quiet) {
  int64_t converted = 0, partial_files = 0, skipped = 0, failed = 0;
  for (const auto& f : r.files) {
    const FileOutcome::State shown = Shown(f);
    if (shown == FileOutcome::State::kConverted) ++(f.MessagesLost() > 0 ? partial_files : converted);
    if (shown == FileOutcome::State::kSkipped) ++skipped;
    if (shown == FileOutcome::State::kFailed) ++failed;
  }
  // Messages only the recovery scan finds: converted, or worth a second run.
  int64_t recovered = 0;
  for (const auto& f : r.files) {
    recovered += f.messages_recovered;
    if (f.messages_unrecovered > 0) {
      std::printf("%s holds %lld message(s) that its index does not reach; run again with "
                  "--recover to bring them back into a folder \"Recovered\"\n",
                  QuotedPath(f.dbx_path).c_str(), N(f.messages_unrecovered));
    }
  }
  if (quiet) {
    if (!r.AllArrivedWhole()) {
      std::printf("%lld file(s) failed; %lld message(s) failed, %lld converted in part, %lld not recovered\n",
                  N(failed), N(r.MessagesFailed()), N(r.MessagesPartial()), N(r.MessagesUnrecovered()));
    }
    if (r.MessagesInSkippedFiles() > 0) {
      std::printf("%lld message(s) are in skipped files\n", N(r.MessagesInSkippedFiles()));
    }
    return;
  }
  std::printf("\nSummary\n");
  for (const auto& f : r.files) {
    std::printf("  %-9s %s", StateName(f), QuotedPath(f.dbx_path).c_str());
    const bool counted = f.state == FileOutcome::State::kConverted ||
                         (f.state == FileOutcome::State::kFailed && f.messages_declared >= 0);
    if (counted) {
      std::printf("  (%lld of %lld messages", N(f.messages_converted), N(f.messages_total));
      if (f.messages_declared > f.messages_total) std::printf(", %lld declared by its header", N(f.messages_declared));
      if (f.messages_skipped) std::printf(", %lld without body", N(f.messages_skipped));
      if (f.messages_failed) std::printf(", %lld failed", N(f.messages_failed));
      if (f.messages_duplicate) std::printf(", %lld duplicate(s) left out", N(f.messages_duplicate));
      if (f.messages_partial) std::printf(", %lld converted in part", N(f.messages_partial));
      if (f.messages_recovered) std::printf(", %lld recovered into \"Recovered\"", N(f.messages_recovered));
      if (f.messages_unrecovered) std::printf(", %lld beyond its index not recovered", N(f.messages_unrecovered));
      if (f.interrupted) std::printf(", interrupted");
      std::printf(")");
    } else if (f.messages_recovered) {
      std::printf("  (%lld recovered into \"Recovered\")", N(f.messages_recovered));
    } else if (f.state == FileOutcome::State::kSkipped && f.messages_total > 0) {
      std::printf("  (holds %lld message(s), not converted)", N(f.messages_total));
    }
    if (!f.error.empty()) std::printf("  %s", OneLine(f.error).c_str());
    std::printf("\n");
  }
  if (r.interrupted) {
    std::printf("Interrupted: the run was stopped; %lld message(s) were saved in the complete .pst "
                "file(s) below, the rest was not converted.\n",
                N(r.MessagesSaved()));
  }
  std::printf("Files: %lld converted, %lld converted in part, %lld skipped, %lld failed\n", N(converted),
              N(partial_files), N(skipped), N(failed));
  std::printf("Messages: %lld converted, %lld skipped, %lld failed\n", N(r.MessagesConverted()),
              N(r.MessagesSkipped()), N(r.MessagesFailed()));
  if (r.MessagesPartial() > 0) {
    std::printf("Converted in part: %lld message(s) whose body was cut short or damaged; the bytes "
                "that could be read are in the .pst\n", N(r.MessagesPartial()));
  }
  if (r.MessagesDuplicate() > 0) {
    std::printf("Duplicates left out (already in the output): %lld message(s)\n", N(r.MessagesDuplicate()));
  }
  if (recovered > 0) {
    std::printf("Recovered: %lld message(s) that the index no longer reached, in \"Recovered\" "
                "folders\n", N(recovered));
  }
  if (r.MessagesUnrecovered() > 0) {
    std::printf("Not recovered: %lld message(s) that the index does not reach (--recover)\n",
                N(r.MessagesUnrecovered()));
  }
  for (const auto& f : r.files) {
    if (f.state != FileOutcome::State::kSkipped || f.messages_total == 0) continue;
    std::printf("Skipped: %s holds %lld message(s) that were not converted (%s)\n",
                QuotedPath(f.dbx_path).c_str(), N(f.messages_total),
                IsOutbox(f.file_name) ? "--convert-outbox converts them" : "--convert-deleted-items converts them");
  }
  if (tally.original_attached > 0) {
    std::printf("Messages kept with their original attached (could not be mapped fully): %lld\n",
                N(tally.original_attached));
  }
  std::printf("Output files:\n");
  for (const auto& p : r.pst_files) {
    std::error_code ec;
    auto size = std::filesystem::file_size(os::FsPath(p), ec);
    std::printf("  %s  %s\n", QuotedPath(p).c_str(), ec ? "(missing)" : (std::to_string(size) + " bytes").c_str());
  }
}

// What reading each .pst back found (--verify): the structural check, then
// "verified N of N messages", and each message that differs.
void PrintVerifications(const RunReport& r, bool* failed) {
  for (const PstVerification& v : r.verifications) {
    if (!v.structure.empty()) {
      std::printf("pst-check %s: problems found\n", QuotedPath(v.path).c_str());
      for (const auto& problem : v.structure) std::printf("  %s\n", problem.c_str());
    } else {
      std::printf("pst-check %s: %s\n", QuotedPath(v.path).c_str(), v.structure_summary.c_str());
    }
    std::printf("read back %s: verified %lld of %lld messages\n", QuotedPath(v.path).c_str(),
                static_cast<long long>(v.verified), static_cast<long long>(v.total));
    for (const auto& m : v.mismatches) {
      std::printf("  %s message %lld: %s differs from what was written\n", QuotedPath(m.folder_file).c_str(),
                  static_cast<long long>(m.number), m.what.c_str());
    }
    if (!v.ok()) *failed = true;
  }
}

// Processor time and peak memory of this process and of the import
// processes it ran (all ended by now), for benchmarks.
void PrintStats(int64_t messages, int jobs) {
  const os::Usage self = os::SelfUsage(), children = os::ChildrenUsage();
  const double per = messages > 0 ? 1e6 / static_cast<double>(messages) : 0;
  std::printf("stats: writer cpu %.3f s (%.1f us/message), peak %ld MB; import processes (%d) cpu %.3f s "
              "(%.1f us/message), peak of one %ld MB\n",
              self.cpu_seconds, self.cpu_seconds * per, self.peak_mb, jobs, children.cpu_seconds,
              children.cpu_seconds * per, children.peak_mb);
}

// --list-identities: name, store folder and message count of each identity
// of the registry the reader reads.
int PrintIdentities() {
  std::vector<IdentityStore> stores;
  std::string current, why;
  if (!ListIdentityStores(true, &stores, &current, &why)) {
    std::fprintf(stderr, "tollan-cli: %s\n", why.c_str());
    return 1;
  }
  if (stores.empty()) std::printf("No Outlook Express identity was found.\n");
  for (const IdentityStore& s : stores) {
    const char* mark = s.name == current ? " (current)" : "";
    if (s.problem.empty()) {
      std::printf("%s%s\t%s\t%lld messages\n", s.name.c_str(), mark, s.store_folder.c_str(),
                  static_cast<long long>(s.messages));
    } else {
      std::printf("%s%s\t%s\t%s\n", s.name.c_str(), mark, s.store_folder.c_str(), s.problem.c_str());
    }
  }
  return 0;
}

// --all-identities: the store of every identity, named after it.
std::vector<NamedStore> IdentityStores(bool quiet) {
  std::vector<IdentityStore> found;
  std::string current, why;
  if (!ListIdentityStores(false, &found, &current, &why)) std::fprintf(stderr, "tollan-cli: %s\n", why.c_str());
  std::vector<NamedStore> stores;
  for (const IdentityStore& s : found) {
    if (!quiet) std::printf("Identity %s: %s\n", s.name.c_str(), s.store_folder.c_str());
    stores.push_back({s.name, s.store_folder});
  }
  return stores;
}

// --from-disk: what the survey of an old disk found, printed, and its stores.
bool DiskStores(const std::string& dir, bool quiet, std::vector<NamedStore>* stores) {
  OldDisk disk;
  std::string why;
  if (!SurveyOldDisk(dir, &disk, &why)) {
    std::fprintf(stderr, "tollan-cli: %s\n", why.c_str());
    return false;
  }
  if (!quiet) {
    std::printf("Profiles in %s: %zu\n", disk.profiles_folder.c_str(), disk.profiles.size());
    for (const OldDiskProfile& p : disk.profiles) {
      std::printf("  %s (%s)%s%s\n", p.name.c_str(), p.ntuser.c_str(), p.problem.empty() ? "" : ": ",
                  p.problem.c_str());
      for (const IdentityStore& i : p.identities) {
        std::printf("    identity %s: %s", i.name.c_str(), i.store_folder.c_str());
        if (i.problem.empty()) {
          std::printf(" (%lld messages)\n", static_cast<long long>(i.messages));
        } else {
          std::printf(" (%s)\n", i.problem.c_str());
        }
      }
    }
    std::printf("Folders of .dbx files no identity points to: %zu\n", disk.strays.size());
    for (const NamedStore& s : disk.strays) std::printf("  %s\n", s.folder.c_str());
  }
  *stores = disk.Stores();
  return true;
}

int Main(int argc, char** argv) {
  os::UseUtf8Console();
  CLI::App app{"Converts Outlook Express .dbx files into Outlook .pst files."};
  app.set_version_flag("--version", "tollan-cli " TOLLAN_VERSION);
  bool single = false, per_file = false, convert_deleted = false, verify = false;
  bool default_store = false, quiet = false, recover = false, stats = false, keep_tree = false;
  bool convert_outbox = false;
  std::string out_dir, wine_prefix, hive, report_path;
  std::vector<std::string> inputs;
  int codepage = 1252;
  int jobs = DefaultImportJobs();
  auto* single_opt = app.add_flag("--single-pst", single, "One .pst for all files");
  auto* per_file_opt = app.add_flag("--pst-per-file", per_file, "A separate .pst for each file");
  single_opt->excludes(per_file_opt);
  app.add_flag("--convert-deleted-items", convert_deleted, "Convert Deleted Items.dbx too");
  app.add_flag("--convert-outbox", convert_outbox, "Convert Outbox.dbx too (its unsent messages)");
  app.add_option("-o,--output", out_dir, "Folder for the .pst files (not needed with --list-identities)");
  app.add_flag("--verify", verify,
               "Check every output file with pst-check, then read every message back from it and "
               "compare it with what was written");
  app.add_flag("--recover", recover,
               "Also convert the messages a file's index no longer reaches, into a subfolder "
               "\"Recovered\" of its folder");
  app.add_flag("--keep-folder-tree", keep_tree,
               "Give the .pst folders the Outlook Express folder tree and names (from folders.dbx)");
  app.add_flag("-q,--quiet", quiet, "Print only warnings, errors and where the report is");
  app.add_option("--report", report_path,
                 "Write a CSV line for every message not converted cleanly to this new file "
                 "(default: conversion-report.csv beside the outputs, when anything went wrong)");
  app.add_option("--codepage", codepage, "Windows code page of unlabelled 8-bit text (default 1252)");
  auto* jobs_opt = app.add_option("-j,--jobs", jobs,
                 "Processes that import messages; 1 imports in this process (default: 1 below four "
                 "cores, else the number of cores, at most 16, started for the first folder of 2000 "
                 "messages or more)")
      ->check(CLI::Range(1, 64));
  app.add_flag("--stats", stats, "Print processor time and peak memory at the end");
  uint64_t max_pst_size = 0;
  app.add_option("--max-pst-size", max_pst_size,
                 "Begin a new file, NAME (part 2).pst, ..., before a .pst would pass this size "
                 "(e.g. 20GB, 500MB; KB = 1024 bytes)")
      ->transform(CLI::AsSizeValue(false));
  bool skip_duplicates = false;
  app.add_flag("--skip-duplicates", skip_duplicates,
               "Leave out a message already in the output (same Message-ID and content), so that "
               "backups of one store merge without doubles");
  auto* ds = app.add_flag("--default-store", default_store,
                          "Convert the default store of the current Outlook Express identity");
  std::string identity;
  bool all_identities = false, list_identities = false;
  auto* id_opt = app.add_option("--identity", identity,
                                "Convert the store of this Outlook Express identity (its user name)");
  auto* all_opt = app.add_flag("--all-identities", all_identities,
                               "Convert the store of every identity: one .pst each, or with --single-pst "
                               "one top-level folder each");
  auto* list_opt = app.add_flag("--list-identities", list_identities,
                                "List the identities: name, store folder and message count");
  std::string from_disk;
  auto* disk_opt = app.add_option("--from-disk", from_disk,
                                  "Convert every Outlook Express store of an old Windows disk (its root, or its "
                                  "Documents and Settings or Users folder): every identity of every profile, "
                                  "and folders of .dbx files no identity points to");
  disk_opt->excludes(ds)->excludes(id_opt)->excludes(all_opt)->excludes(list_opt);
  id_opt->excludes(all_opt)->excludes(list_opt)->excludes(ds);
  all_opt->excludes(list_opt)->excludes(ds);
  list_opt->excludes(ds);
  app.add_option("--wine-prefix", wine_prefix, "Read the identities from this Wine prefix");
  app.add_option("--hive", hive, "Read the identities from this NTUSER.DAT");
  app.add_option("inputs", inputs, ".dbx files and folders to search for them")
      ->excludes(ds)->excludes(id_opt)->excludes(all_opt)->excludes(list_opt)->excludes(disk_opt);
  try {
    // CLI11 takes the arguments last first, without the program's name.
    const std::vector<std::string> args = os::Utf8Arguments(argc, argv);
    app.name(args.empty() ? std::string() : args[0]);
    std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  // Below a megabyte nearly every message would take a file of its own (a
  // size given without its unit, most likely).
  if (max_pst_size > 0 && max_pst_size < (uint64_t{1} << 20)) {
    std::fprintf(stderr, "tollan-cli: --max-pst-size must be at least 1MB (a .pst with no message "
                         "takes about 265 KB)\n");
    return 2;
  }
  if (out_dir.empty() && !list_identities) {
    std::fprintf(stderr, "tollan-cli: --output is required\n");
    return 2;
  }
  std::error_code ec;
  out_dir = os::SlashPath(out_dir);
  report_path = os::SlashPath(report_path);
  for (auto& input : inputs) input = os::SlashPath(input);
  if (!report_path.empty() &&
      std::filesystem::exists(std::filesystem::symlink_status(os::FsPath(report_path), ec))) {
    std::fprintf(stderr, "tollan-cli: report file %s already exists\n", QuotedPath(report_path).c_str());
    return 2;
  }
  // The report's folder must be there before the run, not only after it.
  if (!report_path.empty()) {
    const std::string full = os::AbsolutePath(report_path);
    const size_t slash = full.find_last_of('/');
    std::string parent = full.substr(0, slash == std::string::npos ? 0 : slash);
    if (parent.empty() || parent.back() == ':') parent += '/';  // a root: "/", "C:/"
    if (!os::IsWritableFolder(parent)) {
      std::fprintf(stderr, "tollan-cli: the report cannot be written into %s: %s\n",
                   QuotedPath(parent).c_str(),
                   std::filesystem::is_directory(os::FsPath(parent), ec) ? "no permission to write there"
                                                                         : "no such folder");
      return 2;
    }
  }
  const bool from_registry = default_store || !identity.empty() || all_identities || list_identities;
  if (!from_registry && inputs.empty() && from_disk.empty()) {
    std::fprintf(stderr, "tollan-cli: give .dbx files or folders, or --default-store\n");
    return 2;
  }
  if (!from_registry && (!wine_prefix.empty() || !hive.empty())) {
    std::fprintf(stderr, "tollan-cli: --wine-prefix and --hive go with --default-store, --identity, "
                         "--all-identities or --list-identities\n");
    return 2;
  }
  if (!wine_prefix.empty() && !hive.empty()) {
    std::fprintf(stderr, "tollan-cli: give either --wine-prefix or --hive, not both\n");
    return 2;
  }
#if defined(_WIN32)
  // The reader here reads the registry of the running Windows only.
  if (!wine_prefix.empty() || !hive.empty()) {
    std::fprintf(stderr, "tollan-cli: --wine-prefix and --hive are not available on Windows, where the "
                         "identities are read from this computer's registry\n");
    return 2;
  }
#endif
  // The reader component reads the registry source the environment names.
  if (!wine_prefix.empty()) os::SetEnvironment("KESTREL_REGISTRY", "wine:" + wine_prefix);
  if (!hive.empty()) os::SetEnvironment("KESTREL_REGISTRY", "hive:" + hive);
  if (list_identities) return PrintIdentities();
  // A missing output folder is made, with its parents.
  if (!std::filesystem::is_directory(os::FsPath(out_dir), ec)) {
    std::filesystem::create_directories(os::FsPath(out_dir), ec);
    if (ec || !std::filesystem::is_directory(os::FsPath(out_dir), ec)) {
      std::fprintf(stderr, "tollan-cli: cannot create the output folder %s: %s\n", out_dir.c_str(),
                   ec ? ec.message().c_str() : "a file of that name is in the way");
      return 2;
    }
  }

  std::vector<std::string> files;
  PageState state;
  state.ReportPath = report_path;
  state.Recover = recover;
  state.KeepFolderTree = keep_tree;
  state.Verify = verify;
  state.ConvertOutbox = convert_outbox;
  if (skip_duplicates) state.Duplicates = std::make_shared<DuplicateFilter>();
  DefaultStoreView store_view;
  if (default_store || !identity.empty()) {
    store_view = OpenIdentityStore(state, identity);
    if (!store_view.problem.empty()) {
      std::fprintf(stderr, "tollan-cli: %s\n", store_view.problem.c_str());
      return 1;
    }
    if (!quiet) {
      std::printf("Default Outlook Express Identity Folder: %s\nTotal Folders Found : %s\n",
                  store_view.store_folder.c_str(), store_view.folder_count.c_str());
    }
  }
  for (const auto& input : inputs) {
    if (std::filesystem::is_directory(os::FsPath(input), ec)) {
      DbxSearchResult found = FindDbxFiles(input);
      if (!quiet) std::printf("%s: %zu (.dbx) files found.\n", QuotedPath(input).c_str(), found.files.size());
      if (found.unreadable_folders > 0) {
        std::printf("%s: %d folder(s) could not be read and were left out.\n", QuotedPath(input).c_str(),
                    found.unreadable_folders);
      }
      files.insert(files.end(), found.files.begin(), found.files.end());
    } else {
      files.push_back(input);
    }
  }

  TerminalPage::Options page_options;
  const bool many_stores = all_identities || !from_disk.empty();
  page_options.one_pst = single || (many_stores && !per_file);
  page_options.each_pst = per_file;
  page_options.skip_deleted = !convert_deleted;
  page_options.output_folder = os::AbsolutePath(out_dir);
  page_options.interactive = os::IsTerminal(stderr);
  page_options.quiet = quiet;
  TerminalPage page(page_options, stdout, stderr);

  mail::ImportOptions import_options;
  import_options.default_code_page = static_cast<uint32_t>(codepage);
  ImportTally tally;
  // One set of workers serves every .pst of the run.
  std::unique_ptr<ImportWorkers> workers;
  if (jobs > 1) {
    ImportWorkers::Options worker_options;
    worker_options.jobs = jobs;
    worker_options.import = import_options;
    // Chosen for the run, they start only for a file they pay for; asked
    // for, they start now.
    if (jobs_opt->count() == 0) worker_options.start_from_messages = ImportWorkers::kPaysFromMessages;
    Status s = ImportWorkers::Start(worker_options, &workers);
    if (!s.ok()) {
      std::fprintf(stderr, "tollan-cli: importing in this process only: %s\n", s.message().c_str());
    }
  }
  EngineEnv env;
  env.sessions = [&] {
    return NewPstWriterSession(import_options, &tally, workers.get(), verify, max_pst_size);
  };
  TerminalPage::CatchInterrupts();
  VectorList list(files);
  FileListSource file_source(&page, &list, env);
  DefaultStoreSource store_source(&page, [&] { return store_view.store_folder; }, env);
  std::vector<NamedStore> stores;
  if (all_identities) stores = IdentityStores(quiet);
  if (!from_disk.empty() && !DiskStores(from_disk, quiet, &stores)) return 2;
  StoreListSource stores_source(&page, stores, single, env);
  BatchSource* source = !inputs.empty() ? static_cast<BatchSource*>(&file_source) : &store_source;
  if (many_stores) {
    stores_source.Survey();
    source = &stores_source;
  }
  BatchDriver(&page, source, env.sessions).Run(&state);
  page.EndProgress();
  const int workers_used = workers ? workers->jobs() : 0;
  if (workers && !workers->start_failure().empty()) {
    std::fprintf(stderr, "tollan-cli: imported in this process only: %s\n", workers->start_failure().c_str());
  }
  workers.reset();  // ends and reaps them, so their times are counted

  PrintSummary(state.report, tally, quiet);
  if (!state.report.report_error.empty()) {
    std::fprintf(stderr, "tollan-cli: %s\n", state.report.report_error.c_str());
  } else if (!state.report.report_file.empty()) {
    size_t file_rows = 0, message_rows = 0;
    for (const auto& m : state.report.messages) message_rows += m.what != MessageNote::What::kNewPart;
    for (const auto& f : state.report.files) {
      file_rows += f.state == FileOutcome::State::kFailed || f.messages_unrecovered > 0 ||
                   (f.state == FileOutcome::State::kSkipped && f.messages_total > 0);
    }
    std::printf("Report of what did not convert cleanly (%zu folder file(s), %zu message(s)): %s\n", file_rows,
                message_rows, QuotedPath(state.report.report_file).c_str());
  }
  bool failed = !state.report.finished || !state.report.AllArrivedWhole();
  if (verify) PrintVerifications(state.report, &failed);
  if (!state.report.report_error.empty()) failed = true;
  if (stats) PrintStats(state.report.MessagesConverted(), workers_used);
  if (state.report.interrupted) return 130;
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace tollan

int main(int argc, char** argv) { return tollan::Main(argc, argv); }
