// The Linux (POSIX) backend.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tarnwick {

struct PosixOptions {
    // The mount table that says which file system holds a path.
    std::string mountInfo = "/proc/self/mountinfo";
    // The per-user folder of short-form aliases; empty for the default
    // ($XDG_RUNTIME_DIR/tarnwick/short, else /tmp/tarnwick-<uid>/short).
    std::string aliasFolder;
    // The settings database; empty for the default ($TARNWICK_REGISTRY, else
    // $XDG_CONFIG_HOME/tarnwick/registry.sqlite, else under ~/.config).
    std::string registryFile;
};

class PosixPlatform final : public Platform {
  public:
    explicit PosixPlatform(PosixOptions options = {});

    void changeDrive(const String& text) override;
    void changeDirectory(const String& path) override;
    String currentDirectory() override;
    std::int32_t startProcess(const String& commandLine, std::int32_t windowStyle) override;

    char16_t pathSeparator() const override { return u'/'; }
    String driveOf(const String& path) const override { return path; }
    std::uint32_t shortPathName(const String& path, String& area) override;
    std::int32_t driveType(const String& rootPath) override;
    std::int32_t existenceTest(const String& fileName) override;
    bool isReadOnly(const String& path) override;
    std::string readFile(const String& path, std::size_t maxBytes) override;
    void replaceFile(const String& path, std::string_view content) override;
    void patchFile(const String& path, std::uint64_t offset, std::string_view bytes) override;

    String upperCase(const String& text) override;
    String lowerCase(const String& text) override;
    std::string toAnsi(const String& text) override { return toUtf8(text); }
    String fromAnsi(std::string_view bytes) override { return fromUtf8(bytes); }
    std::string toFieldText(const String& text) override;
    String fromFieldText(std::string_view bytes) override;

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override;

    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) override;
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) override;
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) override;
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) override;
    std::int32_t closeKey(RegistryKey key) override;

    // The short form of path on this system, or "" (see shortPathName).
    String shortForm(const String& path);

  private:
    std::string aliasFolder();
    PosixOptions options_;
};

// An errno as the runtime error a file operation raises.
Error errorFromErrno(int error);
// The error of a failed open of path: a missing file (53) is told from a
// missing folder on the way (76).
Error openError(int error, const std::string& path);

// Runs a program with arguments (argv[0] first, found through PATH when it
// has no slash) and waits for it; returns its exit status, or -1 when it
// could not be started. Output goes where output already goes.
int runAndWait(const std::vector<std::string>& argv);

}  // namespace tarnwick
