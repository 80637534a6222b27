#include "journal/Escape.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#else
#include <bit>
#endif

#include "names/NameText.h"

namespace tovana {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The length of the well-formed UTF-8 sequence starting at text[i] (a byte above 0x7F), or 0
// when none starts there (no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    const unsigned lead = at(0);
    const auto continuation = [](unsigned b, unsigned low = 0x80, unsigned high = 0xBF) {
        return b >= low && b <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(at(1)) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(at(1), low, high) && continuation(at(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(at(1), low, high) && continuation(at(2)) && continuation(at(3)) ? 4 : 0;
    }
    return 0;
}

// How many bytes from text[i] on are escaped one by one as \xHH (0 for none): a C1 control
// character (U+0080-U+009F, two bytes in UTF-8; terminals may take U+009B for the start of a
// control sequence) or a byte 0x80-0x9F outside valid UTF-8, which some terminals read as
// the same C1 character. `plain` is set to how many bytes stay as they are otherwise.
std::size_t HighBytesToEscape(std::string_view text, std::size_t i, std::size_t& plain) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
        return 2;
    }
    if (length == 0 && byte <= 0x9F) {
        return 1;
    }
    plain = length == 0 ? 1 : length;
    return 0;
}

// Where escaped text goes: a string, or a buffer with room enough (Room).
struct Room {
    char* at;
    void append(const char* p, std::size_t n) {
        if (n != 0) {
            std::memcpy(at, p, n);
            at += n;
        }
    }
    Room& operator+=(char c) {
        *at++ = c;
        return *this;
    }
    template <std::size_t N>
    Room& operator+=(const char (&text)[N]) {
        append(text, N - 1);
        return *this;
    }
};

template <class Out>
void AppendHex(Out& out, unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// A byte below 0x80 that stays as it is: printable, but "\".
constexpr bool PlainAscii(unsigned char byte) {
    return byte >= 0x20 && byte != 0x7F && byte != '\\';
}

// A byte below 0x80 as escaped: \\ \t \n \r or \xHH; `out` gets nothing for one that stays.
template <class Out>
bool AppendAsciiEscape(Out& out, unsigned char byte) {
    if (PlainAscii(byte)) {
        return false;
    }
    switch (byte) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            AppendHex(out, byte);
    }
    return true;
}

constexpr std::size_t kBlock = 16;

bool PlainPadded(const char* p, std::size_t rest);

