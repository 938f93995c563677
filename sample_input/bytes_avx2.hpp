// The byte layer's code for processors with AVX2 (and so SSSE3): the long
// decimals of repr and %.17g closed up and weighed by byte shuffles and byte
// multiply-adds, for the copy of the long-decimal loop compiled for them.
#pragma once

#include "sample_input/bytes.hpp"

#if NETFIGURES_SSE2
#include <immintrin.h>

namespace sample_input::bytes::sse2 {

// The byte shuffles of long_number_avx2 (SSSE3's: a byte of the control
// names the byte it takes, -128 clears it).
struct Shuffle {
  alignas(16) std::int8_t bytes[16];
};
// kCloseUp[2 q + n]: the first 16 bytes past the minus of a long decimal with
// n minus signs (0 or 1) and its point q bytes from its start, closed up over
// the point as closed_up does it: the bytes before the point one up, the
// first cleared.
inline constexpr auto kCloseUp = [] {
  std::array<Shuffle, 32> close{};
  for (int q = 0; q < 16; ++q) {
    for (int n = 0; n < 2; ++n) {
      const int whole = q < n ? 0 : q - n;  // (q < n: no such number)
      for (int j = 0; j < 16; ++j) {
        close[2 * q + n].bytes[j] = static_cast<std::int8_t>(j == 0       ? -128
                                                             : j <= whole ? j - 1
                                                                          : j);
      }
    }
  }
  return close;
}();
// kAfter[2 r + n]: the r digits (0 to 4) after those first 16 bytes, taken
// from the 16 bytes 16 past the start, minus included, to the first r bytes;
// the others cleared.
inline constexpr auto kAfter = [] {
  std::array<Shuffle, 10> after{};
  for (int r = 0; r < 5; ++r) {
    for (int n = 0; n < 2; ++n) {
      for (int j = 0; j < 16; ++j) {
        after[2 * r + n].bytes[j] = static_cast<std::int8_t>(j < r ? j + n : -128);
      }
    }
  }
  return after;
}();
// The weights of the ladder: 10 a + b of two bytes, 100 a + b of two 16-bit
// lanes, 10^4 a + b of two more.
inline constexpr Shuffle kTensAndOnes{{10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1}};
inline constexpr RestWeights kHundredsAndOnes{{100, 1, 100, 1, 100, 1, 100, 1}};
inline constexpr RestWeights kTenThousandsAndOnes{{10000, 1, 10000, 1, 10000, 1, 10000, 1}};

// The digits of a long decimal at p (16 to 20 bytes past its minus, the point
// among the first 16) times 10^(4 - r), r the digits after the first 16
// bytes: long_number for processors with AVX2, in fewer steps. The
// first 16 bytes are closed up over the point by one shuffle (kCloseUp[form])
// and the digits after them moved into place by another (kAfter[after]),
// where long_number masks, shifts and merges; the pairs of digits are weighed
// by one multiply-add, and the value of 20 digits at fixed places needs no
// table of powers. Loads the 16 bytes at p past its minus and at p + 16.
__attribute__((target("avx2"))) NETFIGURES_INLINE std::uint64_t long_number_avx2(
    const char* p, unsigned negative, std::size_t form, std::size_t after) {
  const auto load = [](const auto& table) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(&table));
  };
  // Both ladders' weights, loaded once.
  const __m128i tens = load(kTensAndOnes);
  const __m128i hundreds = load(kHundredsAndOnes);
  const __m128i first = _mm_shuffle_epi8(_mm_sub_epi8(load16(p + negative), _mm_set1_epi8('0')),
                                         load(kCloseUp[form]));
  const __m128i fours = _mm_madd_epi16(_mm_maddubs_epi16(first, tens), hundreds);
  const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), load(kTenThousandsAndOnes));
  const __m128i last =
      _mm_shuffle_epi8(_mm_sub_epi8(load16(p + 16), _mm_set1_epi8('0')), load(kAfter[after]));
  const __m128i four = _mm_madd_epi16(_mm_maddubs_epi16(last, tens), hundreds);
  const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
  const auto low = static_cast<std::uint32_t>(_mm_extract_epi32(eights, 1));
  return (high * std::uint64_t{100000000} + low) * 10000 +
         static_cast<std::uint32_t>(_mm_cvtsi128_si32(four));
}

}  // namespace sample_input::bytes::sse2
#endif
