// Control identifiers of the two dialog windows, for code that drives them by message (the test
// host's driver). Both windows have the class "#32770"; find them by caption.
#pragma once

namespace corvane::dialog_ids {

inline constexpr const wchar_t* kInitialExposureCaption = L"Initial Exposure";
inline constexpr const wchar_t* kGuideSetupCaption = L"Guide star setup";

// OK and Cancel are the standard IDOK (1) and IDCANCEL (2) in both windows.
inline constexpr int kOK = 1;
inline constexpr int kCancel = 2;

// Text boxes: Number1..Number7 (the "Initial Exposure" window has only Number1).
inline constexpr int kNumber1 = 101;
inline constexpr int kNumber2 = 102;
inline constexpr int kNumber3 = 103;
inline constexpr int kNumber4 = 104;
inline constexpr int kNumber5 = 105;
inline constexpr int kNumber6 = 106;
inline constexpr int kNumber7 = 107;

// Labels: Label1..Label7.
inline constexpr int kLabel1 = 201;
inline constexpr int kLabel2 = 202;
inline constexpr int kLabel3 = 203;
inline constexpr int kLabel4 = 204;
inline constexpr int kLabel5 = 205;
inline constexpr int kLabel6 = 206;
inline constexpr int kLabel7 = 207;

constexpr int Number(int n) {
  return kNumber1 + n - 1;
}  // n = 1..7
constexpr int Label(int n) {
  return kLabel1 + n - 1;
}

}  // namespace corvane::dialog_ids
