// The decimal-to-double converter: its table against exact integer
// arithmetic, and its doubles against strtod's, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sample_input/decimal.hpp"

namespace {

namespace convert = sample_input::convert;

constexpr std::uint64_t kMostDigits = 9999999999999999999u;  // 19 nines

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

struct Decimal {
  std::uint64_t digits;
  int exponent;
};

std::uint64_t bits_of(double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

std::string hex(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%a", x);
  return text;
}

// Whether the converter gives strtod's double for digits·10^exponent, bit for
// bit. A decline fails, unless it is only to be counted.
testing::AssertionResult matches_strtod(const Decimal& d, bool negative, int* declines = nullptr) {
  char text[48];
  std::snprintf(text, sizeof text, "%s%llue%d", negative ? "-" : "",
                static_cast<unsigned long long>(d.digits), d.exponent);
  const double expected = std::strtod(text, nullptr);
  // By the table alone, too, where the exact path would have served.
  double rounded = expected;
  if (convert::round_decimal(d.digits, d.exponent, negative, rounded) &&
      bits_of(rounded) != bits_of(expected)) {
    return testing::AssertionFailure() << text << ": " << hex(rounded) << " by the table alone";
  }
  // From one product, where that decides.
  if (d.digits != 0 && d.exponent >= convert::kMinPower && d.exponent <= convert::kMaxPower &&
      convert::round_decimal_quickly(d.digits, d.exponent, negative, rounded) &&
      bits_of(rounded) != bits_of(expected)) {
    return testing::AssertionFailure() << text << ": " << hex(rounded) << " from one product";
  }
  double value = 0;
  if (!convert::decimal_to_double(d.digits, d.exponent, negative, value)) {
    if (declines == nullptr) return testing::AssertionFailure() << text << ": declined";
    ++*declines;
    return testing::AssertionSuccess();
  }
  if (bits_of(value) == bits_of(expected)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << text << ": " << hex(value) << ", strtod " << hex(expected);
}

// Halfway and nearly halfway between two doubles, at the limits of the exact
// path, of the table and of the range of doubles.
TEST(DecimalToDouble, MatchesStrtodOnHardCases) {
  const std::vector<Decimal> cases{
      {9007199254740993, 0},      // 2^53 + 1, halfway: to even, down
      {9007199254740995, 0},      // 2^53 + 3, halfway: to even, up
      {9223372036854776832u, 0},  // (2^53 + 1)·2^10, 19 digits, halfway
      {9223372036854778880u, 0},  // (2^53 + 3)·2^10, halfway, up
      {9007199254740993000, -3},  // 2^53 + 1 in 19 digits, halfway with q < 0
      {90071992547409930, -1},    // 9007199254740993.0, halfway, down
      {45035996273704975, -1},    // 4503599627370497.5, halfway, up
      {225179981368524825, -2},   // 2^51 + 0.25, halfway, down
      {225179981368524875, -2},   // 2^51 + 0.75, halfway, up
      {1125899906842624125, -3},  // 2^50 + 1/8, halfway, down
      {5629499534213120625, -4},  // 2^49 + 1/16, halfway, down
      {5629499534213121875, -4},  // 2^49 + 3/16, halfway, up
      {1, 23},                    // 10^23 = 5^23·2^23 and 5^23 has 54 bits: halfway
      {1000000000000000000, 5},   // 10^23 in 19 digits
      {9007199254740993, -5},     // 2^53 + 1 times powers of ten
      {9007199254740993, -1},
      {9007199254740993, 1},
      {9007199254740993, 3},
      {9007199254740993, -100},
      {9007199254740993, 100},
      {kMostDigits, 0},  // the most digits
      {kMostDigits, -5},
      {kMostDigits, 22},
      {1, 22},  // the exact path's edges: 10^22 is exact, 10^23 is not
      {1, -22},
      {1, -23},
      {9007199254740992, 22},  // 2^53: exact
      {9007199254740993, 22},  // one past it: the table
      {9007199254740992, -22},
      {9007199254740993, -22},
      {9007199254740991, 23},
      {9007199254740991, -23},
      {17976931348623157, 292},  // the largest double
      {17976931348623158, 292},  // below the midpoint to 2^1024: still the largest
      {17976931348623159, 292},  // past it: infinity
      {kMostDigits, 289},
      {1, 308},  // the table's edges and past them
      {1, 309},
      {17976931348623157, 293},
      {1, 99999},
      {kMostDigits, -342},  // about 1e-323: twice the least subnormal
      {1, -342},
      {kMostDigits, -343},
      {1, -99999},
      {22250738585072011, -324},  // just below the least normal: the largest subnormal
      {22250738585072012, -324},  // rounds up to the least normal
      {22250738585072014, -324},  // the least normal
      {49406564584124654, -340},  // the least subnormal
      {24703282292062327, -340},  // just below half of it: zero
      {24703282292062328, -340},  // just above: the least subnormal
      {0, 0},                     // zero with any exponent
      {0, 23},
      {0, -400},
      {0, 400},
  };
  for (const Decimal& d : cases) {
    EXPECT_TRUE(matches_strtod(d, false));
    EXPECT_TRUE(matches_strtod(d, true));
  }
}

std::uint64_t integer_power(std::uint64_t base, int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= base;
  return p;
}

// Random decimals of 1 to 19 digits, with exponents over the whole range of
// doubles and a few past the table at both ends. Declines are counted, not
// failed, but must be rare.
TEST(DecimalToDouble, MatchesStrtodOnRandomDecimals) {
  std::mt19937_64 random(20240611);
  constexpr int kCases = 300000;
  int declines = 0;
  for (int i = 0; i < kCases; ++i) {
    const int length = 1 + static_cast<int>(random() % 19);
    const std::uint64_t low = integer_power(10, length - 1);
    const int exponent =
        convert::kMinPower - 8 +
        static_cast<int>(random() % (convert::kMaxPower - convert::kMinPower + 16));
    const Decimal d{low + random() % (integer_power(10, length) - low), exponent};
    ASSERT_TRUE(matches_strtod(d, random() % 2 == 1, &declines));
  }
  RecordProperty("declines", declines);
  EXPECT_LT(declines, kCases / 1000) << declines << " declines in " << kCases;
}

// The midpoints between random neighbouring doubles (normal and subnormal),
// to 19 digits: within a unit of the 19th digit of a midpoint, where an error
// in the product's last bits would round the wrong way.
TEST(DecimalToDouble, MatchesStrtodNextToMidpoints) {
  if (std::numeric_limits<long double>::digits < 54) GTEST_SKIP() << "no exact midpoints";
  std::mt19937_64 random(7);
  constexpr int kCases = 100000;
  int declines = 0;
  for (int i = 0; i < kCases; ++i) {
    // Any finite double below the largest one, whose neighbour above is finite too.
    const std::uint64_t bits = random() % 0x7FEFFFFFFFFFFFFFu;
    double x = 0;
    std::memcpy(&x, &bits, sizeof x);
    const long double midpoint =
        (static_cast<long double>(x) + std::nextafter(x, std::numeric_limits<double>::infinity())) /
        2;
    char text[48];
    std::snprintf(text, sizeof text, "%.18Le", midpoint);  // d.ddd...e+NN: 19 digits
    std::string digits(text, 1);
    digits.append(text + 2, 18);
    const Decimal d{std::strtoull(digits.c_str(), nullptr, 10), std::atoi(text + 21) - 18};
    ASSERT_TRUE(matches_strtod(d, false, &declines));
  }
  EXPECT_LT(declines, kCases / 1000) << declines << " declines in " << kCases;
}

// Exact ties: an odd 54-bit number times a power of two, written as digits
// times 10^q. Only from q = -4 to 23 can a decimal be one, and the
// converter must settle every one of them to even, without declining.
TEST(DecimalToDouble, RoundsEveryExactTieToEven) {
  std::mt19937_64 random(11);
  constexpr std::uint64_t kLeast54Bits = std::uint64_t{1} << 53;
  for (int i = 0; i < 20000; ++i) {
    const int q = static_cast<int>(random() % 28) - 4;
    // digits = m·5^-q for q < 0, the odd part then m itself; m·2^s for q >= 0,
    // the odd part m·5^q.
    const std::uint64_t five = integer_power(5, q < 0 ? -q : q);
    const std::uint64_t least = q < 0 ? kLeast54Bits : (kLeast54Bits + five - 1) / five;
    const std::uint64_t most =
        q < 0 ? std::min(2 * kLeast54Bits - 1, kMostDigits / five) : (2 * kLeast54Bits - 1) / five;
    const std::uint64_t m = (least + random() % (most - least + 1)) | 1;
    if (m > most) continue;
    std::uint64_t digits = q < 0 ? m * five : m;
    while (q >= 0 && digits <= kMostDigits / 2 && random() % 2 == 0) digits *= 2;
    EXPECT_TRUE(matches_strtod({digits, q}, false));
  }
}

}  // namespace
