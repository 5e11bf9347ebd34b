// The logic of the wizard's pages that is not drawing, shared by every front
// end (the Qt pages, the Windows pages): the start page's choice, the rules
// of the conversion pages (what an output option enables, what Convert runs
// and locks, what closing during a run does) and the options dialog's
// choices. A front end draws the controls and calls these on their events.
//
// Typical use in a conversion page:
//   void Page::OnOption()  { OutputOptionChosen(this); }
//   void Page::OnConvert() { if (run_.Run(this, state_, [&](const EngineEnv& env) { ... })) Close(); }
//   void Page::OnClose()   { if (run_.MayClose()) Close(); }
#ifndef TOLLAN_CONVERTER_WIZARD_PAGE_LOGIC_H_
#define TOLLAN_CONVERTER_WIZARD_PAGE_LOGIC_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "converter/engine/conversion_page.h"
#include "converter/engine/engine.h"
#include "converter/engine/page_state.h"

namespace tollan {

class ImportWorkers;

// A message box of the page asking (text, buttons, icon, title); the button
// pressed.
using AskFn = std::function<MsgAnswer(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                      const std::string& title)>;

// The start page.
enum class StartChoice { kNone, kDefaultStore, kChosenFiles };

// The explanation under " Quick Help " for `choice` (CR LF line ends).
const char* StartExplanation(StartChoice choice);

// Next on the start page: the page to open, or kNone after asking the user
// to select an option.
StartChoice NextPage(bool default_store_checked, bool chosen_files_checked, const AskFn& ask);

// The Yes/No exit question of every page; true on Yes.
bool ConfirmExit(const AskFn& ask);

// A click on OptOnePST or OptEachPST: Convert enabled, both bars 0 to 100.
void OutputOptionChosen(ConversionPage* page);

// What the options dialog shows and returns.
struct ConversionOptions {
  bool keep_folder_tree = false;
  bool recover = false;
  bool verify = false;
  bool convert_outbox = false;
  std::string report_path;  // "" for beside the .pst files
  int max_pst_mb = 0;       // the size limit of a .pst in MB (1024 KB); 0 for none
  // The identities to choose from (none: no choice shown) and the chosen one.
  std::vector<std::string> identities;
  std::string identity;
};

// The page's current choices, for the dialog.
ConversionOptions OptionsOf(const PageState& state);
// The dialog's accepted choices into the page state (the identity is the
// page's own business).
void ApplyOptions(const ConversionOptions& chosen, PageState* state);
// The default-store page's part: the identities of the registry the reader
// reads, `identity` ("" for the current one) selected. Offers nothing when
// the reader lists none.
void OfferIdentities(const std::string& identity, ConversionOptions* options);

// One conversion page's runs: a click on Convert runs at most one at a time,
// with the page locked, and a window closed during a run closes once every
// .pst of the run is complete.
class PageRun {
 public:
  PageRun();
  ~PageRun();
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  // A click on Convert: locks the page, starts import processes where they
  // pay (four cores or more; else the import stays in this process), calls
  // `convert` with the engine's environment, unlocks. A click that arrives
  // at a yield of a run in progress does nothing. True when the page was
  // asked to close during the run and should close now.
  bool Run(ConversionPage* page, const PageState& state,
           const std::function<void(const EngineEnv& env)>& convert);

  bool running() const { return running_; }

  // True once a close was asked during the run (ConversionPage::Cancelled).
  bool cancel_requested() const { return cancel_requested_; }

  // The page's window is being closed: true when it may close now; during
  // a run, false, and the run is asked to stop after the messages in hand.
  bool MayClose();

 private:
  bool running_ = false;
  bool cancel_requested_ = false;
  std::unique_ptr<ImportWorkers> workers_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_PAGE_LOGIC_H_
