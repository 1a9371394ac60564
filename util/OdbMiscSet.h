/// @file
/// TEnumSet: a set over a small enumeration (ordinals 0 to 7) stored in one
/// byte, bit n standing for the value n. The set types of the database layer
/// (field types, index attributes, data access methods) are instances of it,
/// so their byte form is what drivers and streams see.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace corvid {

/// A set over an enumeration with ordinals 0 to 7, stored in one byte.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> Values) {
    for (E v : Values) bits_ = static_cast<std::uint8_t>(bits_ | Bit(v));
  }

  /// The set whose byte form is Bits.
  static constexpr TEnumSet FromBits(std::uint8_t Bits) {
    TEnumSet s;
    s.bits_ = Bits;
    return s;
  }
  constexpr std::uint8_t Bits() const { return bits_; }

  constexpr bool Contains(E Value) const { return (bits_ & Bit(Value)) != 0; }
  constexpr bool IsEmpty() const { return bits_ == 0; }
  constexpr TEnumSet& Include(E Value) {
    bits_ = static_cast<std::uint8_t>(bits_ | Bit(Value));
    return *this;
  }
  constexpr TEnumSet& Exclude(E Value) {
    bits_ = static_cast<std::uint8_t>(bits_ & ~Bit(Value));
    return *this;
  }

  /// Union, difference and intersection.
  friend constexpr TEnumSet operator+(TEnumSet a, TEnumSet b) {
    return FromBits(static_cast<std::uint8_t>(a.bits_ | b.bits_));
  }
  friend constexpr TEnumSet operator-(TEnumSet a, TEnumSet b) {
    return FromBits(static_cast<std::uint8_t>(a.bits_ & ~b.bits_));
  }
  friend constexpr TEnumSet operator*(TEnumSet a, TEnumSet b) {
    return FromBits(static_cast<std::uint8_t>(a.bits_ & b.bits_));
  }
  friend constexpr bool operator==(TEnumSet a, TEnumSet b) { return a.bits_ == b.bits_; }

 private:
  /// Ordinals outside 0..7 have no bit: they are never members.
  static constexpr std::uint8_t Bit(E Value) {
    const auto n = static_cast<unsigned>(Value);
    return n < 8 ? static_cast<std::uint8_t>(1u << n) : std::uint8_t{0};
  }

  std::uint8_t bits_ = 0;
};

}  // namespace corvid
