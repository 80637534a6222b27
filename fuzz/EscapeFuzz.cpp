// Escaping of rows and journals over any bytes: the sixteen-byte blocks give what the
// byte-by-byte way gives, and what is escaped reads back as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "journal/Escape.h"

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string fast;
    std::string reference;
    tovana::AppendEscaped(fast, text);
    tovana::AppendEscapedByBytes(reference, text);
    Check(fast == reference);
    if (text.find('\0') == std::string_view::npos) {
        std::string back;
        Check(tovana::UnescapeField(fast, back) && back == text);
    }
    return 0;
}
