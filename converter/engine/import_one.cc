// The import of one message, as a worker process or the converter itself
// does it.
#include "converter/engine/import_one.h"

#include <exception>
#include <new>
#include <span>

#include "converter/engine/message_date.h"

namespace tollan {

using pst::Status;

namespace {

// The import of `bytes`, or of `shared` when given (the same text).
wire::ImportAnswer Import(uint64_t ticket, std::string_view message, std::shared_ptr<const std::string> shared,
                          const mail::ImportOptions& options) {
  wire::ImportAnswer a;
  a.ticket = ticket;
  mail::ImportReport report;
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  try {
    a.status = shared ? mail::ImportMessage(std::move(shared), options, &a.content, &report)
                      : mail::ImportMessage(bytes, options, &a.content, &report);
  } catch (const std::bad_alloc&) {
    a.status = Status::TooLarge("not enough memory to import the message (" + std::to_string(message.size()) +
                                " bytes)");
  } catch (const std::exception& e) {
    a.status = Status::Corrupt(std::string("the import failed: ") + e.what());
  }
  if (!a.status.ok()) a.content = pst::MessageContent();
  a.clean = report.clean();
  a.original_attached = report.original_attached;
  if (a.status.ok()) a.kept_original = KeptOriginalText(report);
  if (auto seconds = MessageDateFromHeaders(message)) a.date = UnixToFiletime(*seconds);
  return a;
}

}  // namespace

std::string KeptOriginalText(const mail::ImportReport& report) {
  if (!report.original_attached) return std::string();
  std::string text;
  for (const std::string& u : report.unmapped) text += (text.empty() ? "" : "; ") + u;
  return text.empty() ? "could not be mapped fully" : text;
}

wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::string_view message, const mail::ImportOptions& options) {
  return Import(ticket, message, nullptr, options);
}

wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::shared_ptr<const std::string> message,
                                    const mail::ImportOptions& options) {
  const std::string_view text = message ? std::string_view(*message) : std::string_view();
  return Import(ticket, text, std::move(message), options);
}

}  // namespace tollan
