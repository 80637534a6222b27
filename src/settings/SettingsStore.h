// The per-user store of the window's inputs, shaped like a registry key: named values, each
// with a type number and raw bytes. Each platform has its own backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tovana {

// Value types, numbered as the registry numbers them.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

struct StoredValue {
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
    bool operator==(const StoredValue&) const = default;
};

enum class QueryStatus {
    Ok,
    Missing,   // no value of that name
    MoreData,  // the value is larger than the reader allows
    Failed,
};

// An open key; closing it is destroying it.
class SettingsKey {
  public:
    virtual ~SettingsKey() = default;
    // Reads a value of at most maxSize bytes.
    virtual QueryStatus Query(const std::string& name, std::size_t maxSize, StoredValue& value) = 0;
    // Writes a value; false when it cannot be written.
    virtual bool Set(const std::string& name, const StoredValue& value) = 0;
    // Makes the values set so far last; a store that writes each value at once has nothing
    // left to do. False when they could not be kept.
    virtual bool Commit() { return true; }
};

// The three ways of opening the key for reading, tried in this order.
enum class ReadAccess { Read, QueryAndEnumerate, QueryOnly };

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // Opens the existing key for reading; null when there is none or it cannot be read.
    virtual std::unique_ptr<SettingsKey> OpenForReading(ReadAccess access) = 0;
    // Opens the key for writing, creating it and its parents when needed; null on failure.
    virtual std::unique_ptr<SettingsKey> OpenForWriting() = 0;
};

}  // namespace tovana
