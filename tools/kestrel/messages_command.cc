// kestrel messages FILE.dbx: the open result code of a folder file, then
// one JSON object per message, in list order.
#include <cstdio>

#include "reader/dbx/date_time.h"
#include "reader/dbx/session.h"
#include "tools/kestrel/ansi_text.h"
#include "tools/kestrel/com_commands.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/json_line.h"

namespace kestrel {
namespace {

struct MessagesOptions {
  std::string file;
  int codepage = 1252;
  bool object_model = false;
};

std::string MessageLine(const dbx::DbxMessage& m, AnsiText& ansi, const dbx::DbxBody& body,
                        bool body_ok) {
  JsonLine line;
  line.String("Subject", ansi.ToUtf8(m.subject))
      .String("OrigSubject", ansi.ToUtf8(m.orig_subject))
      .String("SenderName", ansi.ToUtf8(m.sender_name))
      .String("SenderAddr", ansi.ToUtf8(m.sender_addr))
      .String("SenderAddrName", ansi.ToUtf8(m.sender_addr_name))
      .String("RecipientName", ansi.ToUtf8(m.recipient_name))
      .String("RecipientAddr", ansi.ToUtf8(m.recipient_addr))
      .String("DateCreated", dbx::FormatIso8601(m.date_created))
      .String("DateSaved", dbx::FormatIso8601(m.date_saved))
      .String("DateReceived", dbx::FormatIso8601(m.date_received))
      .String("MessageID", ansi.ToUtf8(m.message_id))
      .String("AnswerMessageID", ansi.ToUtf8(m.answer_message_id))
      .String("Newsgroup", ansi.ToUtf8(m.newsgroup))
      .String("Server", ansi.ToUtf8(m.server))
      .String("MailAccount", ansi.ToUtf8(m.mail_account))
      .String("RegistryKey", ansi.ToUtf8(m.registry_key))
      .Int("MessageLines", m.message_lines)
      .Int("MessagePriority", m.message_priority)
      .Bool("MessageRead", m.message_read())
      .Bool("MessageMarked", m.message_marked())
      .Bool("AttachmentPresent", m.attachment_present())
      .Bool("DigitallySigned", m.digitally_signed())
      .Bool("NewsPosting", m.news_posting())
      .Bool("PendingChanges", m.pending_changes())
      .Bool("ThreadWatched", m.thread_watched())
      .Bool("ThreadIgnored", m.thread_ignored());
  if (body_ok && body.found) {
    line.Int("BodySize", static_cast<int64_t>(body.JoinedSize()));
  } else {
    line.Null("BodySize");
  }
  return line.Finish();
}

int RunMessages(const MessagesOptions& opt) {
  if (opt.object_model) return RunMessagesThroughObjectModel(opt.file);
  std::string error;
  std::unique_ptr<AnsiText> ansi = AnsiText::Create(opt.codepage, &error);
  if (!ansi) return Fail(error);

  std::string dir, name;
  SplitPath(opt.file, &dir, &name);
  dbx::DbxSession session;
  session.set_store_directory(dir);
  dbx::DbxFolderContents contents;
  dbx::DbxFolderOpen open = session.OpenFolder(name, false, &contents);
  std::printf("%d\n", open.status.code());
  if (!open.status.ok() && open.status.code() != dbx::kResultUnreadableBody) {
    std::fflush(stdout);
    return Fail(open.status.ToString());
  }
  if (!open.status.ok()) std::fprintf(stderr, "kestrel: warning: %s\n", open.status.ToString().c_str());

  for (size_t i = 0; i < contents.messages.size(); ++i) {
    const dbx::DbxMessage& m = contents.messages[i];
    dbx::DbxBody body;
    dbx::DbxStatus s = session.ReadBody(m.body_position, &body);
    if (!s.ok()) {
      std::fprintf(stderr, "kestrel: message %zu: body: %s\n", i + 1, s.ToString().c_str());
    } else if (body.chain_cut) {
      std::fprintf(stderr, "kestrel: message %zu: body chain loops; cut short\n", i + 1);
    }
    std::printf("%s\n", MessageLine(m, *ansi, body, s.ok()).c_str());
  }
  return 0;
}

}  // namespace

void AddMessagesCommand(CLI::App& app, int* exit_code) {
  auto opt = std::make_shared<MessagesOptions>();
  CLI::App* cmd = app.add_subcommand("messages", "List the messages of a DBX folder file");
  cmd->add_option("FILE", opt->file, "A DBX folder file")->required();
  cmd->add_option("--codepage", opt->codepage, "ANSI code page of the store's texts")
      ->capture_default_str();
  cmd->add_flag("--object-model", opt->object_model,
                "Read through the registered Kestrel component (Kestrel.OEFolder)");
  cmd->callback([opt, exit_code] { *exit_code = RunMessages(*opt); });
}

}  // namespace kestrel
