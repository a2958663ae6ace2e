// Folder search: FindFile, FindFiles and the FoundFile event.
//
// Both searches recurse through the object's own public methods, so a
// nested call is an ordinary call on the same object and its events reach
// the same handlers. A search enters each folder once, however many links
// or mounts lead to it. Neither traps errors: an error anywhere, in a handler
// too, ends every outer call, and the enumerations still open on the way
// are closed as it passes.
#include <algorithm>
#include <optional>
#include <unordered_set>

#include "core/names.h"
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

// The text up to its first NUL, as the system's C strings end there.
std::u16string_view untilNull(const String& text) {
    return std::u16string_view(text).substr(0, text.find(u'\0'));
}
String trimAtNull(const String& text) {
    return String(untilNull(text));
}

String withTrailingSeparator(const String& path, char16_t separator) {
    if (path.empty() || path.back() == separator) return path;
    return path + separator;
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

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const {
        return std::hash<std::uint64_t>()(id.volume * 0x9E3779B97F4A7C15ull ^ id.index);
    }
};
// One search under way, from its first call to the return of that call:
// the identity of every folder it has entered, and of every folder that
// holds the one it started in. A folder met again, through a link or a
// mount, is not searched again: a tree that holds itself would never end,
// and folders linked to the next twice over would be searched 2^n times.
struct SearchWalk {
    const twFunctions* owner;
    String start;
    // The folders above the start are asked for once, when the first
    // subfolder is tested: a search that ends in its first folder needs none.
    bool holdersKnown;
    std::unordered_set<FolderId, FolderIdHash> entered;
    // The platform's reading ahead of this search, if it does any.
    std::unique_ptr<SearchAhead> ahead;
    // Whether the nested call that returned last went into its folder.
    bool lastEntered = true;
};

// The nested calls of a search are calls of the same public methods, so
// the walk is handed to them here, on the caller's thread, for the moment
// of the call: the nested call takes it at once. Anything else that runs
// meanwhile (a FoundFile handler starting a search of its own) finds none
// and begins a walk of its own.
thread_local SearchWalk* walkHandedDown = nullptr;

