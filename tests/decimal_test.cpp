// The decimal-to-double converter's table against exact integer arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sample_input/decimal.hpp"

namespace {

namespace convert = sample_input::convert;

// Exact unsigned integers, 32 bits to a limb, least significant first.
using Big = std::vector<std::uint32_t>;

Big times(const Big& a, const Big& b) {
  Big product(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.size(); ++j) {
      carry += std::uint64_t{a[i]} * b[j] + product[i + j];
      product[i + j] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    product[i + b.size()] = static_cast<std::uint32_t>(carry);
  }
  while (product.size() > 1 && product.back() == 0) product.pop_back();
  return product;
}

Big power(std::uint32_t base, int n) {
  if (n == 0) return {1};
  const Big half = power(base, n / 2);
  const Big square = times(half, half);
  return n % 2 == 0 ? square : times(square, {base});
}

// For numbers made by times(), without leading zero limbs.
bool less(const Big& a, const Big& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

// The table entry's 128 bits, plus 0 or 1.
Big value_of(const convert::Power& t, std::uint32_t plus) {
  Big n{static_cast<std::uint32_t>(t.low), static_cast<std::uint32_t>(t.low >> 32),
        static_cast<std::uint32_t>(t.high), static_cast<std::uint32_t>(t.high >> 32), 0};
  for (std::size_t i = 0; plus != 0 && i < n.size(); ++i) plus = ++n[i] == 0 ? 1 : 0;
  return n;
}

// Each entry t is 5^q·2^-e rounded down, with e = binary_exponent(q) and t's
// top bit set: t·b <= a < (t + 1)·b, where a / b is 5^q·2^-e with every
// negative exponent moved across.
TEST(PowersOfFive, AreExactPowersRoundedDownTo128Bits) {
  for (int q = convert::kMinPower; q <= convert::kMaxPower; ++q) {
    const convert::Power& t = convert::kPowersOfFive.power[q - convert::kMinPower];
    const int e = convert::binary_exponent(q);
    const Big a = times(power(5, std::max(q, 0)), power(2, std::max(-e, 0)));
    const Big b = times(power(5, std::max(-q, 0)), power(2, std::max(e, 0)));
    EXPECT_EQ(t.high >> 63, 1u) << "5^" << q;
    EXPECT_FALSE(less(a, times(value_of(t, 0), b))) << "5^" << q;
    EXPECT_TRUE(less(a, times(value_of(t, 1), b))) << "5^" << q;
  }
}

}  // namespace
