// Where things are in a task file. All integers are 32-bit little-endian;
// offsets are from the start of the file.
//
//   0        FormatTag       must be 3
//   4        five bytes      never examined
//   9        FormatMark      must be 0x01000000 (bytes 00 00 00 01)
//   13       NameLength      a name is stored only when this is above 0
//   17       name            n bytes, n = NameLength when above 0, else 0
//   17+n     gap byte        never examined
//   18+n     AddressLength   M
//   22+n     address         M bytes
//   22+n+M   remainder       never examined, up to the end of the file
//
// Text is stored in the ANSI code page; the lengths count bytes.
#pragma once

#include <cstdint>

namespace orvanta::layout {

inline constexpr std::int32_t kFormatTag = 3;
inline constexpr std::int32_t kFormatMark = 0x01000000;

inline constexpr std::uint64_t kFormatTagOffset = 0;
inline constexpr std::uint64_t kFormatMarkOffset = 9;
inline constexpr std::uint64_t kNameLengthOffset = 13;
inline constexpr std::uint64_t kNameOffset = 17;
inline constexpr std::uint64_t kInt32Size = 4;

// The number of name bytes actually stored for a NameLength field.
constexpr std::uint64_t NamePart(std::int32_t name_length) {
  return name_length > 0 ? static_cast<std::uint64_t>(name_length) : 0;
}

// Everything before AddressLength: header, name and gap byte.
constexpr std::uint64_t AddressLengthOffset(std::int32_t name_length) {
  return kNameOffset + NamePart(name_length) + 1;
}

constexpr std::uint64_t AddressOffset(std::int32_t name_length) {
  return AddressLengthOffset(name_length) + kInt32Size;
}

constexpr std::int32_t LoadInt32(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return static_cast<std::int32_t>(value);
}

constexpr void StoreInt32(std::int32_t value, char* bytes) {
  auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

}  // namespace orvanta::layout
