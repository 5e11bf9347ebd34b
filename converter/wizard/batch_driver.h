// BatchDriver: what the Convert button of a conversion page runs. It checks
// that an output mode is chosen, asks for the output folder, makes the single
// .pst when all files go into one, walks the chosen .dbx files in order, hands
// each convertible file to the conversion engine, moves the overall progress,
// closes the session and tells the user how to open the result.
//
// The two pages differ in where the files come from and in a few names and
// steps; a BatchSource supplies those differences.
#ifndef TOLLAN_CONVERTER_WIZARD_BATCH_DRIVER_H_
#define TOLLAN_CONVERTER_WIZARD_BATCH_DRIVER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/engine/page_state.h"
#include "converter/engine/pst_session.h"
#include "converter/wizard/folder_tree.h"

namespace tollan {

class BatchSource {
 public:
  virtual ~BatchSource() = default;

  // File-name and display-name prefixes of the single .pst.
  virtual std::string SinglePstFilePrefix() const = 0;
  virtual std::string SinglePstDisplayPrefix() const = 0;

  // True when failures after the single .pst is made end the run (file-list
  // page); false when they only skip the failing step (default-store page).
  virtual bool FailuresEndRun() const = 0;

  // True when there is nothing at all to walk (an empty file list).
  virtual bool IsEmpty() = 0;

  // Runs before the walk, after the single .pst is made. The default-store
  // source opens the store here and reports a failure itself. False ends the
  // run.
  virtual bool Prepare(ConversionPage& page, PageState& state) = 0;

  // The number of entries to walk (read again at each use).
  virtual int32_t Count() = 0;

  // Single-file mode, a source of several stores: true when entry k (k > 1)
  // begins a store that gets a .pst of its own. The driver then completes
  // the current .pst and makes the next, named by the prefixes above.
  virtual bool StartsNewPst(int32_t /*k*/) { return false; }

  // Single-file mode: the top-level .pst folder that entry k's folder goes
  // below ("" for none).
  virtual std::string FolderParent(int32_t /*k*/) { return ""; }

  // Selects entry k (1-based), yields and forms its path. False passes the
  // entry over completely (it still counts in k and Count).
  virtual bool EntryPath(int32_t k, std::string* dbx_path) = 0;

  // Converts one file with the engine; the engine records its outcome in
  // state.report.files.back().
  virtual void Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
                       PageState& state) = 0;

  // Runs after the last entry (pointer reset, reader release).
  virtual void Finish(ConversionPage& page, PageState& state) = 0;
};

class BatchDriver {
 public:
  using SessionFactory = std::function<std::unique_ptr<PstSession>()>;
  using Clock = std::function<std::string()>;

  // `timestamp` gives the "d.m.YY H.m.ss" stamp of names (the local clock by
  // default).
  BatchDriver(ConversionPage* page, BatchSource* source, SessionFactory sessions,
              Clock timestamp = nullptr);

  // One click on Convert.
  void Run(PageState* state);

 private:
  bool StartSinglePst(PageState* state);
  void EndSinglePst(PageState* state);
  bool WalkEntry(int32_t k, PageState* state);
  std::string FreeFolderName(PageState* state, const std::string& name);
  // Writes the run's report where state->ReportPath says (report_file.h).
  void WriteReport(PageState* state);
  // The closing box of a run that did not go cleanly: what failed and where
  // the report is.
  void ReportFailures(const PageState& state);

  ConversionPage* page_;
  BatchSource* source_;
  SessionFactory sessions_;
  Clock timestamp_;
  // With state->KeepFolderTree: the display paths, and the .pst folders made
  // for a file in this run (lower case).
  FolderTree tree_;
  std::set<std::string> filled_folders_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_BATCH_DRIVER_H_
