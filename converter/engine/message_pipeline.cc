// The per-message conversion pipeline, run step by step or with a helper
// thread preparing the imports ahead of the saves.
#include "converter/engine/message_pipeline.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "converter/engine/import_workers.h"
#include "converter/engine/temp_file.h"

namespace tollan {

namespace {

// The steps after the import: the flags and the two dates.
Status Stamp(PstMailItem& item, bool read, const std::optional<uint64_t>& date) {
  // Like a message store, the item carries the has-attachment flag only
  // when it has attachments.
  const int32_t flags = (read ? kMsgFlagRead : 0) | (item.HasAttachments() ? kMsgFlagHasAttach : 0);
  Status s = item.SetLong(kTagMessageFlags, flags);
  if (s.ok() && date) s = item.SetTime(kTagClientSubmitTime, *date);
  if (s.ok() && date) s = item.SetTime(kTagMessageDeliveryTime, *date);
  return s;
}

}  // namespace

Status ConvertMessage(ConversionPage& page, PstSession& session, MessageDateReader& dates,
                      const MessageJob& job, std::string* kept_original) {
  TempEmlFile file;
  Status s = file.Create(job.temp_path, job.text);
  page.DoEvents();
  if (!s.ok()) return s;

  std::optional<uint64_t> date = dates.MessageDate(file.path(), job.text);
  if (!date && job.fallback_date != 0) date = job.fallback_date;
  page.DoEvents();

  PstFolderHandle* folder = nullptr;
  s = session.GetFolderFromPath(job.folder_path, &folder);
  if (!s.ok()) return s;
  std::unique_ptr<PstMailItem> item;
  s = session.AddItem(folder, &item);
  if (!s.ok()) return s;
  // A failed import leaves an empty item: it is not saved, so no blank
  // message stands in for the one that failed.
  s = item->ImportWritten(file.path(), job.text);
  page.DoEvents();
  if (!s.ok()) return s;

  s = Stamp(*item, job.read, date);
  if (!s.ok()) return s;
  page.DoEvents();

  item->SetSource(job.source_file, job.source_number);
  s = item->Save();
  if (s.ok() && kept_original) *kept_original = item->KeptOriginalReason();
  item.reset();
  Status removed = file.Remove();
  page.DoEvents();
  (void)removed;  // a file that cannot be deleted does not undo the saved item
  return s;
}

// One message on its way through the concurrent pipeline. The helper thread
// owns a slot from Submit until `prepared` is set; the calling thread after.
struct MessagePipeline::Slot {
  MessageJob job;
  Done done;
  std::unique_ptr<PstMailItem> item;
  TempEmlFile file;
  std::optional<uint64_t> date;
  Status status;
  size_t bytes = 0;       // the message's size, while it is in flight
  bool prepared = false;  // guarded by mu_
};

namespace {

ImportWorkers* WorkersFor(PstSession* session, int64_t messages) {
  ImportWorkers* workers = session != nullptr ? session->Workers() : nullptr;
  return workers != nullptr && workers->Use(messages) ? workers : nullptr;
}

}  // namespace

MessagePipeline::MessagePipeline(ConversionPage& page, PstSession* session, MessageDateReader& dates,
                                 int64_t messages)
    : page_(page),
      session_(session),
      dates_(dates),
      workers_(WorkersFor(session, messages)),
      worker_depth_(workers_ != nullptr ? std::min(workers_->Capacity(), kMaxWorkerDepth) : kDepth),
      concurrent_(session != nullptr && workers_ == nullptr && session->ImportsOffThread()) {}

MessagePipeline::~MessagePipeline() {
  Finish();
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  work_cv_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void MessagePipeline::Submit(MessageJob job, Done done) {
  if (session_ == nullptr) {
    done(Status::InvalidArgument("no .pst is open for " + job.folder_path), std::string());
    return;
  }
  if (!concurrent_ && workers_ == nullptr) {
    std::string kept;
    Status s = ConvertMessage(page_, *session_, dates_, job, &kept);
    done(s, kept);
    return;
  }

  auto slot = std::make_unique<Slot>();
  slot->job = std::move(job);
  slot->done = std::move(done);
  if (workers_ != nullptr) {
    SubmitToWorkers(std::move(slot));
    return;
  }
  // The file and the session's calls stay on this thread; the date and the
  // import go to the helper.
  Open(*slot);
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    Slot* raw = slot.get();
    if (raw->status.ok()) {
      to_prepare_.push_back(raw);
      raw->bytes = raw->job.text.size();
      inflight_bytes_ += raw->bytes;
    } else {
      raw->prepared = true;
    }
    slots_.push_back(std::move(slot));
    wake = helper_idle_ && to_prepare_.size() >= kWakeBatch;
  }
  if (wake) work_cv_.notify_one();
  if (!helper_.joinable()) helper_ = std::thread([this] { PrepareLoop(); });
  page_.DoEvents();
  CompleteReady(kDepth);
}

void MessagePipeline::Open(Slot& s) {
  // With workers, the worker writes the file (and removes it) around its
  // import, so that this thread only reads and writes the stores.
  s.status = workers_ != nullptr ? Status::Ok() : s.file.Create(s.job.temp_path, s.job.text);
  if (s.status.ok()) {
    PstFolderHandle* folder = nullptr;
    s.status = session_->GetFolderFromPath(s.job.folder_path, &folder);
    if (s.status.ok()) s.status = session_->AddItem(folder, &s.item);
  }
}

void MessagePipeline::Finish() {
  if (workers_ != nullptr) {
    DrainWorkers(0);
  } else {
    CompleteReady(0);
  }
}

void MessagePipeline::SubmitToWorkers(std::unique_ptr<Slot> slot) {
  // The session's calls as above; the worker gets the bytes and the name
  // of the temporary file.
  Slot& s = *slot;
  Open(s);
  if (s.status.ok()) {
    s.bytes = s.job.text.size();
    inflight_bytes_ += s.bytes;
    awaited_[workers_->Send(std::move(s.job.text), s.job.temp_path)] = &s;
  } else {
    s.prepared = true;
  }
  slots_.push_back(std::move(slot));
  page_.DoEvents();
  DrainWorkers(worker_depth_);
}

void MessagePipeline::DrainWorkers(size_t keep) {
  const auto complete_ready = [this] {
    while (!slots_.empty() && slots_.front()->prepared) {
      std::unique_ptr<Slot> slot = std::move(slots_.front());
      slots_.pop_front();
      inflight_bytes_ -= slot->bytes;
      Complete(std::move(slot));
    }
  };
  for (;;) {
    complete_ready();
    // A stopped run waits a moment for the messages in hand, not for a
    // worker that hangs: the pump wakes often enough to notice the stop.
    if (page_.Cancelled()) workers_->Hurry(kStopGrace);
    // Until it must wait, this thread turns to the workers only when a
    // whole batch can go; then it also takes the answers that have come.
    const bool wait = !slots_.empty() && (slots_.size() > keep || inflight_bytes_ > kMaxBytes);
    if (!wait && !workers_->BatchReady()) return;
    if (wait && workers_->Outstanding() == 0) {
      // Cannot happen while every waiting slot holds a ticket; never spin.
      for (auto& slot : slots_) {
        if (!slot->prepared) slot->status = Status::IoError("the import process lost the message");
        slot->prepared = true;
      }
      awaited_.clear();
      continue;
    }
    answers_.clear();
    workers_->Pump(wait ? kStopCheckMs : 0, &answers_);
    for (wire::ImportAnswer& a : answers_) {
      auto it = awaited_.find(a.ticket);
      if (it == awaited_.end()) continue;
      Slot& s = *it->second;
      awaited_.erase(it);
      s.date = a.date;
      if (!s.date && s.job.fallback_date != 0) s.date = s.job.fallback_date;
      s.status = s.item->TakeImported(std::move(a));
      s.prepared = true;
    }
    if (!wait) {
      // Handed over (when a worker had room): no waiting yet.
      complete_ready();
      return;
    }
  }
}

void MessagePipeline::PrepareLoop() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    helper_idle_ = true;
    work_cv_.wait(lock, [this] {
      return stop_ || to_prepare_.size() >= kWakeBatch || (caller_waiting_ && !to_prepare_.empty());
    });
    helper_idle_ = false;
    if (to_prepare_.empty()) return;  // stopped
    while (!to_prepare_.empty()) {
      Slot* slot = to_prepare_.front();
      to_prepare_.pop_front();
      lock.unlock();
      PrepareAndRelease(*slot);
      lock.lock();
      slot->prepared = true;
      if (caller_waiting_ && slots_.front()->prepared && to_prepare_.size() <= kLowWater) {
        prepared_cv_.notify_one();
      }
    }
  }
}

