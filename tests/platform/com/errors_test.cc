// Error numbers, their HRESULTs and the per-thread error object.

#include <thread>

#include <gtest/gtest.h>

#include "platform/com/automation.h"
#include "platform/com/errors.h"

namespace tollan::com {
namespace {

TEST(ErrorsTest, NumbersMapToControlFacilityCodes) {
  EXPECT_EQ(static_cast<unsigned>(HresultFromErrorNumber(5)), 0x800A0005u);
  EXPECT_EQ(static_cast<unsigned>(HresultFromErrorNumber(457)), 0x800A01C9u);
  for (int n : {5, 6, 9, 13, 70, 457}) {
    EXPECT_EQ(ErrorNumberFromHresult(HresultFromErrorNumber(n)), n);
  }
  EXPECT_EQ(ErrorNumberFromHresult(DISP_E_TYPEMISMATCH), 13);
  EXPECT_EQ(ErrorNumberFromHresult(DISP_E_BADINDEX), 9);
  EXPECT_EQ(ErrorNumberFromHresult(S_OK), 0);
  EXPECT_EQ(StandardErrorText(9), "Subscript out of range");
}

TEST(ErrorsTest, RaiseLeavesOneErrorObjectPerThread) {
  const HRESULT hr = RaiseError(457, "OEIdentities.Add", "key \"bob\"");
  EXPECT_EQ(ErrorNumberFromHresult(hr), 457);

  // Another thread has its own (empty) slot.
  std::thread other([] {
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);
  });
  other.join();

  const ErrorRecord record = TakeError(hr);
  EXPECT_EQ(record.number, 457);
  EXPECT_EQ(record.source, "OEIdentities.Add");
  EXPECT_EQ(record.description,
            "This key is already associated with an element of this collection: key \"bob\"");
  // Taking clears it.
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST(ErrorsTest, ExcepInfoCarriesNumberAndDescription) {
  const HRESULT hr = RaiseError(9, "OEMsgSegments.Item");
  EXCEPINFO info{};
  FillExcepInfo(hr, &info);
  EXPECT_EQ(info.scode, hr);
  EXPECT_EQ(Utf8FromBstr(info.bstrSource), "OEMsgSegments.Item");
  EXPECT_EQ(Utf8FromBstr(info.bstrDescription), "Subscript out of range");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

}  // namespace
}  // namespace tollan::com
