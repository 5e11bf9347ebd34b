// TerminalPage: the conversion page of the command-line converter. Message
// boxes are printed (and answered with OK / Yes), the output folder is the
// one given on the command line, and the two progress bars are drawn on the
// terminal with counts, rates and an estimate of the time left.
#ifndef TOLLAN_TOOLS_TOLLAN_CLI_TERMINAL_PAGE_H_
#define TOLLAN_TOOLS_TOLLAN_CLI_TERMINAL_PAGE_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "converter/engine/conversion_page.h"

namespace tollan {

class TerminalPage : public ConversionPage {
 public:
  struct Options {
    bool one_pst = false;
    bool each_pst = false;
    bool skip_deleted = true;
    std::string output_folder;
    // Redraw the bars in place (a terminal); otherwise print a line per file.
    bool interactive = false;
    // No progress and no informational boxes; warnings and errors still show.
    bool quiet = false;
  };

  TerminalPage(Options options, std::FILE* out, std::FILE* progress);

  bool OptOnePST() override { return options_.one_pst; }
  bool OptEachPST() override { return options_.each_pst; }
  bool ChkDeletedItems() override { return options_.skip_deleted; }
  std::string BrowseForFolder(const std::string& title) override;
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override;
  void DoEvents() override {}
  void SetProgressRange(ProgressBarId, int, int) override {}
  void SetProgressValue(ProgressBarId bar, float value) override;
  float ProgressValue(ProgressBarId bar) override;
  void SetCaption(PageControl control, const std::string& text) override;
  void SetEnabled(PageControl, bool) override {}
  void SetBusyPointer(bool) override {}
  void SetRunLock(bool) override {}
  bool Cancelled() override;

  // Makes an interrupt (os::CatchInterrupts: SIGINT, SIGTERM, SIGHUP, a Windows
  // console's Ctrl-C or close) ask the run to stop (Cancelled() becomes
  // true) instead of ending the process; a second one ends it at once.
  // Output to a closed pipe is lost rather than ending the run.
  static void CatchInterrupts();

  // Clears the progress lines before other output.
  void EndProgress();

  int boxes_shown() const { return boxes_shown_; }

 private:
  void Draw(bool force);

  Options options_;
  std::FILE* out_;
  std::FILE* progress_;
  float bars_[2] = {0, 0};
  std::string file_caption_;
  std::string frame_caption_;
  std::string message_caption_;
  int boxes_shown_ = 0;
  int64_t messages_ = 0;  // messages converted in this run
  bool drawn_ = false;
  bool stop_noted_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point file_start_ = start_;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace tollan

#endif  // TOLLAN_TOOLS_TOLLAN_CLI_TERMINAL_PAGE_H_
