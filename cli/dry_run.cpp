// --dry-run: the library runs its own code on a platform that prints the
// starts and writes it would make instead of making them.
#include "cli.h"
#include "forwarding.h"

namespace tarnwick::cli {
namespace {

class DryRun final : public ForwardingPlatform {
  public:
    DryRun() : ForwardingPlatform(systemPlatform()) {}

    std::int32_t startProcess(const String& commandLine, std::int32_t) override {
        out(commandLine);
        return 1;
    }
    // The lines of a configuration file that the edit adds or changes, each
    // after the file's name, before the command line that would read them.
    void rewriteFile(const String& path, std::size_t maxBytes,
                     const std::function<std::string(std::string_view)>& edit) override {
        const std::string before = readFile(path, maxBytes);
        const std::string after = edit(before);
        std::size_t start = 0;
        while (start < after.size()) {
            std::size_t end = after.find('\n', start);
            if (end == std::string::npos) end = after.size();
            const std::string line = after.substr(start, end - start);
            if (("\n" + before + "\n").find("\n" + line + "\n") == std::string::npos)
                out(toUtf8(path) + ": " + line);
            start = end + 1;
        }
    }
    void patchFile(const String& path, std::size_t, std::uint64_t offset,
                   const std::function<std::string(std::string_view)>&) override {
        out(u"would patch " + path + u" at byte " + fromUtf8(std::to_string(offset)));
    }
    void deleteSilently(const String& path) override { out(u"would delete " + path); }
    void openWithDefault(const String& target, std::int32_t) override {
        out(u"would open " + target);
    }
};

bool dryRunning = false;

}  // namespace

void setDryRun(bool on) {
    dryRunning = on;
}
bool dryRun() {
    return dryRunning;
}
Platform& platform() {
    static DryRun dry;
    return dryRunning ? dry : systemPlatform();
}

}  // namespace tarnwick::cli
