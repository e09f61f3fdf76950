// What the monitor remembers between starts, under HKEY_CURRENT_USER\Software\Corvane\Monitor:
// the window's place, the theme, the span and the pixel scale typed. Corvane.dll keeps nothing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "monitor/RunState.h"

namespace corvane::monitor {

inline constexpr const wchar_t* kSettingsKey = L"Software\\Corvane\\Monitor";

struct Settings {
  bool night = false;
  Span span = Span::Minutes15;
  std::wstring scale;                    // as typed
  std::optional<WINDOWPLACEMENT> place;  // the normal position and whether maximized
};

Settings LoadSettings();
void SaveSettings(const Settings& settings);

}  // namespace corvane::monitor
