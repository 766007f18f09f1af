// A small set of enumeration values held as bits: bit n stands for the value with ordinal n.
// Stored records and object states keep these sets as plain 8- or 16-bit words, so the
// storage type is chosen by the user of the set and its bits are exposed as they are.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace globe {

template <class E, std::unsigned_integral Bits = std::uint32_t>
requires std::is_enum_v<E>
class EnumSet {
 public:
  using value_type = E;
  using bits_type = Bits;

  constexpr EnumSet() noexcept = default;
  constexpr EnumSet(std::initializer_list<E> values) noexcept {
    for (E v : values) Include(v);
  }

  /// The set whose bits are `bits`; bits beyond the enumeration are kept as they are.
  static constexpr EnumSet FromBits(Bits bits) noexcept {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }
  [[nodiscard]] constexpr Bits ToBits() const noexcept { return bits_; }

  [[nodiscard]] constexpr bool Contains(E v) const noexcept { return (bits_ & Mask(v)) != 0; }
  [[nodiscard]] constexpr bool Empty() const noexcept { return bits_ == 0; }

  constexpr EnumSet& Include(E v) noexcept {
    bits_ = static_cast<Bits>(bits_ | Mask(v));
    return *this;
  }
  constexpr EnumSet& Exclude(E v) noexcept {
    bits_ = static_cast<Bits>(bits_ & static_cast<Bits>(~Mask(v)));
    return *this;
  }
  /// Includes `v` when `on`, otherwise excludes it.
  constexpr EnumSet& Set(E v, bool on) noexcept { return on ? Include(v) : Exclude(v); }

  constexpr EnumSet& operator+=(EnumSet o) noexcept {
    bits_ = static_cast<Bits>(bits_ | o.bits_);
    return *this;
  }
  constexpr EnumSet& operator-=(EnumSet o) noexcept {
    bits_ = static_cast<Bits>(bits_ & static_cast<Bits>(~o.bits_));
    return *this;
  }
  constexpr EnumSet& operator*=(EnumSet o) noexcept {
    bits_ = static_cast<Bits>(bits_ & o.bits_);
    return *this;
  }
  friend constexpr EnumSet operator+(EnumSet a, EnumSet b) noexcept { return a += b; }
  friend constexpr EnumSet operator-(EnumSet a, EnumSet b) noexcept { return a -= b; }
  friend constexpr EnumSet operator*(EnumSet a, EnumSet b) noexcept { return a *= b; }
  friend constexpr bool operator==(EnumSet, EnumSet) noexcept = default;

 private:
  static constexpr Bits Mask(E v) noexcept {
    return static_cast<Bits>(Bits{1} << static_cast<unsigned>(v));
  }

  Bits bits_ = 0;
};

}  // namespace globe
