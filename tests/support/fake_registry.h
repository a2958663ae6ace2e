// An in-memory registry for the behaviour tests: keys below the four roots,
// names compared without regard to (ASCII) case and kept as first written,
// values of any kind, the statuses Windows answers with, and failures on
// demand. Records every call and every key left open.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry.h"

namespace tarnwick::testing {

class FakeRegistry {
  public:
    struct Value {
        String name;  // as first written
        std::uint32_t kind;
        std::string data;
    };

    // ---- scripting: when set, the operation answers this status and does
    // nothing else.
    std::optional<std::int32_t> createFailure, infoFailure, dataFailure, setFailure;

    // ---- recording
    std::vector<std::string> calls;  // "createKey 80000001 Software\X 63", ...

    // ---- RegistryApi
    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) {
        calls.push_back("createKey " + hex(root) + " " + toUtf8(subKey) + " " +
                        std::to_string(access));
        if (createFailure) return *createFailure;
        if (root < 0x80000000u || root > 0x80000003u) return registry_status::InvalidHandle;
        if (!subKey.empty() && subKey[0] == u'\\') return registry_status::BadPathname;
        String path, fold;
        std::size_t begin = 0;
        while (begin <= subKey.size()) {
            std::size_t end = subKey.find(u'\\', begin);
            if (end == String::npos) end = subKey.size();
            const String part = subKey.substr(begin, end - begin);
            if (!part.empty()) {
                fold += (fold.empty() ? u"" : u"\\") + upper(part);
                // An existing key keeps the case it was first written in.
                path = keys.emplace(std::make_pair(root, fold),
                                    path.empty() ? part : path + u"\\" + part)
                           .first->second;
            }
            begin = end + 1;
        }
        key = nextKey_++;
        open_[key] = {root, fold, access};
        return registry_status::Ok;
    }
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) {
        calls.push_back("queryValueInfo " + toUtf8(name));
        if (infoFailure) return *infoFailure;
        const Value* value = lookup(key, name);
        if (!value)
            return open_.count(key) ? registry_status::FileNotFound
                                    : registry_status::InvalidHandle;
        kind = value->kind;
        size = static_cast<std::uint32_t>(value->data.size());
        return registry_status::Ok;
    }
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) {
        calls.push_back("queryValueData " + toUtf8(name) + " room " + std::to_string(size));
        if (dataFailure) return *dataFailure;
        const Value* value = lookup(key, name);
        if (!value)
            return open_.count(key) ? registry_status::FileNotFound
                                    : registry_status::InvalidHandle;
        const auto needed = static_cast<std::uint32_t>(value->data.size());
        if (needed > size) {
            size = needed;
            return registry_status::MoreData;
        }
        if (needed > 0) std::memcpy(data, value->data.data(), needed);
        size = needed;
        return registry_status::Ok;
    }
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) {
        calls.push_back("setValue " + toUtf8(name) + " kind " + std::to_string(kind) + " size " +
                        std::to_string(size));
        if (setFailure) return *setFailure;
        const auto it = open_.find(key);
        if (it == open_.end()) return registry_status::InvalidHandle;
        if ((it->second.access & key_access::SetValue) == 0) return registry_status::AccessDenied;
        Value& value = values[{it->second.root, it->second.fold, upper(name)}];
        if (value.name.empty()) value.name = name;
        value.kind = kind;
        value.data.assign(data, size);
        return registry_status::Ok;
    }
    std::int32_t closeKey(RegistryKey key) {
        calls.push_back("closeKey");
        return open_.erase(key) ? registry_status::Ok : registry_status::InvalidHandle;
    }

    // ---- helpers for tests
    // Stores a value directly (creating its key), as another program would.
    void store(std::uint32_t root, const String& path, const String& name, std::uint32_t kind,
               const std::string& data) {
        RegistryKey key;
        createKey(root, path, key_access::Settings, key);
        setValue(key, name, kind, data.data(), static_cast<std::uint32_t>(data.size()));
        closeKey(key);
        calls.clear();
    }
    const Value* find(std::uint32_t root, const String& path, const String& name) const {
        const auto it = values.find({root, upper(path), upper(name)});
        return it == values.end() ? nullptr : &it->second;
    }
    bool keyExists(std::uint32_t root, const String& path) const {
        return keys.count({root, upper(path)}) != 0;
    }
    // The case a key path was first written in.
    String keyName(std::uint32_t root, const String& path) const {
        const auto it = keys.find({root, upper(path)});
        return it == keys.end() ? String() : it->second;
    }
    std::size_t openKeys() const { return open_.size(); }
    bool called(const std::string& prefix) const {
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }

    // Key paths (folded) by root, and values by root, folded key path and
    // folded name.
    std::map<std::pair<std::uint32_t, String>, String> keys;
    std::map<std::tuple<std::uint32_t, String, String>, Value> values;

  private:
    struct Open {
        std::uint32_t root;
        String fold;
        std::uint32_t access;
    };
    static String upper(String text) {
        for (char16_t& c : text)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        return text;
    }
    static std::string hex(std::uint32_t n) {
        static const char digits[] = "0123456789abcdef";
        std::string out(8, '0');
        for (int i = 7; i >= 0; --i, n >>= 4) out[i] = digits[n & 15];
        return out;
    }
    const Value* lookup(RegistryKey key, const String& name) const {
        const auto it = open_.find(key);
        if (it == open_.end()) return nullptr;
        const auto v = values.find({it->second.root, it->second.fold, upper(name)});
        return v == values.end() ? nullptr : &v->second;
    }
    std::map<RegistryKey, Open> open_;
    RegistryKey nextKey_ = 0x100;
};

}  // namespace tarnwick::testing
