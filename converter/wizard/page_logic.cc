// The shared logic of the wizard's pages.
#include "converter/wizard/page_logic.h"

#include <cstdio>

#include "converter/engine/import_workers.h"
#include "converter/engine/pst_writer_session.h"
#include "converter/wizard/identity_stores.h"
#include "converter/wizard/page_texts.h"

namespace tollan {

const char* StartExplanation(StartChoice choice) {
  return choice == StartChoice::kChosenFiles ? kChosenFilesExplanation : kDefaultStoreExplanation;
}

StartChoice NextPage(bool default_store_checked, bool chosen_files_checked, const AskFn& ask) {
  if (default_store_checked) return StartChoice::kDefaultStore;
  if (chosen_files_checked) return StartChoice::kChosenFiles;
  ask(kSelectAnOptionText, MsgButtons::kOk, MsgIcon::kNone, kAppTitle);
  return StartChoice::kNone;
}

bool ConfirmExit(const AskFn& ask) {
  return ask(kExitQuestion, MsgButtons::kYesNo, MsgIcon::kQuestion, kAppTitle) == MsgAnswer::kYes;
}

void OutputOptionChosen(ConversionPage* page) {
  page->SetEnabled(PageControl::kCmdExtractDBX, true);
  page->SetProgressRange(ProgressBarId::kProgressBar1, 0, 100);
  page->SetProgressRange(ProgressBarId::kProgressBar2, 0, 100);
}

ConversionOptions OptionsOf(const PageState& state) {
  ConversionOptions o;
  o.keep_folder_tree = state.KeepFolderTree;
  o.recover = state.Recover;
  o.verify = state.Verify;
  o.convert_outbox = state.ConvertOutbox;
  o.report_path = state.ReportPath;
  o.max_pst_mb = static_cast<int>(state.MaxPstBytes >> 20);
  return o;
}

void ApplyOptions(const ConversionOptions& chosen, PageState* state) {
  state->KeepFolderTree = chosen.keep_folder_tree;
  state->Recover = chosen.recover;
  state->Verify = chosen.verify;
  state->ConvertOutbox = chosen.convert_outbox;
  state->ReportPath = chosen.report_path;
  state->MaxPstBytes = static_cast<uint64_t>(chosen.max_pst_mb) << 20;
}

void OfferIdentities(const std::string& identity, ConversionOptions* options) {
  std::vector<IdentityStore> stores;
  std::string current, why;
  if (!ListIdentityStores(false, &stores, &current, &why) || stores.empty()) return;
  for (const IdentityStore& s : stores) options->identities.push_back(s.name);
  options->identity = identity.empty() ? current : identity;
}

PageRun::PageRun() = default;
PageRun::~PageRun() = default;

bool PageRun::Run(ConversionPage* page, const PageState& state,
                  const std::function<void(const EngineEnv& env)>& convert) {
  if (running_) return false;
  running_ = true;
  cancel_requested_ = false;
  // Locked from the click on: the driver yields (after the folder choice)
  // before it takes its own lock.
  page->SetRunLock(true);
  const int jobs = DefaultImportJobs();
  if (jobs > 1) {
    ImportWorkers::Options options;
    options.jobs = jobs;
    options.start_from_messages = ImportWorkers::kPaysFromMessages;
    Status s = ImportWorkers::Start(options, &workers_);
    if (!s.ok()) {
      // Slower, but every message is still imported.
      std::fprintf(stderr, "tollan: importing in this process only: %s\n", s.message().c_str());
      workers_.reset();
    }
  }
  EngineEnv env;
  ImportWorkers* workers = workers_.get();
  const bool verify = state.Verify;
  const uint64_t max_pst_bytes = state.MaxPstBytes;
  env.sessions = [workers, verify, max_pst_bytes] {
    return NewPstWriterSession(mail::ImportOptions(), nullptr, workers, verify, max_pst_bytes);
  };
  convert(env);
  if (workers_ && !workers_->start_failure().empty()) {
    std::fprintf(stderr, "tollan: imported in this process only: %s\n", workers_->start_failure().c_str());
  }
  workers_.reset();
  page->SetRunLock(false);
  running_ = false;
  return cancel_requested_;
}

bool PageRun::MayClose() {
  if (!running_) return true;
  cancel_requested_ = true;
  return false;
}

}  // namespace tollan
