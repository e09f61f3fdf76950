// What the host returns, as the core takes it: numbers as double, true/false, texts, objects and
// PointInformation's array. A value that cannot be taken so raises RunFailure(TypeMismatch),
// naming the member it came from.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <string_view>

#include "host/HostObjects.h"

namespace corvane::win {

double ToDouble(const VARIANT& value, std::wstring_view member);
// VT_BOOL conversion (a number is true when not zero); VT_NULL is a type mismatch.
bool ToBool(const VARIANT& value, std::wstring_view member);
// As ToBool, but VT_EMPTY and VT_NULL read as false.
bool ToBoolOrFalse(const VARIANT& value, std::wstring_view member);
std::string ToText(const VARIANT& value, std::wstring_view member);  // UTF-8
Microsoft::WRL::ComPtr<IDispatch> ToObject(const VARIANT& value, std::wstring_view member);

// A number, or nullopt when the value cannot be taken as one.
std::optional<double> NumberOrNothing(const VARIANT& value);
// A one-dimensional array (VT_ARRAY of any element type, also by reference) with its lower bound
// and every element converted by NumberOrNothing.
host::HostArray ToHostArray(const VARIANT& value, std::wstring_view member);

}  // namespace corvane::win
