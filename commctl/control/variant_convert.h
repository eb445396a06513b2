// Conversions of automation values to the types of the control's properties,
// as a property setter or a loaded property bag needs them. A value that
// does not convert gives nothing (the caller refuses it with 380).
#pragma once

#include <tolvexcomm/component.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvex::control {

// Integers, booleans (-1/0), reals rounded half to even, and texts that hold
// exactly one number (spaces around it allowed) or True/False.
std::optional<std::int32_t> ToInteger(const com::Variant& v);
std::optional<std::int16_t> ToInt16(const com::Variant& v);
std::optional<float> ToReal(const com::Variant& v);
// Texts as they are; numbers in decimal; booleans as True/False.
std::string ToText(const com::Variant& v);

}  // namespace tolvex::control
