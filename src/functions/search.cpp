// Folder search: FindFile, FindFiles and the FoundFile event.
//
// Both searches recurse through the object's own public methods, so a
// nested call is an ordinary call on the same object and its events reach
// the same handlers. Neither traps errors: an error anywhere, in a handler
// too, ends every outer call, and the enumerations still open on the way
// are closed as it passes.
#include <algorithm>
#include <optional>

#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

String trimAtNull(const String& text) {
    const std::size_t end = text.find(u'\0');
    return end == String::npos ? text : text.substr(0, end);
}

String withTrailingSeparator(const String& path, char16_t separator) {
    if (path.empty() || path.back() == separator) return path;
    return path + separator;
}

bool isDotOrDotDot(const String& name) {
    return name == u"." || name == u"..";
}

// One open enumeration, closed on every way out of the scope that opened it.
class Enumeration {
  public:
    Enumeration(Platform& platform, const String& pattern, FindDetail detail)
        : platform_(platform), handle_(platform.findFirst(pattern, detail, entry_)) {}
    ~Enumeration() {
        if (handle_ != invalidFindHandle) platform_.findClose(handle_);
    }
    Enumeration(const Enumeration&) = delete;
    Enumeration& operator=(const Enumeration&) = delete;

    bool started() const { return handle_ != invalidFindHandle; }
    const FindData& entry() const { return entry_; }
    bool next() { return platform_.findNext(handle_, entry_); }

  private:
    Platform& platform_;
    FindData entry_;
    FindHandle handle_;
};

// What an entry adds to the total: its size as a Long when it fits one,
// else as a Double.
Variant sizeOf(const FindData& entry) {
    const std::uint64_t size = (std::uint64_t{entry.sizeHigh} << 32) | entry.sizeLow;
    if (size <= 0x7FFFFFFFu) return Variant(static_cast<std::int32_t>(size));
    return Variant(static_cast<double>(entry.sizeHigh) * 4294967296.0 +
                   static_cast<double>(entry.sizeLow));
}

// Whether subfolder is one of the folders the search is already inside
// (folder itself or one that holds it): through a link, a tree can hold
// itself, and descending again would never end. The chain of folder is
// asked for once, when its first subfolder is tested.
bool reentersTheSearch(Platform& platform, std::optional<std::vector<FolderId>>& chain,
                       const String& folder, const String& subfolder) {
    const std::optional<FolderId> id = platform.folderId(subfolder);
    if (!id) return false;
    if (!chain) chain = platform.folderChain(folder);
    return std::find(chain->begin(), chain->end(), *id) != chain->end();
}

}  // namespace

twFunctions::twFunctions(const twFunctions& other)
    : platform_(other.platform_), nextFoundFileToken_(other.nextFoundFileToken_) {
    for (const FoundFileSink& sink : other.foundFileSinks_)
        foundFileSinks_.push_back(
            {sink.token, std::make_shared<const FoundFileHandler>(*sink.handler)});
}

std::uint64_t twFunctions::addFoundFileHandler(FoundFileHandler handler) {
    const std::uint64_t token = nextFoundFileToken_++;
    foundFileSinks_.push_back(
        {token, std::make_shared<const FoundFileHandler>(std::move(handler))});
    return token;
}

void twFunctions::removeFoundFileHandler(std::uint64_t token) {
    std::erase_if(foundFileSinks_, [&](const FoundFileSink& s) { return s.token == token; });
}

void twFunctions::raiseFoundFile(const String& strPathAndFile) {
    // The handlers of this moment, in token order (the order they were
    // added): a handler may add or remove handlers while the event is under
    // way, so each next one is looked up afresh. One added meanwhile has a
    // newer token and waits for the next event; one removed is not found.
    const std::uint64_t newest = nextFoundFileToken_ - 1;
    std::uint64_t last = 0;
    for (;;) {
        const auto next = std::upper_bound(
            foundFileSinks_.begin(), foundFileSinks_.end(), last,
            [](std::uint64_t token, const FoundFileSink& sink) { return token < sink.token; });
        if (next == foundFileSinks_.end() || next->token > newest) return;
        last = next->token;
        // Kept alive while it runs, even if it removes itself.
        const std::shared_ptr<const FoundFileHandler> handler = next->handler;
        if (*handler) (*handler)(strPathAndFile);
    }
}

String twFunctions::FindFile(const String& FileName, const String& path) {
    // The folder itself first, as passed.
    String buffer(260, u'\0');
    std::uint32_t length = platform_.searchPath(path, FileName, buffer);
    // A full path that does not fit: the system names the room it needs, and
    // the path is asked for again with that much (it may grow in between).
    for (int attempt = 0; length > buffer.size() && attempt < 3; ++attempt) {
        buffer.assign(length, u'\0');
        length = platform_.searchPath(path, FileName, buffer);
    }
    if (length != 0) return trimAtNull(buffer);

    // Then every subfolder that is neither hidden nor system, in the order
    // the system lists them, each with all of its own before the next.
    const String folder = withTrailingSeparator(path, platform_.pathSeparator());
    Enumeration entries(platform_, folder + u"*.*", FindDetail::Basic);
    if (!entries.started()) return String();
    std::optional<std::vector<FolderId>> chain;
    do {
        const FindData& entry = entries.entry();
        if (!(entry.attributes & file_attributes::Directory)) continue;
        const String name = trimAtNull(entry.name);
        if (isDotOrDotDot(name)) continue;
        if (entry.attributes & (file_attributes::Hidden | file_attributes::System)) continue;
        const String subfolder = folder + name;
        if (reentersTheSearch(platform_, chain, path, subfolder)) continue;
        String found = FindFile(FileName, subfolder);
        if (!found.empty()) return found;
    } while (entries.next());
    return String();
}

Variant twFunctions::FindFiles(String& path, const String& searchFor) {
    // The pattern is a value: the caller may pass one string as both, and
    // the folder gains its separator below.
    const String SearchStr = searchFor;
    Variant total;
    const char16_t separator = platform_.pathSeparator();
    if (path.empty() || path.back() != separator) path += separator;

    // Every subfolder of this folder, collected completely (and the
    // enumeration closed) before anything is reported.
    std::vector<String> subfolders;
    std::int16_t count = 0;  // the list's counter is 16-bit
    {
        Enumeration entries(platform_, path + u"*", FindDetail::Basic);
        if (entries.started()) {
            do {
                const String name = trimAtNull(entries.entry().name);
                if (isDotOrDotDot(name)) continue;
                if (platform_.entryAttributes(path + name, entries.entry()) &
                    file_attributes::Directory) {
                    if (count == 32767) throw Error(errors::Overflow);
                    ++count;
                    subfolders.push_back(name);
                }
            } while (entries.next());
        }
    }

    // Every matching entry of this folder, folders included.
    {
        Enumeration matches(platform_, path + SearchStr, FindDetail::WithSize);
        if (matches.started()) {
            do {
                const String name = trimAtNull(matches.entry().name);
                if (isDotOrDotDot(name)) continue;
                total += sizeOf(matches.entry());
                raiseFoundFile(path + name);
            } while (matches.next());
        }
    }

    // Then each subfolder, completely, in the order listed.
    std::optional<std::vector<FolderId>> chain;
    for (const String& name : subfolders) {
        if (reentersTheSearch(platform_, chain, path, path + name)) continue;
        String subfolder = path + name + separator;
        total += FindFiles(subfolder, SearchStr);
    }
    return total;
}

}  // namespace tarnwick
