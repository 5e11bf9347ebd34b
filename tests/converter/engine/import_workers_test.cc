// The import worker processes: the same answers as the import in this
// process, and a worker that is killed, hangs or talks nonsense costs its
// one message, reported with the reason, while the run goes on.
#include "converter/engine/import_one.h"
#include "converter/engine/import_workers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "converter/engine/message_pipeline.h"
#include "converter/engine/pst_writer_session.h"
#include "platform/pst/check/check.h"
#include "platform/text/utf.h"
#include "tests/converter/wizard/fake_page.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

const char kWorker[] = TOLLAN_BINARY_DIR "/tools/tollan-cli/tollan-import-worker";
// The worker, but a message marked "X-Test-Fault: crash", "hang" or "lie"
// fails it every time.
const char kFaultyWorker[] = TOLLAN_BINARY_DIR "/tests/converter/engine/faulty-import-worker";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Corpus() {
  std::vector<fs::path> paths;
  for (const auto& e : fs::recursive_directory_iterator(TOLLAN_SOURCE_DIR "/tests/platform/mail/corpus")) {
    if (e.path().extension() == ".eml") paths.push_back(e.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> texts;
  for (const auto& p : paths) texts.push_back(Slurp(p));
  return texts;
}

std::string Message(int i, const std::string& fault = "") {
  return "From: a@example.com\r\n" + (fault.empty() ? "" : "X-Test-Fault: " + fault + "\r\n") +
         "Subject: message " + std::to_string(i) +
         "\r\nDate: Tue, 4 Mar 2003 10:00:00 +0000\r\n\r\nbody " + std::to_string(i) + "\r\n";
}

// Sends every message and pumps until each is answered; answers by ticket.
std::map<uint64_t, wire::ImportAnswer> RunAll(ImportWorkers& pool, const std::vector<std::string>& messages,
                                              std::vector<uint64_t>* tickets) {
  for (const auto& m : messages) tickets->push_back(pool.Send(m));
  std::map<uint64_t, wire::ImportAnswer> by_ticket;
  std::vector<wire::ImportAnswer> done;
  while (pool.Outstanding() > 0) pool.Pump(-1, &done);
  for (auto& a : done) {
    EXPECT_EQ(by_ticket.count(a.ticket), 0u) << "answered twice";
    by_ticket[a.ticket] = std::move(a);
  }
  EXPECT_EQ(by_ticket.size(), messages.size());
  return by_ticket;
}

ImportWorkers::Options Options(int jobs) {
  ImportWorkers::Options o;
  o.jobs = jobs;
  o.program = kWorker;
  o.import.now_filetime = 130000000000000000ull;
  return o;
}

TEST(ImportWorkers, DefaultKeepsTheImportInThisProcessWhereWorkersDoNotPay) {
  // {processors, import processes}: 1 means the import stays in this process.
  const int cases[][2] = {{1, 1}, {2, 1}, {3, 1}, {4, 4}, {8, 8}, {64, 16}};
  for (const auto& c : cases) EXPECT_EQ(ImportJobsFor(c[0]), c[1]) << c[0] << " processors";
}

TEST(ImportWorkers, AnswersEqualTheImportInThisProcess) {
  std::unique_ptr<ImportWorkers> pool;
  ASSERT_TRUE(ImportWorkers::Start(Options(3), &pool).ok());
  std::vector<std::string> messages = Corpus();
  ASSERT_GT(messages.size(), 40u);
  // One bigger than a socket's buffer, in both directions.
  messages.push_back("Subject: big\r\nContent-Type: text/plain\r\n\r\n" + std::string(3 << 20, 'x') + "\r\n");
  std::vector<uint64_t> tickets;
  auto answers = RunAll(*pool, messages, &tickets);
  for (size_t i = 0; i < messages.size(); ++i) {
    const wire::ImportAnswer& got = answers[tickets[i]];
    wire::ImportAnswer want = ImportOneMessage(tickets[i], messages[i], Options(1).import);
    std::string a, b;
    ASSERT_TRUE(wire::AppendAnswer(got, &a).ok());
    ASSERT_TRUE(wire::AppendAnswer(want, &b).ok());
    EXPECT_EQ(a, b) << "message " << i;
  }
}

TEST(ImportWorkers, HungOrLyingWorkerFailsItsMessageAndIsReplaced) {
  // A message that kills, hangs or confuses its worker in the middle of a
  // batch: the worker is replaced, the batch's other messages are imported
  // again one by one, and only the bad one fails, with the reason. Then a
  // worker stopped from outside: its messages are handed on and all
  // imported. Whoever imports them, each is answered once, as itself.
  struct Fault {
    const char* kind;  // "" : the first worker is stopped instead
    const char* why;
  };
  for (const Fault& fault : {Fault{"crash", "ended by signal 9 (SIGKILL)"},
                             Fault{"hang", "the import did not finish within 300 ms"},
                             Fault{"lie", "answered another message than the one it was given"}, Fault{"", ""}}) {
    ImportWorkers::Options o = Options(2);
    o.program = *fault.kind ? kFaultyWorker : kWorker;
    o.time_limit = std::chrono::milliseconds(300);
    o.time_per_mb = std::chrono::milliseconds(0);
    std::unique_ptr<ImportWorkers> pool;
    ASSERT_TRUE(ImportWorkers::Start(o, &pool).ok());
    const pid_t stuck = pool->Pids()[0];
    if (!*fault.kind) {
      ASSERT_EQ(::kill(stuck, SIGSTOP), 0);
    }
    std::vector<std::string> messages;
    for (int i = 1; i <= 40; ++i) messages.push_back(Message(i, i == 5 ? fault.kind : ""));
    std::vector<uint64_t> tickets;
    auto answers = RunAll(*pool, messages, &tickets);
    for (size_t i = 0; i < tickets.size(); ++i) {
      const wire::ImportAnswer& a = answers[tickets[i]];
      if (i == 4 && *fault.kind) {
        EXPECT_NE(a.status.message().find(std::string(fault.why) + " while importing this message"),
                  std::string::npos)
            << fault.kind << ": " << a.status.ToString();
        continue;
      }
      EXPECT_TRUE(a.status.ok()) << fault.kind << " " << i << ": " << a.status.ToString();
      const pst::Property* subject = a.content.Find(0x0037001F);
      ASSERT_NE(subject, nullptr) << i;
      EXPECT_EQ(std::get<std::u16string>(subject->value), text::Utf8ToUtf16("message " + std::to_string(i + 1)));
    }
    if (!*fault.kind) {
      EXPECT_NE(pool->Pids()[0], stuck);
    }
  }

  // Programs that are not the worker are found out before any message is
  // sent, and none is left running. Only the silent one waits out its
  // greeting limit; the others are found out as soon as they act, however
  // slowly a loaded machine starts them.
  const fs::path script = fs::temp_directory_path() / ("not-worker-" + std::to_string(getpid()));
  struct NotWorker {
    std::string body, why;
    int greeting_limit_ms;
  };
  for (const auto& [body, why, limit_ms] : std::vector<NotWorker>{
           {"exec cat", "it did not greet within 300 ms", 300},
           {"echo hello; exec cat", "it answered \"hello.\" instead of the worker's greeting", 60000},
           {"exit 3", "the import process exited with status 3 before it greeted", 60000}}) {
    std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(script, fs::perms::owner_all);
    ImportWorkers::Options other = Options(2);
    other.program = script.string();
    other.greeting_limit = std::chrono::milliseconds(limit_ms);
    std::unique_ptr<ImportWorkers> liar;
    Status s = ImportWorkers::Start(other, &liar);
    EXPECT_NE(s.message().find("is not tollan-import-worker: " + why), std::string::npos) << s.ToString();
    EXPECT_FALSE(liar);
  }

  // One that greets and then hangs: once the run is stopped, the messages
  // it holds fail within the grace, each saying so.
  std::ofstream(script) << "#!/bin/sh\nprintf '"
                        << kImportWorkerGreeting.substr(0, kImportWorkerGreeting.size() - 1)
                        << "\\n'\nexec sleep 600\n";
  ImportWorkers::Options hung = Options(2);
  hung.program = script.string();
  std::unique_ptr<ImportWorkers> sleeper;
  ASSERT_TRUE(ImportWorkers::Start(hung, &sleeper).ok());
  for (int i = 1; i <= 6; ++i) sleeper->Send(Message(i));
  std::vector<wire::ImportAnswer> done;
  sleeper->Pump(100, &done);
  const auto stopped = std::chrono::steady_clock::now();
  sleeper->Hurry(std::chrono::milliseconds(200));
  while (sleeper->Outstanding() > 0) sleeper->Pump(-1, &done);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(5));
  ASSERT_EQ(done.size(), 6u);
  for (const auto& a : done) {
    // Handed over together: the worker held them all.
    EXPECT_NE(a.status.message().find("the run was stopped while its import process held this message and 5 more"),
              std::string::npos)
        << a.status.ToString();
  }
  sleeper.reset();
  fs::remove(script);

  std::unique_ptr<ImportWorkers> liar;
  ImportWorkers::Options missing = Options(1);
  missing.program = "/nonexistent/tollan-import-worker";
  EXPECT_FALSE(ImportWorkers::Start(missing, &liar).ok());
}

// The subjects of the messages of every folder, in order, as libpff reads them.
std::string OutsideListing(const std::string& pst) {
  const std::string command =
      "/usr/bin/python3 -c 'import pypff,sys\n"
      "f=pypff.file(); f.open(sys.argv[1])\n"
      "def walk(d):\n"
      "  for i in range(d.number_of_sub_messages): print(d.name, d.get_sub_message(i).subject)\n"
      "  for i in range(d.number_of_sub_folders): walk(d.get_sub_folder(i))\n"
      "walk(f.get_root_folder())' '" +
      pst + "'";
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

class NoDates : public MessageDateReader {
 public:
  std::optional<uint64_t> MessageDate(const std::string&, std::string_view) override { return std::nullopt; }
};

TEST(ImportWorkers, KilledWorkerFailsItsMessageAloneAndThePstStaysValid) {
  const fs::path dir = fs::temp_directory_path() / ("workers-kill-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  ImportWorkers::Options o = Options(2);
  o.program = kFaultyWorker;
  std::unique_ptr<ImportWorkers> pool;
  ASSERT_TRUE(ImportWorkers::Start(o, &pool).ok());
  auto session = NewPstWriterSession(Options(1).import, nullptr, pool.get());
  PstStoreHandle* store = nullptr;
  const std::string pst = (dir / "out.pst").string();
  ASSERT_TRUE(session->AddPSTStore(pst, "Store", &store).ok());
  ASSERT_TRUE(session->AddFolder(store, "Inbox").ok());

  // The third message kills its worker, in the middle of the batch the
  // six go in; a file of the user's holds its temporary file's first name.
  std::ofstream(dir / "3.eml") << "the user's own";
  FakePage page;
  NoDates dates;
  std::vector<std::string> outcomes;
  {
    MessagePipeline pipeline(page, session.get(), dates);
    for (int i = 1; i <= 6; ++i) {
      MessageJob job;
      job.text = Message(i, i == 3 ? "crash" : "");
      job.temp_path = (dir / (std::to_string(i) + ".eml")).string();
      job.folder_path = "\\\\Store\\Inbox";
      pipeline.Submit(std::move(job),
                      [&outcomes](const Status& s, const std::string&) { outcomes.push_back(s.ToString()); });
    }
    pipeline.Finish();
  }
  ASSERT_EQ(outcomes.size(), 6u);
  EXPECT_NE(outcomes[2].find("ended by signal 9 (SIGKILL)"), std::string::npos) << outcomes[2];
  EXPECT_EQ(outcomes[2].find("corrupt"), std::string::npos) << outcomes[2];  // the process, not the message
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (i != 2) {
      EXPECT_EQ(outcomes[i], "ok") << i;
    }
  }
  ASSERT_TRUE(session->Logoff().ok());
  pool.reset();

  pst::check::Report report = pst::check::CheckFile(pst);
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_EQ(OutsideListing(pst),
            "Inbox message 1\nInbox message 2\nInbox message 4\nInbox message 5\nInbox message 6\n");
  // Every temporary file is gone, the failed message's too (its workers
  // were ended inside it), and the user's file is as it was.
  for (const auto& e : fs::directory_iterator(dir)) {
    EXPECT_TRUE(e.path().extension() == ".pst" || e.path().filename() == "3.eml") << e.path();
  }
  EXPECT_EQ(Slurp(dir / "3.eml"), "the user's own");
  fs::remove_all(dir);
}

// A run that chose workers for itself starts them for the first file big
// enough to pay for them, and imports every file itself when they cannot
// start.
TEST(ImportWorkers, StartOnlyForAFileTheyPayForAndNeverCostAMessage) {
  const fs::path dir = fs::temp_directory_path() / ("workers-demand-" + std::to_string(getpid()));
  for (const char* program : {kWorker, "/bin/false"}) {
    SCOPED_TRACE(program);
    fs::remove_all(dir);
    fs::create_directories(dir);
    ImportWorkers::Options o = Options(2);
    o.program = program;
    o.start_from_messages = 4;
    std::unique_ptr<ImportWorkers> pool;
    ASSERT_TRUE(ImportWorkers::Start(o, &pool).ok());
    auto session = NewPstWriterSession(Options(1).import, nullptr, pool.get());
    PstStoreHandle* store = nullptr;
    ASSERT_TRUE(session->AddPSTStore((dir / "out.pst").string(), "Store", &store).ok());
    ASSERT_TRUE(session->AddFolder(store, "Inbox").ok());
    FakePage page;
    NoDates dates;
    int next = 0;
    // A file of `n` messages; the number of workers running after it.
    auto file = [&](int n) {
      MessagePipeline pipeline(page, session.get(), dates, n);
      for (int i = 0; i < n; ++i, ++next) {
        MessageJob job;
        job.text = Message(next);
        job.temp_path = (dir / (std::to_string(next) + ".eml")).string();
        job.folder_path = "\\\\Store\\Inbox";
        pipeline.Submit(std::move(job), [](const Status& s, const std::string&) { EXPECT_TRUE(s.ok()) << s.ToString(); });
      }
      pipeline.Finish();
      return pool->jobs();
    };
    const bool works = program == std::string(kWorker);
    EXPECT_EQ(file(3), 0);
    EXPECT_EQ(file(4), works ? 2 : 0);
    EXPECT_EQ(file(1), works ? 2 : 0);
    EXPECT_EQ(pool->start_failure().empty(), works) << pool->start_failure();
    ASSERT_TRUE(session->Logoff().ok());
    std::string listing;
    for (int i = 0; i < next; ++i) listing += "Inbox message " + std::to_string(i) + "\n";
    EXPECT_EQ(OutsideListing((dir / "out.pst").string()), listing);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tollan
