// An in-memory registry: one key's values, whatever key is opened; failures on demand.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "platform/registry.h"

namespace tarnwick::testing {

struct FakeRegistry {
    enum Operation { Create, Info, Data, Set };
    std::optional<std::int32_t> failure[4];  // the status answered instead
    std::map<String, std::string> values;    // by name: kind byte, data
    std::set<RegistryKey> open;              // the keys open now

    std::int32_t createKey(std::uint32_t, const String&, std::uint32_t, RegistryKey& key) {
        if (failure[Create]) return *failure[Create];
        open.insert(key = open.empty() ? 0x100 : *open.rbegin() + 1);
        return registry_status::Ok;
    }
    std::int32_t queryValueInfo(RegistryKey, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) {
        const auto v = values.find(name);
        if (failure[Info] || v == values.end())
            return failure[Info].value_or(registry_status::FileNotFound);
        kind = static_cast<unsigned char>(v->second[0]);
        size = static_cast<std::uint32_t>(v->second.size() - 1);
        return registry_status::Ok;
    }
    std::int32_t queryValueData(RegistryKey, const String& name, char* data, std::uint32_t& size) {
        const auto v = values.find(name);
        if (failure[Data] || v == values.end())
            return failure[Data].value_or(registry_status::FileNotFound);
        const auto needed = static_cast<std::uint32_t>(v->second.size() - 1);
        if (needed > size) return size = needed, registry_status::MoreData;
        std::memcpy(data, v->second.data() + 1, size = needed);
        return registry_status::Ok;
    }
    std::int32_t setValue(RegistryKey, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) {
        if (failure[Set]) return *failure[Set];
        values[name] = char(kind) + std::string(data, size);
        return registry_status::Ok;
    }
    std::int32_t closeKey(RegistryKey key) {
        return open.erase(key) ? registry_status::Ok : registry_status::InvalidHandle;
    }
};

}  // namespace tarnwick::testing
