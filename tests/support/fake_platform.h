// A scripted platform: plays Windows (backslash, drive letters) or Linux,
// answers from tables the test fills in; logs in order every call a launch can make.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tarnwick::testing {

class FakePlatform : public Platform {
  public:
    explicit FakePlatform(char16_t separator = u'\\') : separator_(separator) {}

    std::map<String, String> shortNames;            // a path not listed has no short form
    std::map<String, std::int32_t> existenceCodes;  // a name not listed answers 2
    std::map<String, std::int32_t> driveTypes;      // by the root asked about; else 3 (fixed)
    std::vector<String> directories;                // the folders a directory change accepts
    // When set, a process start, drive change or file rewrite raises this.
    std::optional<Error> startFailure, driveFailure, writeFailure;
    std::vector<std::int32_t> boxAnswers;  // the message boxes' answers in order; then Cancel
    std::map<String, std::string> files;   // file contents by name
    std::vector<String> readOnly;

    // Each folder's entries (by its path, no trailing separator) in listing
    // order, after "." and "..", as Windows lists them; others cannot be read.
    struct Entry {
        String name;
        std::uint32_t attributes = 0;
        std::uint64_t size = 0;
    };
    std::map<String, std::vector<Entry>> folders;
    std::map<String, std::uint64_t> folderIds;  // folders not listed are all different
    std::map<String, String> volumeLabels;      // by root; else the name buffer is left untouched
    std::function<void(int)> onYield;           // called at every yield, with the yields so far

    std::vector<std::string> calls;  // "readFile C:\x", ... in order
    std::vector<String> started;     // command lines
    struct Box {
        String prompt, caption;
        std::int32_t style;
    };
    std::vector<Box> boxes;
    String current = u"C:\\";
    int openEnumerations = 0, mostOpenEnumerations = 0, yields = 0;
    struct Opened {
        String target;
        std::int32_t parent;
    };
    std::vector<Opened> opened;

    void changeDrive(const String& text) override {
        calls.push_back("changeDrive " + toUtf8(text));
        if (driveFailure) throw *driveFailure;
    }
    void changeDirectory(const String& path) override {
        calls.push_back("changeDirectory " + toUtf8(path));
        if (std::find(directories.begin(), directories.end(), path) == directories.end())
            throw Error(errors::PathNotFound);
        current = path;
    }
    String currentDirectory() override { return current; }
    std::int32_t startProcess(const String& commandLine, std::int32_t style) override {
        calls.push_back("startProcess " + toUtf8(commandLine) + " style " + std::to_string(style));
        if (startFailure) throw *startFailure;
        started.push_back(commandLine);
        return 4242;
    }

    char16_t pathSeparator() const override { return separator_; }
    String driveOf(const String& path) const override {
        return separator_ == u'\\' ? path.substr(0, 2) : path;
    }
    std::uint32_t shortPathName(const String& path, String& area) override {
        calls.push_back("shortPathName " + toUtf8(path));
        const auto it = shortNames.find(path);
        return it == shortNames.end() ? 0 : fill(area, it->second);
    }
    std::int32_t driveType(const String& rootPath) override {
        calls.push_back("driveType " + toUtf8(rootPath));
        return driveTypes.count(rootPath) ? driveTypes[rootPath] : 3;
    }
    std::int32_t existenceTest(const String& fileName) override {
        calls.push_back("existenceTest " + toUtf8(fileName));
        return existenceCodes.count(fileName) ? existenceCodes[fileName] : 2;
    }

