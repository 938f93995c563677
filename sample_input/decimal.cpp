// The table of truncated powers of five, computed by the compiler with exact
// integer arithmetic: out of line, so that it is computed once and not in
// every file that includes decimal.hpp.
#include "sample_input/decimal.hpp"

namespace sample_input::convert {

namespace {

// An unsigned integer of 1024 bits, 32 to a limb, least significant first.
struct Big {
  std::uint32_t limb[32] = {};
};
constexpr int kLimbs = 32;
constexpr int kLimbBits = 32;

constexpr void multiply(Big& n, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : n.limb) {
    carry += std::uint64_t{limb} * factor;
    limb = static_cast<std::uint32_t>(carry);
    carry >>= kLimbBits;
  }
}

// n / divisor, rounded down.
constexpr void divide(Big& n, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (int i = kLimbs - 1; i >= 0; --i) {
    remainder = remainder << kLimbBits | n.limb[i];
    n.limb[i] = static_cast<std::uint32_t>(remainder / divisor);
    remainder %= divisor;
  }
}

constexpr int bit_length(const Big& n) {
  for (int i = kLimbs - 1; i >= 0; --i) {
    if (n.limb[i] != 0) return i * kLimbBits + kLimbBits - __builtin_clz(n.limb[i]);
  }
  return 0;
}

// The 32 bits of n from bit `from` up, with zeros below bit 0.
constexpr std::uint64_t bits_at(const Big& n, int from) {
  if (from <= -kLimbBits) return 0;
  if (from < 0) return std::uint64_t{n.limb[0]} << -from & 0xFFFFFFFFu;
  const int i = from / kLimbBits;
  const int shift = from % kLimbBits;
  const std::uint64_t pair =
      (i + 1 < kLimbs ? std::uint64_t{n.limb[i + 1]} << kLimbBits : 0) | n.limb[i];
  return pair >> shift & 0xFFFFFFFFu;
}

// The 128 bits of n from bit `from` up: n / 2^from rounded down, if n has no bit above them.
constexpr Power bits128(const Big& n, int from) {
  return {bits_at(n, from + 96) << 32 | bits_at(n, from + 64),
          bits_at(n, from + 32) << 32 | bits_at(n, from)};
}

// 2^kScale / 5^-q, rounded down, holds 5^q's leading 128 bits for every q of
// the table if they all lie at or above its bit 0.
constexpr int kScale = kLimbs * kLimbBits - 1;
static_assert(kScale + binary_exponent(kMinPower) >= 0, "too few limbs for the least power");

struct Generated {
  PowersOfFive powers;
  bool normalised;  // each entry's top bit at 127 where binary_exponent puts it
};

constexpr Generated generate() {
  Generated g{};
  g.normalised = true;
  Big n{};  // 5^q
  n.limb[0] = 1;
  for (int q = 0; q <= kMaxPower; ++q) {
    // 5^q / 2^e, rounded down; for e < 0 (q up to 55) the bits below bit 0 are zeros.
    const int e = binary_exponent(q);
    g.powers.power[q - kMinPower] = bits128(n, e);
    g.normalised = g.normalised && bit_length(n) == e + 128;
    multiply(n, 5);
  }
  Big r{};  // 2^kScale / 5^-q, rounded down: rounding each division by 5 down rounds the whole down
  r.limb[kScale / kLimbBits] = std::uint32_t{1} << kScale % kLimbBits;
  for (int q = -1; q >= kMinPower; --q) {
    divide(r, 5);
    // (2^kScale / 5^-q) / 2^(kScale + e) = 5^q / 2^e.
    const int from = kScale + binary_exponent(q);
    g.powers.power[q - kMinPower] = bits128(r, from);
    g.normalised = g.normalised && bit_length(r) == from + 128;
  }
  return g;
}

constexpr Generated kGenerated = generate();
static_assert(kGenerated.normalised, "floor_log2_pow10 is wrong for some q of the table");

}  // namespace

const PowersOfFive kPowersOfFive = kGenerated.powers;

namespace {
// (An entry with a minus and the point first is for no number.)
constexpr detail::LongPowers long_powers() {
  detail::LongPowers t{};
  for (int point = 0; point < 16; ++point) {
    for (int n = 0; n < 2; ++n) {
      const int whole = point < n ? 0 : point - n;
      const int q = whole - 19;
      t.power[2 * point + n] = {kGenerated.powers.power[q - kMinPower].high,
                                floor_log2_pow10(q) + 64 + detail::kExponentBias - 1 + (n << 11)};
    }
  }
  return t;
}
}  // namespace

const detail::LongPowers detail::kLongPowers = long_powers();

}  // namespace sample_input::convert
