// Drawing the conversion progress and message boxes on a terminal.
#include "tools/tollan-cli/terminal_page.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/os/process.h"

namespace tollan {

namespace {

volatile sig_atomic_t g_stop_requested = 0;


std::string Bar(float percent, int width) {
  int filled = static_cast<int>(std::lround(std::clamp(percent, 0.0f, 100.0f) / 100.0f * width));
  return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

std::string Duration(double seconds) {
  if (!(seconds >= 0) || seconds > 360000) return "--:--";
  long s = std::lround(seconds);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

std::string WithoutCr(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out.push_back(c);
  }
  return out;
}

const char* IconName(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::kCritical: return "error";
    case MsgIcon::kExclamation: return "warning";
    case MsgIcon::kInformation: return "info";
    case MsgIcon::kQuestion: return "question";
    case MsgIcon::kNone: break;
  }
  return "message";
}

}  // namespace

void TerminalPage::CatchInterrupts() {
  os::CatchInterrupts([] { g_stop_requested = 1; });
}

bool TerminalPage::Cancelled() {
  if (g_stop_requested && !stop_noted_) {
    stop_noted_ = true;
    EndProgress();
    std::fprintf(out_, "Stopping: the messages in hand are finished and the .pst files closed...\n");
    std::fflush(out_);
  }
  return g_stop_requested != 0;
}

TerminalPage::TerminalPage(Options options, std::FILE* out, std::FILE* progress)
    : options_(std::move(options)), out_(out), progress_(progress) {}

std::string TerminalPage::BrowseForFolder(const std::string&) { return options_.output_folder; }

MsgAnswer TerminalPage::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                               const std::string& title) {
  EndProgress();
  ++boxes_shown_;
  const bool problem = icon == MsgIcon::kCritical || icon == MsgIcon::kExclamation;
  if (options_.quiet && !problem) {
    return buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
  }
  std::fprintf(out_, "[%s] %s: %s\n", IconName(icon), title.c_str(), WithoutCr(text).c_str());
  std::fflush(out_);
  return buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
}

void TerminalPage::SetProgressValue(ProgressBarId bar, float value) {
  bars_[bar == ProgressBarId::kProgressBar1 ? 0 : 1] = value;
  Draw(bar == ProgressBarId::kProgressBar1);
}

float TerminalPage::ProgressValue(ProgressBarId bar) {
  return bars_[bar == ProgressBarId::kProgressBar1 ? 0 : 1];
}

void TerminalPage::SetCaption(PageControl control, const std::string& text) {
  switch (control) {
    case PageControl::kLblCurrentDBX:
      file_caption_ = text;
      file_start_ = std::chrono::steady_clock::now();
      bars_[1] = 0;
      message_caption_.clear();
      if (!options_.interactive && !options_.quiet) std::fprintf(progress_, "%s\n", text.c_str());
      Draw(true);
      break;
    case PageControl::kFrameConversion: frame_caption_ = text; break;
    case PageControl::kLblProgessCurrent:
      message_caption_ = text;
      ++messages_;
      break;
    default: break;
  }
}

void TerminalPage::Draw(bool force) {
  if (!options_.interactive || options_.quiet) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  double elapsed = std::chrono::duration<double>(now - start_).count();
  double file_elapsed = std::chrono::duration<double>(now - file_start_).count();
  double eta = bars_[0] > 0 ? elapsed * (100.0 - bars_[0]) / bars_[0] : -1;
  double file_eta = bars_[1] > 0 ? file_elapsed * (100.0 - bars_[1]) / bars_[1] : -1;
  if (drawn_) std::fprintf(progress_, "\x1b[2A");
  double rate = elapsed > 0 ? static_cast<double>(messages_) / elapsed : 0;
  std::fprintf(progress_, "\r\x1b[2KOverall %s %5.1f%%  %s  %lld msgs, %.0f msgs/s  elapsed %s  left %s\n",
               Bar(bars_[0], 30).c_str(), bars_[0], frame_caption_.c_str(),
               static_cast<long long>(messages_), rate, Duration(elapsed).c_str(),
               Duration(eta).c_str());
  std::fprintf(progress_, "\r\x1b[2KFile    %s %5.1f%%  %s  left %s\n", Bar(bars_[1], 30).c_str(),
               bars_[1], message_caption_.c_str(), Duration(file_eta).c_str());
  std::fflush(progress_);
  drawn_ = true;
}

void TerminalPage::EndProgress() {
  if (!drawn_) return;
  Draw(true);
  drawn_ = false;
}

}  // namespace tollan
