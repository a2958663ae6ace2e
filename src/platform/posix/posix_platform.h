// The Linux (POSIX) backend.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/names.h"
#include "platform/platform.h"

namespace tarnwick {

struct PosixOptions {
    // The mount table that says which file system holds a path.
    std::string mountInfo = "/proc/self/mountinfo";
    // The per-user folder of short-form aliases; empty for the default
    // ($XDG_RUNTIME_DIR/tarnwick-short, else /tmp/tarnwick-<uid>-short, else
    // ~/.cache/tarnwick/short, else a fresh folder of the process).
    std::string aliasFolder;
    // The settings database; empty for the default ($TARNWICK_REGISTRY, else
    // $XDG_CONFIG_HOME/tarnwick/registry.sqlite, else under ~/.config).
    std::string registryFile;
    // The device database that records each block device's file-system
    // label (udev's), asked before the device itself.
    std::string udevData = "/run/udev/data";
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
    std::size_t readFileInto(const String& path, char* buffer, std::size_t size) override;
    void rewriteFile(const String& path, std::size_t maxBytes,
                     const std::function<std::string(std::string_view)>& edit) override;
    void patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                   const std::function<std::string(std::string_view)>& patch) override;

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
    bool readExistingValue(std::uint32_t root, const String& subKey, const String& name,
                           std::uint32_t& kind, std::string& data) override;
    std::int32_t listKey(std::uint32_t root, const String& subKey, std::vector<String>& subKeys,
                         std::vector<String>& valueNames) override;
    std::int32_t deleteValue(std::uint32_t root, const String& subKey, const String& name) override;
    std::int32_t deleteKey(std::uint32_t root, const String& subKey) override;
    std::unique_ptr<SearchAhead> searchAhead(const SearchPlan& plan) override;
    FindHandle findFirst(const String& pattern, FindDetail detail, FindData& data) override;
    bool findNext(FindHandle handle, FindData& data) override;
    void findClose(FindHandle handle) override;
    std::uint32_t entryAttributes(const String& path, const FindData& found) override;
    std::uint32_t searchPath(const String& folder, const String& fileName, String& buffer) override;
    std::optional<FolderId> folderId(const String& path) override;
    std::vector<FolderId> folderChain(const String& path) override;
    bool readFolder(const String& folder, const String& pattern, bool identify,
                    FolderVisitor& visitor) override;

    bool volumeInformation(const String& rootPath, String& nameBuffer) override;
    bool namesIgnoreCase() const override { return false; }

    void keepOnTop(std::int32_t window, bool on) override;
    void yieldToMessages() override;

    void deleteSilently(const String& path) override;
    void openWithDefault(const String& target, std::int32_t parentWindow) override;

    // The short form of path on this system, or "" (see shortPathName).
    String shortForm(const String& path);

  private:
    std::string aliasFolder();
    PosixOptions options_;
};

// An errno as the runtime error the failed call raises.
Error errorFromErrno(int error, Failed call = Failed::Call);
// An errno of stat as the existence code a test reports (missing names are
// decided by the caller, which knows whether the folder is there).
std::int32_t existenceFromErrno(int error);
// The error of a failed open of path: a missing file (53) is told from a
// missing folder on the way (76).
Error openError(int error, const std::string& path);

// One file system of the mount table (/proc/self/mountinfo), its fields
// unescaped.
struct MountEntry {
    std::string device;  // major:minor
    std::string mountPoint;
    std::string type;
    std::string source;
};
// The file systems of the table in the order they were mounted; empty when
// it cannot be read.
std::vector<MountEntry> readMountTable(const std::string& file);
// Opens the folder at path (links followed; "" is the current folder) with
// flags and close-on-exec, however long the path: past PATH_MAX it is
// opened a part at a time. -1 with errno set when it cannot be.
int openFolder(const std::string& path, int flags);
// The folder that holds path: "." for a bare name, "/" for an entry of the
// root. Trailing separators are the caller's to strip.
std::string folderOf(const std::string& path);
// The path with every link and ".." resolved, or "" when it does not resolve.
std::string canonicalPath(const std::string& path);
// Whether a file here can have the name. A NUL would end it early for the
// system, which would then take a shorter name (perhaps of a folder that
// holds the file meant); a lone surrogate has no UTF-8 form (only those
// fromUtf8 makes of single bytes turn back into them) and would stand for
// U+FFFD, another file's name. Either names no file at all.
bool namesAFile(const String& name);

// The letter case every name comparison without regard to case uses: the
// Unicode upper case of the C.UTF-8 locale, whatever locale the host set.
char32_t foldCase(char32_t c);

// A name pattern with the wildcards * (any run of characters) and ? (one
// character), matched without regard to case; "*.*" matches every name, as
// Windows does. Names are UTF-8, invalid bytes standing for themselves.
class NamePattern {
  public:
    explicit NamePattern(std::string_view pattern);
    bool matches(std::string_view name) const;
    bool matchesEverything() const { return everything_; }

  private:
    std::u32string folded_;
    bool everything_ = false;
};
// Whether two names are the same without regard to case.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

// The program name found along PATH (an executable file), or "".
std::string programOnPath(const std::string& name);
// What starting a Windows-style command line runs: the program found as
// Windows finds it, and its argument vector (argv[0] first). Raises 53 when
// no reading of the line names a file, 70 when one names a file that cannot
// be run.
struct StartPlan {
    std::string program;
    std::vector<std::string> arguments;
};
StartPlan planStart(const String& commandLine);
// Starts the program at path (not searched for) with arguments (argv[0]
// first), detached in a session of its own as startProcess does; returns its
// process id or raises Error. With quiet, its output goes to /dev/null.
int startDetached(const std::string& path, const std::vector<std::string>& arguments, bool quiet);

// Runs a program with arguments (argv[0] first, found through PATH when it
// has no slash) and waits for it; returns its exit status, or -1 when it
// could not be started. Output goes where output already goes.
int runAndWait(const std::vector<std::string>& argv);

}  // namespace tarnwick
