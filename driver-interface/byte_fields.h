// Little-endian field access on byte blocks.
//
// Every block, frame, packet and report is a byte array; fields are read and
// written through these accessors, never by casting a buffer to a struct.
// The fixed-offset forms check the offset against the block size at compile
// time; the runtime forms check it at run time and read 0 (or write nothing)
// outside the buffer.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace lumaro {

namespace detail {

// The unsigned integer of a field's width (1, 2, 4 or 8 bytes).
template <std::size_t Size>
using UnsignedOf = std::conditional_t<
    Size == 1, std::uint8_t,
    std::conditional_t<Size == 2, std::uint16_t,
                       std::conditional_t<Size == 4, std::uint32_t, std::uint64_t>>>;

template <typename T>
constexpr T LoadLe(const std::uint8_t* p) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  using U = UnsignedOf<sizeof(T)>;
  U v = 0;
  if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
    // The same bytes in the same order: one load instead of a byte loop.
    std::memcpy(&v, p, sizeof v);
    return std::bit_cast<T>(v);
  }
  for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | (U{p[i]} << (8 * i)));
  return std::bit_cast<T>(v);
}

template <typename T>
constexpr void StoreLe(std::uint8_t* p, T value) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  using U = UnsignedOf<sizeof(T)>;
  const U v = std::bit_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace detail

// Fixed offset into a fixed-size block.
template <typename T, std::size_t Offset, std::size_t N>
constexpr T Get(const std::array<std::uint8_t, N>& block) {
  static_assert(Offset + sizeof(T) <= N, "field lies outside the block");
  return detail::LoadLe<T>(block.data() + Offset);
}

template <typename T, std::size_t Offset, std::size_t N>
constexpr void Put(std::array<std::uint8_t, N>& block, T value) {
  static_assert(Offset + sizeof(T) <= N, "field lies outside the block");
  detail::StoreLe<T>(block.data() + Offset, value);
}

// Runtime offset, checked against the buffer's length.
template <typename T>
constexpr T GetAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return T{};
  return detail::LoadLe<T>(bytes.data() + offset);
}

template <typename T>
constexpr bool PutAt(std::span<std::uint8_t> bytes, std::size_t offset, T value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  detail::StoreLe<T>(bytes.data() + offset, value);
  return true;
}

}  // namespace lumaro
