#pragma once
// Fills numbered placeholders "%1", "%2", ... of a message with values.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace talvex {

/// One value of a message: a whole number or a text.
using MsgArg = std::variant<std::int64_t, std::string>;
using MsgArgs = std::vector<MsgArg>;

/// Replaces "%k" by value k-1, from the highest k down to 1, so that "%1" never eats
/// the front of "%12". Placeholders without a value stay as they are.
std::string FormatMsg(std::string_view sFormat, const MsgArgs& vArgs);

/// A single value where a list is expected: type mismatch (error 13), no partial result.
[[noreturn]] std::string FormatMsg(std::string_view sFormat, const MsgArg& vArg);

}  // namespace talvex
