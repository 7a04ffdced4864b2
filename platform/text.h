// Text conversions between the registry's UTF-16 and the host's UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orva::platform::text {

std::u16string utf8ToUtf16(std::string_view text);
// Up to the first zero code unit (or the end).
std::string utf16ToUtf8(std::u16string_view text);
// UTF-16LE bytes, up to the first zero code unit; an odd last byte is ignored.
std::string utf16leToUtf8(std::span<const uint8_t> bytes);
// A zero-terminated UTF-16 string such as a registry value name.
std::string wideToUtf8(const char16_t* text);
// Registry names compare without regard to ASCII case.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace orva::platform::text