void MessagePipeline::PrepareAndRelease(Slot& slot) {
  slot.status = Prepare(slot);
  std::string().swap(slot.job.text);  // the item holds what it needs (Prepare took the text)
}

Status MessagePipeline::Prepare(Slot& slot) {
  // Nothing may escape the helper thread: a message too big for memory
  // fails alone, like any other failed import.
  try {
    {
      // The date reader takes one call at a time.
      std::lock_guard<std::mutex> lock(dates_mu_);
      slot.date = dates_.MessageDate(slot.file.path(), slot.job.text);
    }
    if (!slot.date && slot.job.fallback_date != 0) slot.date = slot.job.fallback_date;
    // The item may keep the text for a large attachment, read from it as
    // the item is saved; otherwise it goes with the import.
    auto text = std::make_shared<const std::string>(std::move(slot.job.text));
    return slot.item->ImportShared(slot.file.path(), std::move(text));
  } catch (const std::bad_alloc&) {
    return Status::TooLarge("not enough memory to import the message (" + std::to_string(slot.bytes) +
                            " bytes)");
  } catch (const std::exception& e) {
    return Status::Corrupt(std::string("the import failed: ") + e.what());
  }
}

void MessagePipeline::CompleteReady(size_t keep) {
  for (;;) {
    std::unique_ptr<Slot> slot;
    {
      std::unique_lock<std::mutex> lock(mu_);
      if (slots_.empty()) return;
      if (!slots_.front()->prepared) {
        if (slots_.size() <= keep && inflight_bytes_ <= kMaxBytes) return;
        if (!to_prepare_.empty()) {
          // The helper is behind: this thread imports the next message
          // itself rather than wait, so that both threads import.
          Slot* next = to_prepare_.front();
          to_prepare_.pop_front();
          lock.unlock();
          PrepareAndRelease(*next);
          lock.lock();
          next->prepared = true;
          continue;
        }
        caller_waiting_ = true;
        if (helper_idle_) work_cv_.notify_one();
        prepared_cv_.wait(lock, [this] { return slots_.front()->prepared && to_prepare_.size() <= kLowWater; });
        caller_waiting_ = false;
      }
      slot = std::move(slots_.front());
      slots_.pop_front();
      // Counted until here: a prepared item holds about as much again.
      inflight_bytes_ -= slot->bytes;
    }
    Complete(std::move(slot));
  }
}

void MessagePipeline::Complete(std::unique_ptr<Slot> slot) {
  Status s = slot->status;
  if (s.ok()) s = Stamp(*slot->item, slot->job.read, slot->date);
  if (s.ok()) {
    slot->item->SetSource(slot->job.source_file, slot->job.source_number);
    s = slot->item->Save();
  }
  std::string kept;
  if (s.ok()) kept = slot->item->KeptOriginalReason();
  slot->item.reset();
  Status removed = slot->file.Remove();
  (void)removed;  // a file that cannot be deleted does not undo the saved item
  page_.DoEvents();
  slot->done(s, kept);
}

}  // namespace tollan
