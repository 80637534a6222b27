#include "support/MemorySettingsStore.h"

namespace tovana::test {
namespace {

class MemoryKey : public SettingsKey {
  public:
    MemoryKey(MemorySettingsStore& store, bool writable) : store_(store), writable_(writable) {}

    QueryStatus Query(const std::string& name, std::size_t maxSize, StoredValue& value) override {
        const StoredValue* found = store_.Find(name);
        if (found == nullptr) {
            return QueryStatus::Missing;
        }
        if (found->data.size() > maxSize) {
            return QueryStatus::MoreData;
        }
        value = *found;
        return QueryStatus::Ok;
    }

    bool Set(const std::string& name, const StoredValue& value) override {
        if (!writable_ || store_.unwritable.count(name) != 0) {
            return false;
        }
        store_.Put(name, value);
        return true;
    }

  private:
    MemorySettingsStore& store_;
    bool writable_;
};

}  // namespace

const StoredValue* MemorySettingsStore::Find(const std::string& name) const {
    if (!key) {
        return nullptr;
    }
    for (const auto& [valueName, value] : *key) {
        if (valueName == name) {
            return &value;
        }
    }
    return nullptr;
}

void MemorySettingsStore::Put(const std::string& name, StoredValue value) {
    if (!key) {
        key.emplace();
    }
    for (auto& entry : *key) {
        if (entry.first == name) {
            entry.second = std::move(value);
            return;
        }
    }
    key->emplace_back(name, std::move(value));
}

void MemorySettingsStore::PutText(const std::string& name, const std::string& text) {
    StoredValue value{kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    Put(name, value);
}

void MemorySettingsStore::PutFlag(const std::string& name, bool on) {
    Put(name, {kRegDword, {static_cast<std::uint8_t>(on), 0, 0, 0}});
}

std::unique_ptr<SettingsKey> MemorySettingsStore::OpenForReading(ReadAccess) {
    ++opensForReading;
    return key ? std::make_unique<MemoryKey>(*this, false) : nullptr;
}

std::unique_ptr<SettingsKey> MemorySettingsStore::OpenForWriting() {
    if (!creatable) {
        return nullptr;
    }
    if (!key) {
        key.emplace();
    }
    return std::make_unique<MemoryKey>(*this, true);
}

}  // namespace tovana::test
