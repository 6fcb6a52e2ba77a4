#pragma once
// A set of the members of an enumeration, member n in bit n.

#include <initializer_list>

template <typename E, typename Bits, unsigned Count>
class TSet {
    static_assert(Count >= 1 && Count <= sizeof(Bits) * 8, "members must fit the bits");

public:
    using BitsType = Bits;
    static constexpr Bits AllBits = static_cast<Bits>((1ull << Count) - 1u);

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            Include(m);
    }

    // Bits that stand for no member are dropped.
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.bits_ = static_cast<Bits>(bits & AllBits);
        return s;
    }
    static constexpr TSet All() { return FromBits(AllBits); }

    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool Contains(E m) const
    {
        return static_cast<unsigned>(m) < Count && ((bits_ >> static_cast<unsigned>(m)) & 1u) != 0;
    }
    // A value that is no member is ignored.
    constexpr TSet& Include(E m)
    {
        if (static_cast<unsigned>(m) < Count)
            bits_ = static_cast<Bits>(bits_ | (1u << static_cast<unsigned>(m)));
        return *this;
    }
    constexpr TSet& Exclude(E m)
    {
        if (static_cast<unsigned>(m) < Count)
            bits_ = static_cast<Bits>(bits_ & ~(1u << static_cast<unsigned>(m)));
        return *this;
    }

    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ | b.bits_)); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_)); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ & b.bits_)); }
    friend constexpr bool operator==(TSet a, TSet b) = default;

private:
    Bits bits_ = 0;
};
