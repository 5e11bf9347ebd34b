// make-sample-store: writes an Outlook Express store (the folder list and one
// folder file per folder) from .eml files or from synthesized messages, for
// tests, benchmarks, fuzz seeds and the demo. See Usage() for the options.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "platform/text/utf.h"
#include "tests/support/dbxgen/eml.h"
#include "tests/support/dbxgen/named_damage.h"
#include "tests/support/dbxgen/store.h"
#include "tests/support/dbxgen/synth.h"

namespace {

const char kUsage[] =
    "usage: make-sample-store OUT_DIR [options]\n"
    "\n"
    "Writes an Outlook Express store into OUT_DIR: Folders.dbx and the folder\n"
    "files of Inbox, Outbox, Sent Items, Deleted Items, Drafts and any further\n"
    "folders named with --folders.\n"
    "\n"
    "  --folders NAME[,NAME...]    folders that get messages (default: Inbox);\n"
    "                              names other than the standard ones become new\n"
    "                              folders below Local Folders\n"
    "  --messages-per-folder N     synthesized messages in each of them (default 10,\n"
    "                              or 0 with --from-eml)\n"
    "  --from-eml PATH...          .eml files, or directories whose .eml files are\n"
    "                              taken in name order; they go into the first\n"
    "                              folder of --folders, before synthesized ones\n"
    "  --message-size BYTES        size of each synthesized message (default:\n"
    "                              natural sizes from 1 to 12 KB)\n"
    "  --seed N                    seed of the synthesized messages (default 1)\n"
    "  --fan-out N                 entries per index node, 1 to 52 (default 51)\n"
    "  --damage KIND               build a fault into the store (repeatable);\n"
    "                              --damage list shows the kinds\n"
    "  --damage-message N          message position that message faults hit (default 1)\n"
    "  --quiet                     print nothing on success\n";

struct Options {
  std::filesystem::path out_dir;
  std::vector<std::string> folders;
  long long messages_per_folder = -1;
  std::vector<std::filesystem::path> eml_paths;
  std::size_t message_size = 0;
  uint64_t seed = 1;
  std::size_t fan_out = 51;
  std::vector<std::string> damage;
  std::size_t damage_message = 1;
  bool quiet = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "make-sample-store: %s\n", message.c_str());
  return 2;
}

bool ParseNumber(const std::string& text, unsigned long long& out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  out = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

// Parses argv into `options`; returns an error text, or "" when fine.
std::string ParseArguments(int argc, char** argv, Options& options, bool& list_damage) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto number = [&](unsigned long long& out) {
      std::string text;
      return value(text) && ParseNumber(text, out);
    };
    unsigned long long n = 0;
    std::string text;
    if (arg == "--help" || arg == "-h") {
      return "help";
    } else if (arg == "--folders") {
      if (!value(text)) return "--folders needs a list of folder names";
      for (const std::string& name : SplitList(text)) options.folders.push_back(name);
    } else if (arg == "--messages-per-folder") {
      if (!number(n)) return "--messages-per-folder needs a number";
      options.messages_per_folder = static_cast<long long>(n);
    } else if (arg == "--from-eml") {
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        options.eml_paths.push_back(args[++i]);
      }
      if (options.eml_paths.empty()) return "--from-eml needs files or directories";
    } else if (arg == "--message-size") {
      if (!number(n)) return "--message-size needs a number of bytes";
      options.message_size = n;
    } else if (arg == "--seed") {
      if (!number(n)) return "--seed needs a number";
      options.seed = n;
    } else if (arg == "--fan-out") {
      if (!number(n) || n < 1 || n > 52) return "--fan-out needs a number from 1 to 52";
      options.fan_out = n;
    } else if (arg == "--damage") {
      if (!value(text)) return "--damage needs a kind (--damage list shows them)";
      if (text == "list") list_damage = true;
      else options.damage.push_back(text);
    } else if (arg == "--damage-message") {
      if (!number(n)) return "--damage-message needs a number";
      options.damage_message = n;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg.rfind("--", 0) == 0) {
      return "unknown option " + arg;
    } else if (options.out_dir.empty()) {
      options.out_dir = arg;
    } else {
      return "more than one output directory: " + arg;
    }
  }
  if (list_damage) return "";
  if (options.out_dir.empty()) return "missing OUT_DIR";
  return "";
}

