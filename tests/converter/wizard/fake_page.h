// A scripted conversion page for driver and engine tests: options and answers
// are set by the test, and every visible effect is logged in order.
#ifndef TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_PAGE_H_
#define TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_PAGE_H_

#include <deque>
#include <string>
#include <vector>

#include "converter/engine/conversion_page.h"

namespace tollan {

class FakePage : public ConversionPage {
 public:
  struct Box {
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
    std::string title;
  };

  bool one_pst = false;
  bool each_pst = false;
  bool skip_deleted = true;
  std::string folder_answer;
  std::deque<MsgAnswer> answers;

  std::vector<Box> boxes;
  std::vector<std::string> browse_titles;
  std::vector<float> bar1_values;
  std::vector<float> bar2_values;
  std::vector<std::string> frame_captions;
  std::vector<std::string> file_captions;
  std::vector<std::string> progress_captions;
  bool convert_enabled = true;
  bool frame1_enabled = true;
  bool locked = false;
  bool cancelled = false;  // what Cancelled() answers
  int lock_changes = 0;
  int yields = 0;
  float bar[2] = {0, 0};

  bool OptOnePST() override { return one_pst; }
  bool OptEachPST() override { return each_pst; }
  bool ChkDeletedItems() override { return skip_deleted; }
  std::string BrowseForFolder(const std::string& title) override {
    browse_titles.push_back(title);
    return folder_answer;
  }
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override {
    boxes.push_back({text, buttons, icon, title});
    if (answers.empty()) return buttons == MsgButtons::kOk ? MsgAnswer::kOk : MsgAnswer::kNo;
    MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void DoEvents() override { ++yields; }
  void SetProgressRange(ProgressBarId, int, int) override {}
  void SetProgressValue(ProgressBarId id, float value) override {
    bar[id == ProgressBarId::kProgressBar1 ? 0 : 1] = value;
    (id == ProgressBarId::kProgressBar1 ? bar1_values : bar2_values).push_back(value);
  }
  float ProgressValue(ProgressBarId id) override {
    return bar[id == ProgressBarId::kProgressBar1 ? 0 : 1];
  }
  void SetCaption(PageControl control, const std::string& text) override {
    switch (control) {
      case PageControl::kFrameConversion: frame_captions.push_back(text); break;
      case PageControl::kLblCurrentDBX: file_captions.push_back(text); break;
      case PageControl::kLblProgessCurrent: progress_captions.push_back(text); break;
      default: break;
    }
  }
  void SetEnabled(PageControl control, bool enabled) override {
    if (control == PageControl::kCmdExtractDBX) convert_enabled = enabled;
    if (control == PageControl::kFrame1) frame1_enabled = enabled;
  }
  void SetBusyPointer(bool) override {}
  bool Cancelled() override { return cancelled; }
  void SetRunLock(bool l) override {
    locked = l;
    ++lock_changes;
  }
};

}  // namespace tollan

#endif  // TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_PAGE_H_
