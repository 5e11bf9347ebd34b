// The per-message conversion pipeline.
#include "converter/engine/message_pipeline.h"

#include <memory>

#include "converter/engine/temp_file.h"

namespace tollan {

Status ConvertMessage(ConversionPage& page, PstSession& session, MessageDateReader& dates,
                      const MessageJob& job) {
  TempEmlFile file;
  Status s = file.Create(job.temp_path, job.text);
  page.DoEvents();
  if (!s.ok()) return s;

  std::optional<uint64_t> date = dates.MessageDate(file.path());
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
  s = item->Import(file.path());
  page.DoEvents();
  if (!s.ok()) return s;

  int32_t flags = (job.read ? kMsgFlagRead : 0) | (item->HasAttachments() ? kMsgFlagHasAttach : 0);
  s = item->SetLong(kTagMessageFlags, flags);
  if (s.ok() && date) s = item->SetTime(kTagClientSubmitTime, *date);
  if (s.ok() && date) s = item->SetTime(kTagMessageDeliveryTime, *date);
  if (!s.ok()) return s;
  page.DoEvents();

  s = item->Save();
  item.reset();
  Status removed = file.Remove();
  page.DoEvents();
  (void)removed;  // a file that cannot be deleted does not undo the saved item
  return s;
}

}  // namespace tollan
