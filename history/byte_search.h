#pragma once
// Byte searches and comparisons for the report's pass over every line of the history, many bytes
// at a time and inline: the C runtime's memchr and memcmp go byte by byte under Wine, and each
// is a call where the texts compared are a few bytes long. Searches take sixteen bytes at a time
// with SSE2 (every x86-64 processor has it), then eight.
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace byte_search {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = kOnes * 0x80;

// Whether any byte of `word` equals `byte`.
inline bool HasByte(uint64_t word, char byte) {
  word ^= kOnes * static_cast<unsigned char>(byte);
  return ((word - kOnes) & ~word & kHighs) != 0;
}

inline uint64_t Word(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, 8);
  return word;
}

// How many of the word's bytes, from its first, are ASCII digits. Subtracting '0' borrows only
// out of a byte below '0', which is itself counted as no digit, so the count stays right.
inline unsigned LeadingDigits(uint64_t word) {
  const uint64_t less = word - kOnes * '0';
  const uint64_t notDigit = (((less & (kOnes * 0x7F)) + kOnes * 0x76) | less) & kHighs;
  return notDigit == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(notDigit)) / 8;
}

// The value of the word's first `count` (1 to 8) bytes, all of them digits.
inline uint64_t DigitsValue(uint64_t word, unsigned count) {
  uint64_t value = (word - kOnes * '0') << (8 * (8 - count));  // the first digit lands highest
  value = value * 10 + (value >> 8);
  value = (((value & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
           (((value >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
  return value;
}

}  // namespace byte_search

// Where the first `byte` in `bytes` lies, or npos.
inline size_t FirstByte(std::string_view bytes, char byte) {
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; bytes.size() - at >= 16; at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted));
    if (found != 0) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
#endif
  while (bytes.size() - at >= 8 && !byte_search::HasByte(byte_search::Word(bytes.data() + at), byte)) at += 8;
  for (; at < bytes.size(); ++at)
    if (bytes[at] == byte) return at;
  return std::string_view::npos;
}

// Where the last `byte` in `bytes` at or after `from` lies, or npos.
inline size_t LastByte(std::string_view bytes, char byte, size_t from = 0) {
  if (from >= bytes.size()) return std::string_view::npos;
  size_t end = bytes.size();
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; end - from >= 16; end -= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + end - 16));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted));
    if (found != 0) return end - 16 + static_cast<size_t>(31 - __builtin_clz(static_cast<unsigned>(found)));
  }
#endif
  while (end - from >= 8 && !byte_search::HasByte(byte_search::Word(bytes.data() + end - 8), byte)) end -= 8;
  while (end > from) {
    if (bytes[--end] == byte) return end;
  }
  return std::string_view::npos;
}

// `count` bytes of `text` from `from`, unchecked: the caller knows they lie inside it.
inline std::string_view Bytes(std::string_view text, size_t from, size_t count) {
  return std::string_view(text.data() + from, count);
}
inline std::string_view BytesFrom(std::string_view text, size_t from) {
  return std::string_view(text.data() + from, text.size() - from);
}

[[gnu::always_inline]] inline bool SameBytes(std::string_view a, std::string_view b) {
  const size_t size = a.size();
  if (size != b.size()) return false;
  if (size >= 8) {
    for (size_t at = 0; at + 8 < size; at += 8)
      if (byte_search::Word(a.data() + at) != byte_search::Word(b.data() + at)) return false;
    return byte_search::Word(a.data() + size - 8) == byte_search::Word(b.data() + size - 8);
  }
  for (size_t at = 0; at < size; ++at)
    if (a[at] != b[at]) return false;
  return true;
}

inline bool StartsWithBytes(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && SameBytes(Bytes(text, 0, start.size()), start);
}

inline bool EndsWithBytes(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameBytes(BytesFrom(text, text.size() - end.size()), end);
}
