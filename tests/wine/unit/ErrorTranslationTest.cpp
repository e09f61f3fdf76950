// Every exception becomes an HRESULT and the thread's IErrorInfo carries its description.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <new>

#include "host/win/Dispatch.h"
#include "plugin/win/ErrorTranslation.h"
#include "win/AutomationValues.h"

namespace corvane::win {
namespace {

// {5E3CE0D5-1B87-4C1B-9A39-1C8E5A4F2B11}, an interface to report against.
constexpr IID kSomeInterface = {
    0x5e3ce0d5, 0x1b87, 0x4c1b, {0x9a, 0x39, 0x1c, 0x8e, 0x5a, 0x4f, 0x2b, 0x11}};

struct Reported {
  HRESULT hr;
  std::wstring description;
  std::wstring source;
  GUID guid;
};

template <typename Exception>
Reported Report(const Exception& exception) {
  SetErrorInfo(0, nullptr);
  Reported reported{};
  reported.hr = CallAtComBoundary(kSomeInterface, [&] { throw exception; });
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
  if (info) {
    Bstr text;
    info->GetDescription(text.Receive());
    reported.description = text.View();
    info->GetSource(text.Receive());
    reported.source = text.View();
    info->GetGUID(&reported.guid);
  }
  return reported;
}

TEST(ErrorTranslation, ABodyThatThrowsNothingReturnsItsOwnResult) {
  EXPECT_EQ(CallAtComBoundary(kSomeInterface, [] {}), S_OK);
  EXPECT_EQ(CallAtComBoundary(kSomeInterface, [] { return S_FALSE; }), S_FALSE);
}

TEST(ErrorTranslation, EachArithmeticFailureKindHasItsAutomationCode) {
  const struct {
    FailureKind kind;
    HRESULT hr;
  } cases[] = {{FailureKind::Overflow, DISP_E_OVERFLOW},
               {FailureKind::DivisionByZero, DISP_E_DIVBYZERO},
               {FailureKind::SubscriptOutOfRange, DISP_E_BADINDEX},
               {FailureKind::TypeMismatch, DISP_E_TYPEMISMATCH}};
  for (const auto& c : cases) {
    const Reported reported = Report(RunFailure(c.kind, "what went wrong"));
    EXPECT_EQ(reported.hr, c.hr);
    EXPECT_EQ(reported.description, L"what went wrong");
    EXPECT_EQ(reported.source, L"Corvane");
    EXPECT_TRUE(IsEqualGUID(reported.guid, kSomeInterface));
  }
}

TEST(ErrorTranslation, HostFileAndWindowFailuresKeepTheirOwnCode) {
  const Reported host =
      Report(RunFailure(FailureKind::Host, "Camera error", static_cast<std::int32_t>(0x80040202)));
  EXPECT_EQ(host.hr, static_cast<HRESULT>(0x80040202));
  EXPECT_EQ(host.description, L"Camera error");

  const Reported file = Report(RunFailure(FailureKind::File, "Disk full",
                                          static_cast<std::int32_t>(HRESULT_FROM_WIN32(112))));
  EXPECT_EQ(file.hr, HRESULT_FROM_WIN32(112));

  const Reported window = Report(RunFailure(FailureKind::Window, "The window cannot be shown",
                                            static_cast<std::int32_t>(HRESULT_FROM_WIN32(1400))));
  EXPECT_EQ(window.hr, HRESULT_FROM_WIN32(1400));

  // A failure that carries no failure code still fails.
  EXPECT_EQ(Report(RunFailure(FailureKind::Host, "no code", 0)).hr, E_FAIL);
}

TEST(ErrorTranslation, OtherExceptionsFailToo) {
  EXPECT_EQ(Report(ComFailure(TYPE_E_CANTLOADLIBRARY, "no library")).hr, TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(Report(std::bad_alloc()).hr, E_OUTOFMEMORY);
  const Reported other = Report(std::runtime_error("something else"));
  EXPECT_EQ(other.hr, E_FAIL);
  EXPECT_EQ(other.description, L"something else");
  EXPECT_EQ(Report(42).hr, E_UNEXPECTED);
}

// "What failed: why", never a bare colon: where the system has no text for the code (under Wine
// for CO_E_CLASSSTRING; anywhere for a code of no facility's), the code in hex says why.
TEST(ErrorTranslation, EveryFailureDescriptionSaysWhy) {
  const std::string what = "Cannot create MaxIm.Application";
  for (const HRESULT hr : {CO_E_CLASSSTRING, E_OUTOFMEMORY, static_cast<HRESULT>(0x8004F00D)}) {
    SCOPED_TRACE(hr);
    try {
      ThrowIfFailed(hr, what.c_str());
      FAIL() << "no ComFailure";
    } catch (const ComFailure& failure) {
      const std::string description = failure.what();
      ASSERT_EQ(description.rfind(what + ": ", 0), 0u) << description;
      const std::string why = description.substr(what.size() + 2);
      EXPECT_FALSE(why.empty());
      EXPECT_NE(why.back(), ':');
      EXPECT_NE(why.back(), ' ');
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(hr));
      if (SystemText(hr).empty()) {
        EXPECT_EQ(why, std::string("error ") + hex);
      }
    }
  }
  EXPECT_EQ(FailureDescription("The guide log c:\\Corvane.csv cannot be written",
                               static_cast<HRESULT>(0x8004F00D)),
            "The guide log c:\\Corvane.csv cannot be written: error 0x8004F00D");
}

TEST(ErrorTranslation, DescriptionsAreUtf8) {
  EXPECT_EQ(Report(RunFailure(FailureKind::Host, "K\xc3\xa4mera", 0)).description, L"K\u00e4mera");
}

}  // namespace
}  // namespace corvane::win
