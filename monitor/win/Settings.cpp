#include "monitor/win/Settings.h"

#include <cstdio>
#include <cwchar>

#include "win/UniqueResource.h"

namespace corvane::monitor {
namespace {

std::wstring ReadText(HKEY key, const wchar_t* name) {
  wchar_t text[256] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

void WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

const wchar_t* SpanWord(Span span) {
  switch (span) {
    case Span::Minutes5:
      return L"5";
    case Span::Minutes15:
      return L"15";
    case Span::Minutes60:
      return L"60";
    case Span::All:
      break;
  }
  return L"all";
}

}  // namespace

Settings LoadSettings() {
  Settings settings;
  win::UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return settings;
  }
  settings.night = ReadText(key.Get(), L"Theme") == L"night";
  const std::wstring span = ReadText(key.Get(), L"Span");
  for (Span s : kSpans) {
    if (span == SpanWord(s)) settings.span = s;
  }
  settings.scale = ReadText(key.Get(), L"Scale");
  // "left top right bottom maximized", the normal (restored) position.
  long left = 0, top = 0, right = 0, bottom = 0;
  int maximized = 0;
  if (std::swscanf(ReadText(key.Get(), L"Window").c_str(), L"%ld %ld %ld %ld %d", &left, &top,
                   &right, &bottom, &maximized) == 5 &&
      right - left >= 200 && bottom - top >= 150) {
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    place.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    place.rcNormalPosition = {left, top, right, bottom};
    // Only where a screen still is (a monitor unplugged since, or another arrangement).
    if (MonitorFromRect(&place.rcNormalPosition, MONITOR_DEFAULTTONULL)) settings.place = place;
  }
  return settings;
}

void SaveSettings(const Settings& settings) {
  win::UniqueRegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return;  // nothing to remember with: the monitor works on without
  }
  WriteText(key.Get(), L"Theme", settings.night ? L"night" : L"day");
  WriteText(key.Get(), L"Span", SpanWord(settings.span));
  WriteText(key.Get(), L"Scale", settings.scale);
  if (settings.place) {
    const RECT& r = settings.place->rcNormalPosition;
    wchar_t text[96];
    std::swprintf(text, 96, L"%ld %ld %ld %ld %d", r.left, r.top, r.right, r.bottom,
                  settings.place->showCmd == SW_SHOWMAXIMIZED ? 1 : 0);
    WriteText(key.Get(), L"Window", text);
  }
}

}  // namespace corvane::monitor