class WalkScope {
  public:
    WalkScope(const twFunctions& owner, Platform& platform, const SearchPlan& plan)
        : platform_(platform) {
        walk_ =
            walkHandedDown != nullptr && walkHandedDown->owner == &owner ? walkHandedDown : nullptr;
        walkHandedDown = nullptr;
        if (walk_ == nullptr) {
            own_.emplace(
                SearchWalk{&owner, plan.folder, false, {}, platform.searchAhead(plan), true});
            walk_ = &*own_;
        }
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

    // Whether this call is one of a search already under way (and not the
    // one that began it, whose folder holds the start).
    bool isNested() const { return !own_; }
    // Whether the search goes into subfolder: not when it was entered before.
    bool enter(const String& subfolder) {
        const std::optional<FolderId> id = platform_.folderId(subfolder);
        return id ? enter(*id) : entered();
    }
    // Whether the search goes into the folder id: not when it was entered before.
    bool enter(const FolderId& id) {
        if (!walk_->holdersKnown) {
            for (const FolderId& holder : platform_.folderChain(walk_->start))
                walk_->entered.insert(holder);
            walk_->holdersKnown = true;
        }
        return walk_->entered.insert(id).second && entered();
    }
    // Tells the call that handed the walk down whether this one went in.
    void leaving(bool entered) { walk_->lastEntered = entered; }
    bool nestedEntered() const { return walk_->lastEntered; }
    // Runs a nested call of the search with this walk.
    template <typename Call>
    auto nested(Call call) {
        struct Handing {
            explicit Handing(SearchWalk* walk) { walkHandedDown = walk; }
            ~Handing() { walkHandedDown = nullptr; }
        } handing(walk_);
        return call();
    }

  private:
    bool entered() {
        if (walk_->ahead) walk_->ahead->entered();
        return true;
    }

    Platform& platform_;
    SearchWalk* walk_;
    std::optional<SearchWalk> own_;
};

// A folder read for a search where the platform can only enumerate: listed
// twice, every entry for the subfolders, then the matches.
void readTwice(Platform& platform, const String& folder, const String& pattern, bool identify,
               FolderVisitor& visitor) {
    if (identify) {
        const std::optional<FolderId> id = platform.folderId(folder.substr(0, folder.size() - 1));
        if (id && !visitor.entering(*id)) return;
    }
    {
        Enumeration entries(platform, folder + u"*", FindDetail::Basic);
        if (entries.started()) {
            do {
                const String name = trimAtNull(entries.entry().name);
                if (isDotOrDotDot(name.c_str())) continue;
                if (platform.entryAttributes(folder + name, entries.entry()) &
                    file_attributes::Directory)
                    visitor.subfolder(name);
            } while (entries.next());
        }
    }
    Enumeration matches(platform, folder + pattern, FindDetail::WithSize);
    if (!matches.started()) return;
    do {
        // The test stops at a NUL, as the name itself does.
        if (!isDotOrDotDot(matches.entry().name.c_str())) visitor.match(matches.entry());
    } while (matches.next());
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
    WalkScope walk(
        *this, platform_,
        SearchPlan{.folder = path, .pattern = FileName, .hiddenFolders = false, .oneName = true});
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
    // the system lists them, each with all of its own before the next. The
    // list is read whole and closed first, so a deep tree holds no open
    // listing per level.
    const String folder = withTrailingSeparator(path, platform_.pathSeparator());
    std::vector<String> subfolders;
    {
        Enumeration entries(platform_, folder + u"*.*", FindDetail::Basic);
        if (!entries.started()) return String();
        do {
            const FindData& entry = entries.entry();
            if (!(entry.attributes & file_attributes::Directory)) continue;
            String name = trimAtNull(entry.name);
            if (isDotOrDotDot(name.c_str())) continue;
            if (entry.attributes & (file_attributes::Hidden | file_attributes::System)) continue;
            subfolders.push_back(std::move(name));
        } while (entries.next());
    }
    for (const String& name : subfolders) {
        const String subfolder = folder + name;
        if (!walk.enter(subfolder)) continue;
        String found = walk.nested([&] { return FindFile(FileName, subfolder); });
        if (!found.empty()) return found;
    }
    return String();
}

Variant twFunctions::FindFiles(String& path, const String& searchFor) {
    // The pattern is a value: the caller may pass one string as both, and
    // the folder gains its separator below.
    const String SearchStr = searchFor;
    const char16_t separator = platform_.pathSeparator();
    if (path.empty() || path.back() != separator) path += separator;
    WalkScope walk(*this, platform_,
                   SearchPlan{.folder = path, .pattern = SearchStr, .sizes = true});

    // Every subfolder of this folder, collected completely before anything
    // is reported; then every matching entry, folders included, reported as
    // it comes. A folder reached again through a link or a mount is known
    // by the listing that opened it, and left unread.
    struct Reading final : FolderVisitor {
        twFunctions& owner;
        WalkScope& walk;
        const String& path;
        Variant total;
        std::vector<String> subfolders;
        std::int16_t count = 0;  // the list's counter is 16-bit
        bool entered = true;
        String found;  // each match's full path, built in the room of the one before

        Reading(twFunctions& o, WalkScope& w, const String& p) : owner(o), walk(w), path(p) {}
        bool entering(const FolderId& id) override { return entered = walk.enter(id); }
        void subfolder(const String& name) override {
            if (count == 32767) throw Error(errors::Overflow);
            ++count;
            subfolders.push_back(trimAtNull(name));
        }
        void match(const FindData& entry) override {
            total += sizeOf(entry);
            // This runs once a match, tens of thousands of times in a
            // collection: no allocation of its own.
            found.assign(path).append(untilNull(entry.name));
            owner.raiseFoundFile(found);
        }
    } reading(*this, walk, path);
    if (!platform_.readFolder(path, SearchStr, walk.isNested(), reading))
        readTwice(platform_, path, SearchStr, walk.isNested(), reading);

    // Then each subfolder, completely, in the order listed. One the search
    // had been in before adds nothing, not even an empty total.
    for (const String& name : reading.subfolders) {
        String subfolder = path + name + separator;
        Variant part = walk.nested([&] { return FindFiles(subfolder, SearchStr); });
        if (walk.nestedEntered()) reading.total += part;
    }
    walk.leaving(reading.entered);
    return reading.total;
}

}  // namespace tarnwick
