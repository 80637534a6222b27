// The program's own words in the user's language: Czech from the catalogue po/cs.po under a
// Czech locale (on Windows, a Czech user interface language), English otherwise. The summary is
// the window's Czech words everywhere and is not translated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Chooses the language; call once, first.
void PrepareTexts();

// `english` in the user's language.
const char* Tr(const char* english);
#define _(english) Tr(english)

// `text` with %1, %2, ... replaced by `args` in that order of numbers.
std::string Format(std::string_view text, std::initializer_list<std::string_view> args);

namespace tovana {

// A compiled message catalogue (the .mo file msgfmt writes) read in place.
class MessageCatalogue {
  public:
    // Empty when `data` is no catalogue of either byte order.
    MessageCatalogue(const unsigned char* data, std::size_t size);
    // The translation of `english`, or null when it has none.
    const char* Find(std::string_view english) const;

  private:
    std::uint32_t Word(std::size_t at) const;
    std::string_view String(std::size_t table, std::uint32_t index) const;
    const unsigned char* data_;
    std::size_t size_;
    bool swapped_ = false;
    std::uint32_t count_ = 0;
    std::uint32_t originals_ = 0;
    std::uint32_t translations_ = 0;
};

}  // namespace tovana
