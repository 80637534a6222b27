// Plain text: printable ASCII but "\\" and DEL, and two-byte UTF-8 characters with a lead byte
// 0xC3-0xDF (the letters of Czech and the other Latin, Greek and Cyrillic scripts). Rows and
// journals carry such text as it is (journal/Escape.h escapes nothing in it), so a name found
// plain once, where it is planned, needs no second look where it is written. The test goes
// sixteen bytes at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tovana {
namespace plain {

constexpr std::size_t kBlock = 16;

inline bool PlainPadded(const char* p, std::size_t rest);

#ifdef __SSE2__
[[gnu::always_inline]] inline __m128i Bytes(int b) {
    return _mm_set1_epi8(static_cast<char>(b));
}

// The bytes of `v`, a bit each, that are printable ASCII but "\" and DEL: as signed bytes,
// printable ASCII and DEL are those above 0x1F; 0x80 and up are negative.
[[gnu::always_inline]] inline unsigned PrintableAscii(__m128i v) {
    const __m128i printable = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, Bytes(0x7F)), _mm_cmpeq_epi8(v, Bytes('\\'))),
        _mm_cmpgt_epi8(v, Bytes(0x1F)));
    return static_cast<unsigned>(_mm_movemask_epi8(printable));
}

// Whether the bytes `high` of `v` (those from 0x80 up, a bit each, none of `left`) are two-byte
// sequences with a lead 0xC3-0xDF: continuations 0x80-0xBF are the signed bytes below -64,
// leads those from -61 to -33; each continuation must follow a lead and each lead be followed by
// one. `leads` gets the leads.
[[gnu::always_inline]] inline bool TwoByteLetters(__m128i v, unsigned high, unsigned left,
                                                  unsigned& leads) {
    const auto continuations =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, Bytes(0xC0)))) & ~left;
    leads = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpgt_epi8(v, Bytes(0xC2)), _mm_cmplt_epi8(v, Bytes(0xE0))))) &
            ~left;
    return (leads | continuations) == high && continuations == ((leads << 1) & 0xFFFF);
}

// How many of the sixteen bytes at `p`, which start a character, stay as they are, when all of
// them do but perhaps a two-byte lead at the end (16 or 15), or 0: printable ASCII but "\" and
// DEL, and two-byte UTF-8 sequences with a lead byte 0xC3-0xDF (the letters of Czech and the
// other Latin, Greek and Cyrillic scripts), which are never C1 control characters. Anything
// else (control bytes, C1, three- and four-byte characters, invalid UTF-8) is left to the
// byte-by-byte way.
[[gnu::always_inline]] inline std::size_t PlainBlock(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned plainAscii = PrintableAscii(v);
    if (plainAscii == 0xFFFF) {
        return kBlock;
    }
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
    unsigned leads = 0;
    if ((plainAscii | high) != 0xFFFF || !TwoByteLetters(v, high, 0, leads)) {
        return 0;
    }
    return kBlock - (leads >> 15);
}

// Whether the last `rest` bytes of `text` (sixteen at most, starting a character) all stay as
// they are. A text sixteen bytes long or more is checked in its last sixteen, those before the
// rest left out, with no copy.
[[gnu::always_inline]] inline bool PlainTail(std::string_view text, std::size_t rest) {
    if (text.size() < kBlock) {
        return PlainPadded(text.data() + text.size() - rest, rest);
    }
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + text.size() - kBlock));
    const unsigned before = (1u << (kBlock - rest)) - 1;  // the bytes left out
    const unsigned plainAscii = PrintableAscii(v) | before;
    if (plainAscii == 0xFFFF) {
        return true;
    }
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v)) & ~before;
    // A lead cut off by the end of the text stays as it is, as any byte of invalid UTF-8 from
    // 0xA0 up.
    unsigned leads = 0;
    return (plainAscii | high) == 0xFFFF && TwoByteLetters(v, high, before, leads);
}
#else
// The same, eight bytes at a time in a word, for processors without SSE2 (the 32-bit Windows
// build): a byte below n (for n up to 0x80) and a zero byte are found with the borrow of a
// subtraction; lead bytes (11xxxxxx) and continuations (10xxxxxx) are flagged in their top bits.
inline std::size_t PlainBlock(const char* p) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    const auto hasZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    if constexpr (std::endian::native != std::endian::little) {
        return 0;
    }
    bool afterLead = false;  // the byte before the word was a lead
    for (std::size_t half = 0; half < kBlock; half += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + half, 8);
        if (((word - kOnes * 0x20) & ~word & kHighs) != 0 || hasZero(word ^ (kOnes * 0x7F)) ||
            hasZero(word ^ (kOnes * '\\'))) {
            return 0;
        }
        const std::uint64_t leads = word & (word << 1) & kHighs;
        const std::uint64_t continuations = word & ~(word << 1) & kHighs;
        const std::uint64_t longLeads = leads & (word << 2);  // 0xE0 and up
        if (longLeads != 0 || hasZero(word ^ (kOnes * 0xC0)) || hasZero(word ^ (kOnes * 0xC1)) ||
            hasZero(word ^ (kOnes * 0xC2)) ||
            ((leads << 8) | (afterLead ? 0x80u : 0u)) != continuations) {
            return 0;
        }
        afterLead = (leads >> 63) != 0;
    }
    return kBlock - (afterLead ? 1 : 0);
}

inline bool PlainTail(std::string_view text, std::size_t rest) {
    return PlainPadded(text.data() + text.size() - rest, rest);
}
#endif

// The same for the `rest` bytes at `p`, copied into a block padded with plain bytes (reading
// beyond the text could leave its memory).
inline bool PlainPadded(const char* p, std::size_t rest) {
    char last[kBlock];
    std::memset(last, 'a', kBlock);
    std::memcpy(last, p, rest);
    return PlainBlock(last) != 0;
}

}  // namespace plain

// Whether `text` is plain: rows and journals carry it as it is, with no byte escaped (most
// names are).
[[gnu::always_inline]] inline bool IsPlainText(std::string_view text) {
    using plain::kBlock;
    std::size_t i = 0;
    while (text.size() - i > kBlock) {
        const std::size_t n = plain::PlainBlock(text.data() + i);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return i == text.size() || plain::PlainTail(text, text.size() - i);
}

}  // namespace tovana
