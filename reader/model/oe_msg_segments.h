// OEMsgSegment and OEMsgSegments: a message body as the 512-byte blocks it
// is stored in, each block's used text as one segment, in chain order.

#ifndef TOLLAN_READER_MODEL_OE_MSG_SEGMENTS_H_
#define TOLLAN_READER_MODEL_OE_MSG_SEGMENTS_H_

#include <string>
#include <vector>

#include "reader/model/interfaces.h"
#include "reader/model/object_base.h"

namespace kestrel {

class OEMsgSegment final : public DispatchObject<_OEMsgSegment> {
 public:
  OEMsgSegment(std::u16string text, SHORT length);

  HRESULT COMCALL get_Key(BSTR* result) override;
  HRESULT COMCALL put_Key(BSTR value) override;
  HRESULT COMCALL get_msgSegmentLen(SHORT* result) override;
  HRESULT COMCALL get_msgText(BSTR* result) override;

 private:
  ~OEMsgSegment() override = default;
  std::u16string key_;  // free for the client; left empty by the component
  std::u16string text_;
  SHORT length_;
};

class OEMsgSegments final : public DispatchObject<_OEMsgSegments> {
 public:
  OEMsgSegments();

  // Appends a segment; text holds ANSI bytes, zero bytes included.
  void AddSegment(const std::string& text, SHORT length);

  HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEMsgSegment** result) override;
  HRESULT COMCALL get_Count(LONG* result) override;
  HRESULT COMCALL get_NewEnum(IUnknown** result) override;

 private:
  ~OEMsgSegments() override;
  std::vector<OEMsgSegment*> items_;  // owned references
};

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OE_MSG_SEGMENTS_H_
