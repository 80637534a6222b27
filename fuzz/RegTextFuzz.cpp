// The settings file parser over any bytes: it must not crash or hang, and every value it gives
// must be one the file spelled out, so that writing it back and reading it again gives it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/RegText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tovana::RegValues values = tovana::ParseRegText(text);
    for (const auto& [name, value] : values) {
        // The name stands in the file between quotes, escaped or as it is.
        if (text.find(name) == std::string_view::npos &&
            text.find("\\\\") == std::string_view::npos &&
            text.find("\\\"") == std::string_view::npos) {
            std::abort();
        }
        const tovana::RegValues again =
            tovana::ParseRegText(tovana::FormatRegText({{name, value}}));
        if (again.size() != 1 || again.begin()->first != name || again.begin()->second != value) {
            std::abort();
        }
        if (value.data.size() > size) {
            std::abort();
        }
    }
    return 0;
}
