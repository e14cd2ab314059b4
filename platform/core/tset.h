#pragma once
// TSet<E>: a small bit set over an enumeration whose values are 0..63.
#include <cstdint>
#include <initializer_list>

template <typename E>
class TSet {
public:
  using Bits = std::uint64_t;

  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) FBits |= bit(e);
  }
  static constexpr TSet FromBits(Bits bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }

  constexpr bool Contains(E e) const { return (FBits & bit(e)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr Bits RawBits() const { return FBits; }

  constexpr TSet& Include(E e) { FBits |= bit(e); return *this; }
  constexpr TSet& Exclude(E e) { FBits &= ~bit(e); return *this; }
  constexpr TSet& Include(TSet s) { FBits |= s.FBits; return *this; }
  constexpr TSet& Exclude(TSet s) { FBits &= ~s.FBits; return *this; }

  // Union, difference and intersection as the familiar operators.
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr TSet& operator+=(TSet o) { FBits |= o.FBits; return *this; }
  constexpr TSet& operator-=(TSet o) { FBits &= ~o.FBits; return *this; }
  constexpr TSet& operator*=(TSet o) { FBits &= o.FBits; return *this; }
  constexpr bool operator==(const TSet&) const = default;
  // True when every member of o is also a member of this set.
  constexpr bool ContainsAll(TSet o) const { return (FBits & o.FBits) == o.FBits; }
  // True when the sets share a member.
  constexpr bool Intersects(TSet o) const { return (FBits & o.FBits) != 0; }

private:
  static constexpr Bits bit(E e) { return Bits(1) << static_cast<unsigned>(e); }
  Bits FBits = 0;
};
