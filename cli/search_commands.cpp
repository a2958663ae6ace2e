// The folder searches of twFunctions.
#include <unistd.h>

#include <chrono>
#include <filesystem>

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

// The folder to search, or No with the reason on stderr.
bool isFolder(const std::string& command, const String& folder) {
    std::error_code error;
    const std::string text = toUtf8(folder);
    if (std::filesystem::is_directory(std::filesystem::u8path(text), error)) return true;
    err("tarnwick " + command + ": " + text + ": no such folder");
    return false;
}

}  // namespace

std::vector<Command> searchCommands() {
    std::vector<Command> commands;
    commands.push_back(
        {"find", "find a file by name in a folder tree",
         "Usage: tarnwick find FOLDER NAME\n"
         "\n"
         "Prints the full path of the first file called NAME (in any letter case) in\n"
         "FOLDER or, failing that, in its subfolders, depth first; hidden folders are\n"
         "not searched. Exit status 1 when there is none, or no such FOLDER.",
         [](const Args& a) {
             a.expectPositionals(2, "FOLDER and NAME");
             const String& folder = a.positionals()[0];
             const String& name = a.positionals()[1];
             if (!isFolder("find", folder)) return No;
             const String found = twFunctions(platform()).FindFile(name, folder);
             if (found.empty()) {
                 err("tarnwick find: " + toUtf8(name) + ": not found in " + toUtf8(folder));
                 return No;
             }
             out(found);
             return Ok;
         }});
    commands.push_back(
        {"find-files",
         "list every match of a pattern in a folder tree",
         "Usage: tarnwick find-files [-0 | --json] [--total] FOLDER PATTERN\n"
         "\n"
         "Prints the path of every entry of the tree whose name matches PATTERN\n"
         "(wildcards * and ?, any letter case, *.* matching every name), folders\n"
         "included, one per line as it is found: a folder's matches before those of\n"
         "its subfolders. Then 'total: ' and the matches' size in bytes on stderr\n"
         "(only when something matched).\n"
         "\n"
         "  -0, --print0  end each path with NUL instead of a newline (for xargs -0)\n"
         "  --total       print the total line last on stdout instead\n"
         "  --json        print one JSON object when the search ends instead:\n"
         "                {\"folder\", \"pattern\", \"paths\": [...], \"total\"} (a name byte\n"
         "                that is no UTF-8 kept as the escape \\udcXX)\n"
         "\n"
         "On a terminal, stderr shows the progress. Exit status 1 when nothing\n"
         "matched, or no such FOLDER.",
         [](const Args& a) {
             a.expectPositionals(2, "FOLDER and PATTERN");
             if (!isFolder("find-files", a.positionals()[0])) return No;
             const bool nul = a.flag("0") || a.flag("print0"), json = a.flag("json");
             if (json && (nul || a.flag("total")))
                 throw UsageError{"--json stands alone: not with -0 or --total"};
             std::string paths;
             twFunctions f(platform());
             Progress progress;
             f.addFoundFileHandler([&](const String& path) {
                 // The progress line shares the terminal: gone before a path.
                 progress.clear();
                 if (json) {
                     paths += (paths.empty() ? "" : ",") + jsonString(path);
                     progress.found(path);
                     return;
                 }
                 const std::string text = toUtf8(path);
                 std::fwrite(text.data(), 1, text.size(), stdout);
                 std::fputc(nul ? '\0' : '\n', stdout);
                 progress.found(path);
             });
             String folder = a.positionals()[0];
             const Variant total = f.FindFiles(folder, a.positionals()[1]);
             const String bytes = total.isEmpty() ? String(u"0") : total.toString();
             progress.clear();
             if (json)
                 out("{\"folder\":" + jsonString(a.positionals()[0]) +
                     ",\"pattern\":" + jsonString(a.positionals()[1]) + ",\"paths\":[" + paths +
                     "],\"total\":" + toUtf8(bytes) + "}");
             const String line = u"total: " + bytes;
             if (a.flag("total")) out(line);
             if (progress.count() == 0) {
                 err("tarnwick find-files: " + toUtf8(a.positionals()[1]) +
                     ": nothing matches in " + toUtf8(a.positionals()[0]));
                 return No;
             }
             if (!a.flag("total") && !json) err(line);
             return Ok;
         },
         {},
         {"0", "print0", "total", "json"}});
    return commands;
}

}  // namespace tarnwick::cli