#ifdef __SSE2__
// How many of the sixteen bytes at `p`, which start a character, stay as they are, when all of
// them do but perhaps a two-byte lead at the end (16 or 15), or 0: printable ASCII but "\" and
// DEL, and two-byte UTF-8 sequences with a lead byte 0xC3-0xDF (the letters of Czech and the
// other Latin, Greek and Cyrillic scripts), which are never C1 control characters. Anything
// else (control bytes, C1, three- and four-byte characters, invalid UTF-8) is left to the
// byte-by-byte way.
[[gnu::always_inline]] inline std::size_t PlainBlock(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto bytes = [](int b) { return _mm_set1_epi8(static_cast<char>(b)); };
    // As signed bytes, printable ASCII and DEL are those above 0x1F; 0x80 and up are negative.
    const __m128i printable = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, bytes(0x7F)), _mm_cmpeq_epi8(v, bytes('\\'))),
        _mm_cmpgt_epi8(v, bytes(0x1F)));
    const auto plainAscii = static_cast<unsigned>(_mm_movemask_epi8(printable));
    if (plainAscii == 0xFFFF) {
        return kBlock;
    }
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
    if ((plainAscii | high) != 0xFFFF) {
        return 0;
    }
    // Continuations 0x80-0xBF are the signed bytes below -64, leads 0xC3-0xDF those from -61 to
    // -33; each continuation must follow a lead and each lead be followed by one.
    const auto continuations =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, bytes(0xC0))));
    const auto leads = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpgt_epi8(v, bytes(0xC2)), _mm_cmplt_epi8(v, bytes(0xE0)))));
    if ((leads | continuations) != high || continuations != ((leads << 1) & 0xFFFF)) {
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
    const auto bytes = [](int b) { return _mm_set1_epi8(static_cast<char>(b)); };
    const unsigned before = (1u << (kBlock - rest)) - 1;  // the bytes left out
    const __m128i printable = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, bytes(0x7F)), _mm_cmpeq_epi8(v, bytes('\\'))),
        _mm_cmpgt_epi8(v, bytes(0x1F)));
    const auto plainAscii = static_cast<unsigned>(_mm_movemask_epi8(printable)) | before;
    if (plainAscii == 0xFFFF) {
        return true;
    }
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v)) & ~before;
    if ((plainAscii | high) != 0xFFFF) {
        return false;
    }
    const auto continuations =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, bytes(0xC0)))) & ~before;
    const auto leads = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                           _mm_cmpgt_epi8(v, bytes(0xC2)), _mm_cmplt_epi8(v, bytes(0xE0))))) &
                       ~before;
    // A lead cut off by the end of the text stays as it is, as any byte of invalid UTF-8 from
    // 0xA0 up.
    return (leads | continuations) == high && continuations == ((leads << 1) & 0xFFFF);
}
#else
// The same, eight bytes at a time in a word, for processors without SSE2 (the 32-bit Windows
// build): a byte below n (for n up to 0x80) and a zero byte are found with the borrow of a
// subtraction; lead bytes (11xxxxxx) and continuations (10xxxxxx) are flagged in their top bits.
std::size_t PlainBlock(const char* p) {
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

bool PlainTail(std::string_view text, std::size_t rest) {
    return PlainPadded(text.data() + text.size() - rest, rest);
}
#endif

// The same for the `rest` bytes at `p`, copied into a block padded with plain bytes (reading
// beyond the text could leave its memory).
bool PlainPadded(const char* p, std::size_t rest) {
    char last[kBlock];
    std::memset(last, 'a', kBlock);
    std::memcpy(last, p, rest);
    return PlainBlock(last) != 0;
}

// Whether no byte of `text` is escaped: most names.
[[gnu::always_inline]] inline bool AllPlain(std::string_view text) {
    std::size_t i = 0;
    while (text.size() - i > kBlock) {
        const std::size_t n = PlainBlock(text.data() + i);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return i == text.size() || PlainTail(text, text.size() - i);
}

template <class Out>
[[gnu::noinline]] void EscapeRunsTo(Out& out, std::string_view text) {
    // Runs of bytes that stay as they are go in whole, found sixteen at a time: rows and journals
    // carry every name and path of the tree, and those of deep trees are hundreds of kilobytes
    // long.
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t plainFrom = 0;
    std::size_t i = 0;
    while (i < size) {
        for (std::size_t n = 1; n != 0 && size - i >= kBlock; i += n) {
            n = PlainBlock(p + i);
        }
        if (i < size && size - i < kBlock) {
            if (PlainTail(text, size - i)) {
                break;
            }
        }
        // Byte by byte up to the next block, or to the end.
        for (const std::size_t until = i + kBlock; i < size && i < until;) {
            const auto byte = static_cast<unsigned char>(p[i]);
            if (byte < 0x80) {
                if (PlainAscii(byte)) {
                    ++i;
                    continue;
                }
                out.append(p + plainFrom, i - plainFrom);
                AppendAsciiEscape(out, byte);
                plainFrom = ++i;
                continue;
            }
            if (byte >= 0xC3 && byte <= 0xDF && i + 1 < size &&
                (static_cast<unsigned char>(p[i + 1]) & 0xC0) == 0x80) {
                i += 2;  // two bytes, never a C1 character (those start with 0xC2)
                continue;
            }
            std::size_t plain = 0;
            const std::size_t escaped = HighBytesToEscape(text, i, plain);
            if (escaped == 0) {
                i += plain;
                continue;
            }
            out.append(p + plainFrom, i - plainFrom);
            for (std::size_t k = 0; k < escaped; ++k) {
                AppendHex(out, static_cast<unsigned char>(p[i + k]));
            }
            i += escaped;
            plainFrom = i;
        }
    }
    out.append(p + plainFrom, size - plainFrom);
}

template <class Out>
void EscapeTo(Out& out, std::string_view text) {
    if (AllPlain(text)) {
        out.append(text.data(), text.size());
    } else {
        EscapeRunsTo(out, text);
    }
}

template <class Out>
void EscapeForWindowsTo(Out& out, std::string_view text) {
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 || byte == 0) {
            continue;
        }
        out.append(text.data() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        out += '<';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        out += '>';
    }
    out.append(text.data() + plainFrom, text.size() - plainFrom);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    EscapeTo(out, text);
}

char* EscapeInto(char* out, std::string_view text) {
    Room room{out};
    EscapeTo(room, text);
    return room.at;
}

void AppendEscapedByBytes(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (!AppendAsciiEscape(out, byte)) {
                out += text[i];
            }
            ++i;
            continue;
        }
        std::size_t plain = 0;
        const std::size_t escaped = HighBytesToEscape(text, i, plain);
        for (std::size_t k = 0; k < escaped; ++k) {
            AppendHex(out, static_cast<unsigned char>(text[i + k]));
        }
        out.append(text.substr(i + escaped, plain));
        i += escaped + plain;
    }
}

void AppendEscapedForWindows(std::string& out, std::string_view text) {
    EscapeForWindowsTo(out, text);
}

void AppendShown(std::string& out, std::string_view text) {
#ifdef _WIN32
    EscapeForWindowsTo(out, text);
#else
    EscapeTo(out, text);
#endif
}

char* ShownInto(char* out, std::string_view text) {
    Room room{out};
#ifdef _WIN32
    EscapeForWindowsTo(room, text);
#else
    EscapeTo(room, text);
#endif
    return room.at;
}

std::string ShownField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendShown(out, text);
    return out;
}

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

bool UnescapeField(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r') {
            return false;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 'x': {
                if (i + 2 >= text.size()) {
                    return false;
                }
                const int high = HexDigit(text[i + 1]);
                const int low = HexDigit(text[i + 2]);
                if (high < 0 || low < 0 || (high == 0 && low == 0)) {
                    return false;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

}  // namespace tovana
