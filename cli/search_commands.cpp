// The folder searches of twFunctions.
#include <unistd.h>

#include <chrono>

#include "cli.h"

namespace tarnwick::cli {
namespace {

// A one-line progress report on a terminal, redrawn at most ten times a
// second so that printing does not slow the search down.
class Progress {
  public:
    Progress() : enabled_(::isatty(2) == 1) {}
    ~Progress() { clear(); }
    void found(const String& path) {
        ++count_;
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        std::string line = std::to_string(count_) + " found: " + toUtf8(path);
        if (line.size() > 76) line = line.substr(0, 36) + "..." + line.substr(line.size() - 37);
        const std::string text = "\r\033[K" + line;
        std::fflush(stdout);
        std::fwrite(text.data(), 1, text.size(), stderr);
        shown_ = true;
    }
    void clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }
    long count() const { return count_; }

  private:
    bool enabled_;
    bool shown_ = false;
    long count_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

std::vector<Command> searchCommands() {
    std::vector<Command> commands;
    commands.push_back(
        {"find", "find a file by name in a folder tree",
         "Usage: tarnwick find NAME FOLDER\n"
         "\n"
         "Prints the full path of the first file called NAME (in any letter case) in\n"
         "FOLDER or, failing that, in its subfolders, depth first; hidden folders are\n"
         "not searched. Exit status 1 when there is none.",
         [](const Args& a) {
             a.expectPositionals(2, "NAME and FOLDER");
             const String found = twFunctions().FindFile(a.positionals()[0], a.positionals()[1]);
             if (found.empty()) return No;
             out(found);
             return Ok;
         }});
    commands.push_back({"find-files", "list every match of a pattern in a folder tree",
                        "Usage: tarnwick find-files FOLDER PATTERN\n"
                        "\n"
                        "Prints the path of every entry of the tree whose name matches PATTERN\n"
                        "(wildcards * and ?, any letter case, *.* matching every name), folders\n"
                        "included, as it is found: a folder's matches before those of its\n"
                        "subfolders. The last line is 'total: ' and the matches' size in bytes.\n"
                        "On a terminal, stderr shows the progress. Exit status 1 when nothing\n"
                        "matched.",
                        [](const Args& a) {
                            a.expectPositionals(2, "FOLDER and PATTERN");
                            twFunctions f;
                            Progress progress;
                            f.addFoundFileHandler([&](const String& path) {
                                out(path);
                                progress.found(path);
                            });
                            String folder = a.positionals()[0];
                            const Variant total = f.FindFiles(folder, a.positionals()[1]);
                            progress.clear();
                            out(u"total: " + (total.isEmpty() ? String(u"0") : total.toString()));
                            return progress.count() > 0 ? Ok : No;
                        }});
    return commands;
}

}  // namespace tarnwick::cli
