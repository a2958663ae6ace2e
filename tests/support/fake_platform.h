// A scripted platform for the behaviour tests: it plays Windows (backslash,
// drive letters) or Linux as told, answers from tables the test fills in, and
// records every call in order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fake_registry.h"

namespace tarnwick::testing {

class FakePlatform : public Platform {
  public:
    explicit FakePlatform(char16_t separator = u'\\') : separator_(separator) {}

    // ---- scripting
    // Short forms by path; a path not listed has none (the system answers 0).
    std::map<String, String> shortNames;
    // Existence codes by file name; a name not listed answers 2.
    std::map<String, std::int32_t> existenceCodes;
    // Drive types by the exact root path asked about; else 3 (fixed).
    std::map<String, std::int32_t> driveTypes;
    // Folders that a directory change accepts.
    std::vector<String> directories;
    // When set, a start of a process raises this error.
    std::optional<Error> startFailure;
    std::optional<Error> driveFailure;
    // Answers of the message boxes, used in order; then Cancel.
    std::vector<std::int32_t> boxAnswers;

    // File contents by name, and the names marked read-only.
    std::map<String, std::string> files;
    std::vector<String> readOnly;
    // When set, the next file rewrite raises this error (and writes nothing).
    std::optional<Error> writeFailure;

    // ---- recording
    std::vector<std::string> calls;  // "shortPathName C:\x", ... in order
    std::vector<String> started;     // command lines
    struct Box {
        String prompt;
        std::int32_t style;
        String caption;
    };
    std::vector<Box> boxes;
    String current = u"C:\\";
    String currentDrive = u"C";

    // ---- Platform
    void changeDrive(const String& text) override {
        calls.push_back("changeDrive " + toUtf8(text));
        if (driveFailure) throw *driveFailure;
        currentDrive = text.substr(0, 1);
    }
    void changeDirectory(const String& path) override {
        calls.push_back("changeDirectory " + toUtf8(path));
        for (const String& d : directories)
            if (d == path) {
                current = path;
                return;
            }
        throw Error(errors::PathNotFound);
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
        calls.push_back("shortPathName " + toUtf8(path) + " area " + std::to_string(area.size()));
        const auto it = shortNames.find(path);
        if (it == shortNames.end()) return 0;
        if (it->second.size() + 1 > area.size())
            return static_cast<std::uint32_t>(it->second.size() + 1);
        area.replace(0, it->second.size(), it->second);
        area[it->second.size()] = u'\0';
        return static_cast<std::uint32_t>(it->second.size());
    }
    std::int32_t driveType(const String& rootPath) override {
        calls.push_back("driveType " + toUtf8(rootPath));
        const auto it = driveTypes.find(rootPath);
        return it == driveTypes.end() ? 3 : it->second;
    }
    std::int32_t existenceTest(const String& fileName) override {
        calls.push_back("existenceTest " + toUtf8(fileName));
        const auto it = existenceCodes.find(fileName);
        return it == existenceCodes.end() ? 2 : it->second;
    }

    bool isReadOnly(const String& path) override {
        calls.push_back("isReadOnly " + toUtf8(path));
        for (const String& r : readOnly)
            if (r == path) return true;
        return false;
    }
    std::string readFile(const String& path, std::size_t maxBytes) override {
        calls.push_back("readFile " + toUtf8(path));
        const auto it = files.find(path);
        if (it == files.end()) throw Error(errors::FileNotFound);
        return it->second.substr(0, maxBytes);
    }
    void replaceFile(const String& path, std::string_view content) override {
        calls.push_back("replaceFile " + toUtf8(path));
        if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
        if (writeFailure) throw *writeFailure;
        files[path] = std::string(content);
    }
    void patchFile(const String& path, std::uint64_t offset, std::string_view bytes) override {
        calls.push_back("patchFile " + toUtf8(path));
        if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
        if (writeFailure) throw *writeFailure;
        const auto it = files.find(path);
        if (it == files.end()) throw Error(errors::FileNotFound);
        std::string& content = it->second;
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
        String text;
        for (const char b : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(b));
        return text;
    }

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override {
        calls.push_back("messageBox " + toUtf8(prompt));
        boxes.push_back({prompt, style, caption});
        if (boxAnswers.empty()) return answers::Cancel;
        const std::int32_t answer = boxAnswers.front();
        boxAnswers.erase(boxAnswers.begin());
        return answer;
    }

    // The registry: an in-memory store (see fake_registry.h).
    FakeRegistry registry;
    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) override {
        return registry.createKey(root, subKey, access, key);
    }
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) override {
        return registry.queryValueInfo(key, name, kind, size);
    }
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) override {
        return registry.queryValueData(key, name, data, size);
    }
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) override {
        return registry.setValue(key, name, kind, data, size);
    }
    std::int32_t closeKey(RegistryKey key) override { return registry.closeKey(key); }

    // ---- helpers for tests
    void addFile(const String& path, const String& shortName = String()) {
        existenceCodes[path] = 0;
        shortNames[path] = shortName.empty() ? path : shortName;
    }
    bool called(const std::string& prefix) const {
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }

  private:
    static String mapAscii(String text, char16_t from, char16_t to, int delta) {
        for (char16_t& c : text)
            if (c >= from && c <= to) c = static_cast<char16_t>(c + delta);
        return text;
    }
    char16_t separator_;
};

}  // namespace tarnwick::testing
