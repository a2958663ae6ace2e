// An in-memory registry for the behaviour tests: values of any kind below
// the four roots, key paths and names compared without regard to (ASCII)
// case, the statuses Windows answers with, and failures on demand.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "platform/registry.h"

namespace tarnwick::testing {

class FakeRegistry {
  public:
    enum Operation { Create, Info, Data, Set };
    // When set, that operation answers this status and does nothing else.
    std::optional<std::int32_t> failure[4];
    // Each value as its kind (one byte) and its data, by root, folded key
    // path and folded name.
    std::map<std::tuple<std::uint32_t, String, String>, std::string> values;

    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) {
        if (failure[Create]) return *failure[Create];
        open_[key = ++lastKey_] = {root, fold(subKey), access};
        return registry_status::Ok;
    }
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) {
        const std::string* v = nullptr;
        if (const std::int32_t status = failure[Info] ? *failure[Info] : lookup(key, name, v))
            return status;
        kind = static_cast<unsigned char>((*v)[0]);
        size = static_cast<std::uint32_t>(v->size() - 1);
        return registry_status::Ok;
    }
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) {
        const std::string* v = nullptr;
        if (const std::int32_t status = failure[Data] ? *failure[Data] : lookup(key, name, v))
            return status;
        const auto needed = static_cast<std::uint32_t>(v->size() - 1);
        if (needed > size) {
            size = needed;
            return registry_status::MoreData;
        }
        if (needed > 0) std::memcpy(data, v->data() + 1, needed);
        size = needed;
        return registry_status::Ok;
    }
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) {
        if (failure[Set]) return *failure[Set];
        const auto it = open_.find(key);
        if (it == open_.end()) return registry_status::InvalidHandle;
        if (!(it->second.access & key_access::SetValue)) return registry_status::AccessDenied;
        values[{it->second.root, it->second.path, fold(name)}] =
            static_cast<char>(kind) + std::string(data, size);
        return registry_status::Ok;
    }
    std::int32_t closeKey(RegistryKey key) {
        return open_.erase(key) ? registry_status::Ok : registry_status::InvalidHandle;
    }

    std::size_t openKeys() const { return open_.size(); }
    static String fold(String text) {
        for (char16_t& c : text)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        return text;
    }

  private:
    struct Open {
        std::uint32_t root;
        String path;
        std::uint32_t access;
    };
    std::int32_t lookup(RegistryKey key, const String& name, const std::string*& value) const {
        const auto it = open_.find(key);
        if (it == open_.end()) return registry_status::InvalidHandle;
        const auto v = values.find({it->second.root, it->second.path, fold(name)});
        if (v == values.end()) return registry_status::FileNotFound;
        value = &v->second;
        return registry_status::Ok;
    }
    std::map<RegistryKey, Open> open_;
    RegistryKey lastKey_ = 0x100;
};

}  // namespace tarnwick::testing
