// ConversionPage: what the batch driver and the conversion engine need of the
// page they run on: the option buttons and the check box, the output folder
// choice, the two progress bars, captions, message boxes and the yield to the
// user interface. The wizard's Qt pages, the command-line converter and the
// tests each implement it, so the driver and the engine run unchanged under
// all three.
#ifndef TOLLAN_CONVERTER_ENGINE_CONVERSION_PAGE_H_
#define TOLLAN_CONVERTER_ENGINE_CONVERSION_PAGE_H_

#include <string>

namespace tollan {

enum class MsgIcon { kNone, kCritical, kQuestion, kExclamation, kInformation };
enum class MsgButtons { kOk, kYesNo };
enum class MsgAnswer { kOk, kYes, kNo };

// The title of message boxes that name none.
inline constexpr const char* kAppTitle = "Tollan";

// Controls whose caption or enabled state the driver and the engine set.
enum class PageControl {
  kCmdExtractDBX,      // the Convert button
  kFrameConversion,    // frame around the progress display; caption = file counter
  kLblCurrentDBX,      // names the file being converted
  kLblProgessCurrent,  // per-file progress text
  kFrame1,             // frame around the output options (default-store page)
};

enum class ProgressBarId { kProgressBar1, kProgressBar2 };

class ConversionPage {
 public:
  virtual ~ConversionPage() = default;

  // The output mode as the user has it selected now.
  virtual bool OptOnePST() = 0;
  virtual bool OptEachPST() = 0;
  // True while "Skip Deleted Items" is checked.
  virtual bool ChkDeletedItems() = 0;

  // Asks for a folder under `title`; the empty text when cancelled.
  virtual std::string BrowseForFolder(const std::string& title) = 0;

  // Shows a message box and returns the button pressed.
  virtual MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                           const std::string& title) = 0;

  // Lets the user interface repaint and handle input.
  virtual void DoEvents() = 0;

  virtual void SetProgressRange(ProgressBarId bar, int min, int max) = 0;
  virtual void SetProgressValue(ProgressBarId bar, float value) = 0;
  virtual float ProgressValue(ProgressBarId bar) = 0;

  virtual void SetCaption(PageControl control, const std::string& text) = 0;
  virtual void SetEnabled(PageControl control, bool enabled) = 0;

  // Hourglass pointer on or off.
  virtual void SetBusyPointer(bool busy) = 0;

  // Locks (true) or unlocks the controls a run must not be disturbed by:
  // the option buttons, the check box, Back and Exit.
  virtual void SetRunLock(bool locked) = 0;

  // True once the user has asked a run to stop (Ctrl-C, SIGTERM, the window
  // closing). The engine finishes the messages in hand, closes the .pst
  // into a complete file and returns; the driver then ends the run.
  virtual bool Cancelled() { return false; }
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_CONVERSION_PAGE_H_
