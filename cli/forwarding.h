// A Platform that hands every call to another one. A wrapper derives from it
// and overrides only the calls it changes: the command's dry run, which
// reports starts and writes instead of doing them, is one.
#pragma once

#include "platform/platform.h"

namespace tarnwick {

class ForwardingPlatform : public Platform {
  public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

    void changeDrive(const String& text) override { inner_.changeDrive(text); }
    void changeDirectory(const String& path) override { inner_.changeDirectory(path); }
    String currentDirectory() override { return inner_.currentDirectory(); }
    std::int32_t startProcess(const String& line, std::int32_t style) override {
        return inner_.startProcess(line, style);
    }

    char16_t pathSeparator() const override { return inner_.pathSeparator(); }
    std::uint32_t shortPathName(const String& path, String& area) override {
        return inner_.shortPathName(path, area);
    }
    String driveOf(const String& path) const override { return inner_.driveOf(path); }
    std::int32_t driveType(const String& root) override { return inner_.driveType(root); }
    std::int32_t existenceTest(const String& name) override { return inner_.existenceTest(name); }
    bool isReadOnly(const String& path) override { return inner_.isReadOnly(path); }
    std::string readFile(const String& path, std::size_t maxBytes) override {
        return inner_.readFile(path, maxBytes);
    }
    void rewriteFile(const String& path, std::size_t maxBytes,
                     const std::function<std::string(std::string_view)>& edit) override {
        inner_.rewriteFile(path, maxBytes, edit);
    }
    void patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                   const std::function<std::string(std::string_view)>& patch) override {
        inner_.patchFile(path, maxBytes, offset, patch);
    }

    String upperCase(const String& text) override { return inner_.upperCase(text); }
    String lowerCase(const String& text) override { return inner_.lowerCase(text); }
    std::string toAnsi(const String& text) override { return inner_.toAnsi(text); }
    String fromAnsi(std::string_view bytes) override { return inner_.fromAnsi(bytes); }
    std::string toFieldText(const String& text) override { return inner_.toFieldText(text); }
    String fromFieldText(std::string_view bytes) override { return inner_.fromFieldText(bytes); }

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override {
        return inner_.messageBox(prompt, style, caption);
    }

    std::unique_ptr<SearchAhead> searchAhead(const SearchPlan& plan) override {
        return inner_.searchAhead(plan);
    }
    FindHandle findFirst(const String& pattern, FindDetail detail, FindData& data) override {
        return inner_.findFirst(pattern, detail, data);
    }
    bool findNext(FindHandle handle, FindData& data) override {
        return inner_.findNext(handle, data);
    }
    void findClose(FindHandle handle) override { inner_.findClose(handle); }
    std::uint32_t entryAttributes(const String& path, const FindData& found) override {
        return inner_.entryAttributes(path, found);
    }
    std::uint32_t searchPath(const String& folder, const String& name, String& buffer) override {
        return inner_.searchPath(folder, name, buffer);
    }
    std::optional<FolderId> folderId(const String& path) override { return inner_.folderId(path); }
    std::vector<FolderId> folderChain(const String& path) override {
        return inner_.folderChain(path);
    }
    bool readFolder(const String& folder, const String& pattern, bool identify,
                    FolderVisitor& visitor) override {
        return inner_.readFolder(folder, pattern, identify, visitor);
    }

    bool volumeInformation(const String& root, String& name) override {
        return inner_.volumeInformation(root, name);
    }
    bool namesIgnoreCase() const override { return inner_.namesIgnoreCase(); }

    void keepOnTop(std::int32_t window, bool on) override { inner_.keepOnTop(window, on); }
    void yieldToMessages() override { inner_.yieldToMessages(); }

    void deleteSilently(const String& path) override { inner_.deleteSilently(path); }
    void openWithDefault(const String& target, std::int32_t parent) override {
        inner_.openWithDefault(target, parent);
    }

    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) override {
        return inner_.createKey(root, subKey, access, key);
    }
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) override {
        return inner_.queryValueInfo(key, name, kind, size);
    }
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) override {
        return inner_.queryValueData(key, name, data, size);
    }
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) override {
        return inner_.setValue(key, name, kind, data, size);
    }
    std::int32_t closeKey(RegistryKey key) override { return inner_.closeKey(key); }
    bool readExistingValue(std::uint32_t root, const String& subKey, const String& name,
                           std::uint32_t& kind, std::string& data) override {
        return inner_.readExistingValue(root, subKey, name, kind, data);
    }
    std::int32_t listKey(std::uint32_t root, const String& subKey, std::vector<String>& subKeys,
                         std::vector<String>& valueNames) override {
        return inner_.listKey(root, subKey, subKeys, valueNames);
    }
    std::int32_t deleteValue(std::uint32_t root, const String& subKey,
                             const String& name) override {
        return inner_.deleteValue(root, subKey, name);
    }
    std::int32_t deleteKey(std::uint32_t root, const String& subKey) override {
        return inner_.deleteKey(root, subKey);
    }

  private:
    Platform& inner_;
};

}  // namespace tarnwick