// The .eml files named by `paths`, directories expanded in name order.
std::vector<std::filesystem::path> EmlFiles(const std::vector<std::filesystem::path>& paths,
                                            std::string& error) {
  std::vector<std::filesystem::path> files;
  for (const auto& path : paths) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
      std::vector<std::filesystem::path> found;
      for (const auto& entry : std::filesystem::directory_iterator(path, code)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".eml") found.push_back(entry.path());
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (std::filesystem::is_regular_file(path, code)) {
      files.push_back(path);
    } else {
      error = "no such file or directory: " + path.string();
      return {};
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool list_damage = false;
  std::string error = ParseArguments(argc, argv, options, list_damage);
  if (error == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "make-sample-store: %s\n\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (list_damage) {
    for (const auto& damage : dbxgen::DamageNames()) {
      std::printf("%-24s %s\n", damage.name, damage.description);
    }
    return 0;
  }
  if (options.folders.empty()) options.folders.push_back("Inbox");
  std::vector<std::filesystem::path> eml_files = EmlFiles(options.eml_paths, error);
  if (!error.empty()) return Fail(error);
  const std::size_t per_folder = options.messages_per_folder >= 0
                                     ? static_cast<std::size_t>(options.messages_per_folder)
                                     : (eml_files.empty() ? 10 : 0);

  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  spec.folder_list.tree.fan_out = options.fan_out;
  uint32_t next_id = 100;
  std::vector<std::size_t> filled;  // indexes into spec.folders
  for (const std::string& name : options.folders) {
    // The folder list holds the name in the ANSI code page (Windows-1252),
    // as Outlook Express writes it; the file on disk keeps the name as
    // given. A name that code page cannot hold goes into the list as given.
    std::string ansi = tollan::com::AnsiFromUtf16(text::Utf8ToUtf16(name));
    if (text::Utf16ToUtf8(tollan::com::Utf16FromAnsi(ansi)) != name) ansi = name;
    auto it = std::find_if(spec.folders.begin(), spec.folders.end(),
                           [&](const dbxgen::Folder& f) { return f.record.name == ansi; });
    if (it == spec.folders.end()) {
      if (name.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        return Fail("folder name \"" + name + "\" cannot name a file");
      }
      dbxgen::Folder folder = dbxgen::UserFolder(next_id++, ansi);
      folder.disk_file_name = name + ".dbx";
      spec.folders.push_back(std::move(folder));
      it = spec.folders.end() - 1;
    } else if (it->record.file_name.empty()) {
      return Fail("folder \"" + name + "\" holds no messages of its own");
    }
    filled.push_back(static_cast<std::size_t>(it - spec.folders.begin()));
  }
  for (dbxgen::Folder& folder : spec.folders) folder.file.tree.fan_out = options.fan_out;

  dbxgen::SynthOptions synth;
  synth.seed = options.seed;
  synth.message_size = options.message_size;
  std::size_t total = eml_files.size();
  for (std::size_t k = 0; k < filled.size(); ++k) {
    dbxgen::Folder& folder = spec.folders[filled[k]];
    const std::size_t eml_count = k == 0 ? eml_files.size() : 0;
    std::size_t count = per_folder;
    bool overfull = std::find(options.damage.begin(), options.damage.end(), "overfull-node") !=
                    options.damage.end();
    if (k == 0 && overfull && eml_count + count < 52) count = 52 - eml_count;
    total += count;
    const std::size_t base = k * 1000003;  // distinct messages in every folder
    std::vector<std::filesystem::path> files = k == 0 ? eml_files : std::vector<std::filesystem::path>{};
    folder.source = [files, count, base, synth](std::size_t position, dbxgen::Message& out) {
      if (position < files.size()) {
        std::ifstream in(files[position], std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        out = dbxgen::MessageFromEml(text, synth.defaults);
        return true;
      }
      std::size_t index = position - files.size();
      if (index >= count) return false;
      out = dbxgen::SynthesizeMessage(base + index, synth);
      return true;
    };
  }
  for (const std::string& damage : options.damage) {
    dbxgen::Status applied =
        dbxgen::ApplyDamage(damage, spec, filled.front(), options.damage_message);
    if (!applied.ok()) return Fail(applied.message() + " (--damage list shows the kinds)");
  }

  const auto start = std::chrono::steady_clock::now();
  auto report = dbxgen::WriteStore(options.out_dir, spec);
  if (!report.ok()) return Fail(report.status().message());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!options.quiet) {
    uint64_t bytes = report->folder_list.file_size;
    for (const auto& file : report->folder_files) bytes += file.file_size;
    for (std::size_t i = 0; i < spec.folders.size(); ++i) {
      const auto& file = report->folder_files[i];
      if (file.path.empty()) continue;
      std::printf("%-20s %8zu messages %12llu bytes  index depth %zu\n",
                  file.path.filename().string().c_str(), file.message_count,
                  static_cast<unsigned long long>(file.file_size), file.tree_depth);
    }
    std::printf("wrote %zu messages, %llu bytes to %s in %.2f s\n", total,
                static_cast<unsigned long long>(bytes), options.out_dir.string().c_str(), seconds);
  }
  return 0;
}
