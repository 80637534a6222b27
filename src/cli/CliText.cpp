#include "cli/CliText.h"

namespace tovana {
namespace {

constexpr std::uint32_t kMagic = 0x950412DE;
constexpr std::uint32_t kMagicSwapped = 0xDE120495;

}  // namespace

MessageCatalogue::MessageCatalogue(const unsigned char* data, std::size_t size)
    : data_(data), size_(size) {
    if (data_ == nullptr || size_ < 28) {
        size_ = 0;
        return;
    }
    const std::uint32_t magic = Word(0);
    if (magic != kMagic) {
        swapped_ = true;
        if (Word(0) != kMagic || magic != kMagicSwapped) {
            size_ = 0;
            return;
        }
    }
    count_ = Word(8);
    originals_ = Word(12);
    translations_ = Word(16);
    if (originals_ > size_ || translations_ > size_ || count_ > (size_ - originals_) / 8 ||
        count_ > (size_ - translations_) / 8) {
        size_ = 0;
        count_ = 0;
    }
}

std::uint32_t MessageCatalogue::Word(std::size_t at) const {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t byte = data_[at + static_cast<std::size_t>(swapped_ ? 3 - i : i)];
        value |= byte << (8 * i);
    }
    return value;
}

std::string_view MessageCatalogue::String(std::size_t table, std::uint32_t index) const {
    const std::uint32_t length = Word(table + index * 8);
    const std::uint32_t offset = Word(table + index * 8 + 4);
    if (offset > size_ || length >= size_ - offset) {
        return {};
    }
    return {reinterpret_cast<const char*>(data_) + offset, length};
}

// The originals are sorted by their bytes. The empty one is the catalogue's header.
const char* MessageCatalogue::Find(std::string_view english) const {
    if (english.empty()) {
        return nullptr;
    }
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        const std::string_view original = String(originals_, middle);
        const int order = original.compare(english);
        if (order == 0) {
            const std::string_view translation = String(translations_, middle);
            return translation.empty() ? nullptr : translation.data();
        }
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return nullptr;
}

}  // namespace tovana

std::string Format(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(text[i + 1] - '1');
            if (index < args.size()) {
                out += *(args.begin() + index);
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}