    bool isReadOnly(const String& path) override {
        return std::find(readOnly.begin(), readOnly.end(), path) != readOnly.end();
    }
    std::string readFile(const String& path, std::size_t maxBytes) override {
        calls.push_back("readFile " + toUtf8(path));
        const auto it = files.find(path);
        if (it == files.end()) throw Error(errors::FileNotFound);
        return it->second.substr(0, maxBytes);
    }
    void rewriteFile(const String& path, std::size_t maxBytes,
                     const std::function<std::string(std::string_view)>& edit) override {
        const std::string content = readFile(path, maxBytes + 1);
        if (content.size() > maxBytes) throw Error(errors::Overflow);
        const std::string edited = edit(content);
        mayWrite(path);
        files[path] = edited;
    }
    void patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                   const std::function<std::string(std::string_view)>& patch) override {
        const std::string bytes = patch(readFile(path, maxBytes));
        if (bytes.empty()) return;
        mayWrite(path);
        std::string& content = files[path];
        if (content.size() < offset + bytes.size()) content.resize(offset + bytes.size());
        content.replace(offset, bytes.size(), bytes);
    }

    String upperCase(const String& text) override { return mapAscii(text, u'a', u'z', -32); }
    String lowerCase(const String& text) override { return mapAscii(text, u'A', u'Z', 32); }
    std::string toAnsi(const String& text) override { return toUtf8(text); }
    String fromAnsi(std::string_view bytes) override { return fromUtf8(bytes); }
    // Latin-1, byte for character, on both the Windows and the Linux play.
    std::string toFieldText(const String& text) override {
        std::string bytes;
        for (const char16_t c : text) bytes += c <= 0xFF ? static_cast<char>(c) : '?';
        return bytes;
    }
    String fromFieldText(std::string_view bytes) override {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        return String(b, b + bytes.size());
    }

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override {
        calls.push_back("messageBox " + toUtf8(prompt));
        boxes.push_back({prompt, caption, style});
        std::int32_t answer = answers::Cancel;
        if (!boxAnswers.empty()) answer = boxAnswers.front(), boxAnswers.erase(boxAnswers.begin());
        return answer;
    }

    // The registry: one key's values, whatever key is opened; failures on demand.
    enum Operation { Create, Info, Data, Set };
    std::optional<std::int32_t> registryFailure[4];  // the status answered instead
    std::map<String, std::string> values;            // by name: kind byte, data
    std::set<RegistryKey> openKeys;
    std::int32_t createKey(std::uint32_t, const String&, std::uint32_t, RegistryKey& key) override {
        if (registryFailure[Create]) return *registryFailure[Create];
        openKeys.insert(key = openKeys.empty() ? 0x100 : *openKeys.rbegin() + 1);
        return registry_status::Ok;
    }
    std::int32_t queryValueInfo(RegistryKey, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) override {
        const auto v = values.find(name);
        if (registryFailure[Info] || v == values.end())
            return registryFailure[Info].value_or(registry_status::FileNotFound);
        kind = static_cast<unsigned char>(v->second[0]);
        size = static_cast<std::uint32_t>(v->second.size() - 1);
        return registry_status::Ok;
    }
    std::int32_t queryValueData(RegistryKey, const String& name, char* data,
                                std::uint32_t& size) override {
        const auto v = values.find(name);
        if (registryFailure[Data] || v == values.end())
            return registryFailure[Data].value_or(registry_status::FileNotFound);
        const auto needed = static_cast<std::uint32_t>(v->second.size() - 1);
        if (needed > size) return size = needed, registry_status::MoreData;
        std::memcpy(data, v->second.data() + 1, size = needed);
        return registry_status::Ok;
    }
    std::int32_t setValue(RegistryKey, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) override {
        if (registryFailure[Set]) return *registryFailure[Set];
        values[name] = char(kind) + std::string(data, size);
        return registry_status::Ok;
    }
    std::int32_t closeKey(RegistryKey key) override {
        return openKeys.erase(key) ? registry_status::Ok : registry_status::InvalidHandle;
    }
    FindHandle findFirst(const String& pattern, FindDetail, FindData& data) override {
        const std::size_t cut = pattern.rfind(separator_);
        const String folder = cut == String::npos ? current : pattern.substr(0, cut);
        String name = cut == String::npos ? pattern : pattern.substr(cut + 1);
        if (name == u"*.*") name = u"*";  // every name, even one without a dot
        const auto it = folders.find(folder);
        if (it == folders.end() || name.empty()) return invalidFindHandle;
        std::vector<Entry> e{{u".", file_attributes::Directory},
                             {u"..", file_attributes::Directory}};
        e.insert(e.end(), it->second.begin(), it->second.end());
        std::erase_if(e, [&](const Entry& entry) { return !glob(name, entry.name); });
        if (e.empty()) return invalidFindHandle;
        const FindHandle handle = nextHandle_++;
        enumerations_[handle] = {e, 0};
        mostOpenEnumerations = std::max(mostOpenEnumerations, ++openEnumerations);
        findNext(handle, data);
        return handle;
    }
    bool findNext(FindHandle handle, FindData& data) override {
        auto& [entries, next] = enumerations_.at(handle);
        if (next == entries.size()) return false;
        const Entry& e = entries[next++];
        data = {e.attributes, std::uint32_t(e.size >> 32), std::uint32_t(e.size), e.name};
        return true;
    }
    void findClose(FindHandle h) override { openEnumerations -= int(enumerations_.erase(h)); }
    std::uint32_t entryAttributes(const String& path, const FindData& found) override {
        // The entry just delivered, asked for by its full path.
        return path.ends_with(separator_ + found.name) ? found.attributes
                                                       : file_attributes::Invalid;
    }
    std::uint32_t searchPath(const String& folder, const String& fileName,
                             String& buffer) override {
        calls.push_back("searchPath " + toUtf8(folder) + " | " + toUtf8(fileName));
        const String where = folder.empty() ? current : folder;
        const auto it = folders.find(where);
        if (it == folders.end() || fileName.find_first_of(u"*?") != String::npos) return 0;
        for (const Entry& entry : it->second)
            if (glob(fileName, entry.name)) return fill(buffer, where + separator_ + entry.name);
        return 0;
    }
    std::optional<FolderId> folderId(const String& path) override {
        String p = path;
        while (p.size() > 1 && p.back() == separator_) p.pop_back();
        return folders.count(p) ? std::optional(idOf(p)) : std::nullopt;
    }
    std::vector<FolderId> folderChain(const String& path) override {
        std::vector<FolderId> chain;
        for (std::size_t i = 1; i <= path.size(); ++i)
            if ((i == path.size() || path[i] == separator_) && folders.count(path.substr(0, i)))
                chain.push_back(idOf(path.substr(0, i)));
        return chain;
    }

    bool volumeInformation(const String& rootPath, String& nameBuffer) override {
        const auto it = volumeLabels.find(rootPath);
        if (it == volumeLabels.end()) return false;
        const std::size_t n = std::min(it->second.size(), nameBuffer.size() - 1);
        nameBuffer.replace(0, n + 1, it->second.substr(0, n) + u'\0');
        return true;
    }
    bool namesIgnoreCase() const override { return separator_ == u'\\'; }

    void keepOnTop(std::int32_t window, bool on) override {
        calls.push_back("keepOnTop " + std::to_string(window) + (on ? " on" : " off"));
    }
    void yieldToMessages() override {
        calls.push_back("yield");
        ++yields;
        if (onYield) onYield(yields);
    }
    void deleteSilently(const String& path) override {
        calls.push_back("deleteSilently " + toUtf8(path));
    }
    void openWithDefault(const String& target, std::int32_t parentWindow) override {
        calls.push_back("openWithDefault " + toUtf8(target));
        opened.push_back({target, parentWindow});
    }

    // ---- helpers: a folder (and its entry in the folder above), a file in a tree
    void addFolder(const String& path, std::uint32_t attributes = 0) {
        folders[path];
        const std::size_t cut = path.rfind(separator_);
        if (cut != String::npos && folders.count(path.substr(0, cut)))
            folders[path.substr(0, cut)].push_back(
                {path.substr(cut + 1), attributes | file_attributes::Directory});
    }
    void addTreeFile(const String& path, std::uint64_t size, std::uint32_t attributes = 0) {
        const std::size_t cut = path.rfind(separator_);
        folders[path.substr(0, cut)].push_back({path.substr(cut + 1), attributes, size});
    }
    void addFile(const String& path, const String& shortName = String()) {
        existenceCodes[path] = 0;
        shortNames[path] = shortName.empty() ? path : shortName;
    }
    bool called(const std::string& prefix) const {
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }

  private:
    // As the system hands back a path: into the area with a NUL, or the room it needs.
    static std::uint32_t fill(String& area, const String& text) {
        if (text.size() + 1 > area.size()) return static_cast<std::uint32_t>(text.size() + 1);
        area.replace(0, text.size() + 1, text + u'\0');
        return static_cast<std::uint32_t>(text.size());
    }
    void mayWrite(const String& path) {
        if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
        if (writeFailure) throw *writeFailure;
    }
    // Windows wildcards * and ?, ASCII letters in any case.
    static bool glob(std::u16string_view p, std::u16string_view n) {  // a star: none, or one more
        const auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; };
        if (p.empty()) return n.empty();
        if (p[0] == u'*') return glob(p.substr(1), n) || (!n.empty() && glob(p, n.substr(1)));
        return !n.empty() && (p[0] == u'?' || fold(p[0]) == fold(n[0])) &&
               glob(p.substr(1), n.substr(1));
    }
    FolderId idOf(const String& path) {
        if (folderIds.count(path)) return {1, folderIds[path]};
        return {1, automaticIds_.emplace(path, 1000000 + automaticIds_.size()).first->second};
    }
    static String mapAscii(String text, char16_t from, char16_t to, int delta) {
        for (char16_t& c : text)
            if (c >= from && c <= to) c = static_cast<char16_t>(c + delta);
        return text;
    }
    std::map<FindHandle, std::pair<std::vector<Entry>, std::size_t>> enumerations_;  // and the next
    FindHandle nextHandle_ = 1;
    std::map<String, std::uint64_t> automaticIds_;
    char16_t separator_;
};

}  // namespace tarnwick::testing
