// The monitor window's class, title and control identifiers: its figures are text controls, so a
// screen reader, a script or a test reads them with WM_GETTEXT by these identifiers.
#pragma once

namespace corvane::monitor_ids {

inline constexpr const wchar_t* kWindowClass = L"CorvaneMonitor";
inline constexpr const wchar_t* kTitle = L"Corvane Monitor";

enum : int {
  kOpen = 101,    // "Open..."
  kFollow = 102,  // "Follow the newest run"
  kSpan5 = 110,   // the spans: 5, 15, 60 minutes, the whole run
  kSpan15 = 111,
  kSpan60 = 112,
  kSpanAll = 113,
  kTheme = 120,  // "Night theme" / "Day theme"
  kScaleLabel = 121,
  kScale = 122,  // the pixel scale, arcsec per pixel
  kScaleUnit = 123,
  kStatus = 130,   // what is followed
  kProblem = 131,  // the latest trouble with the files
  kCyclesLabel = 140,
  kCycles = 141,
  kLastCycleLabel = 142,
  kLastCycle = 143,
  kSpanTitle = 150,  // "Last 5 min"
  kRunTitle = 151,   // "Whole run"
  kRmsHeader1 = 152,
  kPeakHeader1 = 153,
  kRmsHeader2 = 154,
  kPeakHeader2 = 155,
  kAxisA = 160,  // "RA" or "X"
  kAxisB = 161,  // "Dec" or "Y"
  kTotal = 162,
  kSpanARms = 170,  // over the span: RMS and peak of each axis and the total
  kSpanAPeak = 171,
  kSpanBRms = 172,
  kSpanBPeak = 173,
  kSpanTotalRms = 174,
  kSpanTotalPeak = 175,
  kRunARms = 180,  // over the whole run
  kRunAPeak = 181,
  kRunBRms = 182,
  kRunBPeak = 183,
  kRunTotalRms = 184,
  kRunTotalPeak = 185,
  kStarsLabel = 199,
  kStar1 = 200,  // "Star 1: SN 35.2" ... kStar1 + 9
  kWarnings = 220,
  kGraph = 230,
  kStarBars = 231,
};

}  // namespace corvane::monitor_ids
