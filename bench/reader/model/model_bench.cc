// Cost of the object model over the DBX reader: listing and reading the
// Inbox of the real store directly through the reader (baseline), through
// the early-bound interfaces and through late binding (Invoke by DISPID),
// and the cost of one property read early- and late-bound.

#include <benchmark/benchmark.h>

#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "reader/dbx/session.h"
#include "reader/model/component.h"
#include "reader/model/oe.h"
#include "reader/model/oe_folders.h"
#include "reader/model/oe_messages.h"

namespace {

using tollan::com::ComPtr;

const std::string kStore = TOLLAN_SHARED_DIR "/fixtures/real-store/";

void BM_DirectReader(benchmark::State& state) {
  for (auto _ : state) {
    dbx::DbxSession session;
    session.set_store_directory(kStore);
    dbx::DbxFolderContents contents;
    session.OpenFolder("Inbox.dbx", false, &contents);
    size_t bytes = 0;
    for (const dbx::DbxMessage& m : contents.messages) {
      dbx::DbxBody body;
      session.ReadBody(m.body_position, &body);
      bytes += body.JoinedText().size();
    }
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_DirectReader);

void BM_EarlyBound(benchmark::State& state) {
  kestrel::ThreadSession().set_store_directory(kStore);
  for (auto _ : state) {
    ComPtr<_OEFolder> folder = ComPtr<_OEFolder>::Attach(new kestrel::OEFolder());
    tollan::com::Bstr name("Inbox.dbx");
    BSTR raw = name.get();
    folder->put_FolderFile(&raw);
    LONG result = 0;
    folder->OpenFolder(nullptr, &result);
    ComPtr<_OEMessages> messages;
    folder->get_OEMessages(messages.Out());
    LONG count = 0;
    messages->get_Count(&count);
    std::u16string text;
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<_OEMessage> message;
      messages->get_Item(&i, message.Out());
      ComPtr<_OEMsgSegments> segments;
      message->get_OEMsgSegments(segments.Out());
      LONG parts = 0;
      segments->get_Count(&parts);
      for (LONG p = 1; p <= parts; ++p) {
        ComPtr<_OEMsgSegment> segment;
        tollan::com::Variant index = tollan::com::Variant::Long(p);
        segments->get_Item(index.get(), segment.Out());
        BSTR piece = nullptr;
        segment->get_msgText(&piece);
        text += tollan::com::BstrView(piece);
        SysFreeString(piece);
      }
    }
    folder->CloseFolder();
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_EarlyBound);

// Invoke of a get member by DISPID without arguments.
tollan::com::Variant Get(IDispatch* object, DISPID id, VARIANT* arg = nullptr) {
  DISPPARAMS params{arg, nullptr, arg != nullptr ? 1u : 0u, 0};
  tollan::com::Variant result;
  object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params, result.get(),
                 nullptr, nullptr);
  return result;
}

void BM_LateBound(benchmark::State& state) {
  kestrel::ThreadSession().set_store_directory(kStore);
  for (auto _ : state) {
    ComPtr<IDispatch> folder = ComPtr<IDispatch>::Attach(new kestrel::OEFolder());
    tollan::com::Variant name = tollan::com::Variant::String("Inbox.dbx");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS put_params{name.get(), &put, 1, 1};
    folder->Invoke(0x68030001, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put_params, nullptr, nullptr,
                   nullptr);
    Get(folder.get(), 0x60030010);  // OpenFolder
    tollan::com::Variant messages = Get(folder.get(), 0x68030006);
    const LONG count = Get(messages.get()->pdispVal, 0x68030000).get()->lVal;
    std::u16string text;
    for (LONG i = 1; i <= count; ++i) {
      tollan::com::Variant index = tollan::com::Variant::Long(i);
      tollan::com::Variant message = Get(messages.get()->pdispVal, 0, index.get());
      tollan::com::Variant segments = Get(message.get()->pdispVal, 0x6803001A);
      const LONG parts = Get(segments.get()->pdispVal, 0x68030002).get()->lVal;
      for (LONG p = 1; p <= parts; ++p) {
        tollan::com::Variant position = tollan::com::Variant::Long(p);
        tollan::com::Variant segment = Get(segments.get()->pdispVal, 0, position.get());
        text += tollan::com::BstrView(Get(segment.get()->pdispVal, 0x68030000).get()->bstrVal);
      }
    }
    Get(folder.get(), 0x60030011);  // CloseFolder
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_LateBound);

void BM_PropertyEarlyBound(benchmark::State& state) {
  ComPtr<_OEFolder> folder = ComPtr<_OEFolder>::Attach(new kestrel::OEFolder());
  for (auto _ : state) {
    LONG index = 0;
    folder->get_FolderIndex(&index);
    benchmark::DoNotOptimize(index);
  }
}
BENCHMARK(BM_PropertyEarlyBound);

void BM_PropertyLateBound(benchmark::State& state) {
  ComPtr<IDispatch> folder = ComPtr<IDispatch>::Attach(new kestrel::OEFolder());
  for (auto _ : state) {
    tollan::com::Variant index = Get(folder.get(), 0x6803000A);
    benchmark::DoNotOptimize(index.get()->lVal);
  }
}
BENCHMARK(BM_PropertyLateBound);

}  // namespace
