// Folder enumeration on Linux.
//
// The listing's file type (d_type) answers the folder test, so an entry
// costs a stat only where the listing says nothing (DT_UNKNOWN), where it
// names a link (whose target decides) or where its size is asked for.
// Hidden means a name that begins with "."; nothing counts as system.
//
// A listing is read in large blocks (getdents64), so a folder of a few
// thousand entries takes one system call. On a cold disk, where a stat
// waits for the disk, the lookups of the entries of the block that the
// enumeration is going to make (and of the subfolders a search enters
// next) are first made many at once (see read_ahead.h); each entry is still
// looked at on its own as it is delivered, so an entry that vanished
// meanwhile is left out as before.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/posix/posix_platform.h"
#include "platform/posix/read_ahead.h"

namespace tarnwick {

namespace {

// A block of the listing: room for some 2,000 entries of usual names.
constexpr std::size_t ListingBlock = 64 * 1024;
// A stat that took longer than this waited for the disk.
constexpr long ColdNanoseconds = 40000;
// A block of a listing already cached takes some 4 ns a byte of entries to
// read (a full block, a quarter of a millisecond): a listing waited for the
// disk when it took longer than a stat would and more than twice that.
constexpr long WarmListingNanosecondsPerByte = 10;

// Whether the last lookup or listing timed on this thread waited for the
// disk.
thread_local bool diskCold = false;

struct Enumeration {
    int fd;
    NamePattern pattern;
    FindDetail detail;
    // What the read-ahead on a cold disk goes into: the listings of the
    // subfolders a search enters next, or the lookups of the matches.
    bool listings;
    // Left uninitialised: getdents64 fills what is read.
    std::unique_ptr<char[]> block{new char[ListingBlock]};
    std::size_t capacity = ListingBlock;
    std::size_t at = 0, end = 0;
    bool timed = false;  // a stat of this block was timed

    // The listing's descriptor is the enumeration's own: closed with it.
    ~Enumeration() { ::close(fd); }
};

std::string folderOrCurrent(const std::string& folder) {
    return folder.empty() ? std::string(".") : folder;
}

FolderId idOf(const struct stat& st) {
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Whether describe stats the entry.
bool needsStat(const dirent64& entry, FindDetail detail) {
    return entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK ||
           (detail == FindDetail::WithSize && entry.d_type != DT_DIR);
}

long nanosecondsSince(const timespec& start) {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec);
}

void readAhead(Enumeration& e);

// Fills data for the entry; false when it vanished before it could be
// looked at (it is then left out, as a listing taken a moment later would).
bool describe(Enumeration& e, const dirent64& entry, FindData& data) {
    const char* name = entry.d_name;
    data.name = fromUtf8(name);
    data.attributes = 0;
    data.sizeHigh = data.sizeLow = 0;
    if (name[0] == '.' && !isDotOrDotDot(name)) data.attributes |= file_attributes::Hidden;

    bool folder = entry.d_type == DT_DIR;
    if (needsStat(entry, e.detail)) {
        struct stat st;
        timespec start{};
        if (!e.timed) ::clock_gettime(CLOCK_MONOTONIC, &start);
        const bool found = ::fstatat(e.fd, name, &st, 0) == 0;
        if (!e.timed) {
            e.timed = true;
            const bool wasCold = diskCold;
            diskCold = nanosecondsSince(start) > ColdNanoseconds;
            if (diskCold && !wasCold) readAhead(e);
        }
        if (!found) {
            // A link to nothing: an entry of its own, but no folder.
            if (::fstatat(e.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            st.st_size = 0;
        }
        folder = S_ISDIR(st.st_mode);
        if (!folder && e.detail == FindDetail::WithSize) {
            const auto size = static_cast<std::uint64_t>(st.st_size);
            data.sizeHigh = static_cast<std::uint32_t>(size >> 32);
            data.sizeLow = static_cast<std::uint32_t>(size);
        }
    }
    if (folder) data.attributes |= file_attributes::Directory;
    return true;
}

// On a cold disk, the lookups the rest of the block will make, and those of
// the subfolders (not hidden) a search goes into next, made all at once.
void readAhead(Enumeration& e) {
    if (!diskCold) return;
    const char* names[ReadAheadBatch];
    std::size_t count = 0;
    const bool listings = e.listings;
    for (std::size_t at = e.at; at < e.end && count < ReadAheadBatch;) {
        const auto* entry = reinterpret_cast<const dirent64*>(e.block.get() + at);
        at += entry->d_reclen;
        const bool wanted = listings
                                ? entry->d_type == DT_DIR && entry->d_name[0] != '.'
                                : needsStat(*entry, e.detail) && e.pattern.matches(entry->d_name);
        if (wanted) names[count++] = entry->d_name;
    }
    if (count == 0) return;
    // The first one, made here, tells whether the disk is still cold (the
    // hand-over to the helpers would take longer than a cached answer).
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    lookUpTogether(e.fd, names, 1, listings);
    diskCold = nanosecondsSince(start) > ColdNanoseconds;
    if (diskCold) lookUpTogether(e.fd, names + 1, count - 1, listings);
    e.timed = true;
}

// The next entry of the listing, or null at its end (or on an error).
const dirent64* nextEntry(Enumeration& e) {
    if (e.at >= e.end) {
        const ssize_t n = ::getdents64(e.fd, e.block.get(), e.capacity);
        if (n <= 0) return nullptr;
        e.at = 0;
        e.end = static_cast<std::size_t>(n);
        e.timed = false;
        readAhead(e);
    }
    const auto* entry = reinterpret_cast<const dirent64*>(e.block.get() + e.at);
    e.at += entry->d_reclen;
    return entry;
}

bool advance(Enumeration& e, FindData& data) {
    while (const dirent64* entry = nextEntry(e)) {
        if (!e.pattern.matches(entry->d_name)) continue;
        if (describe(e, *entry, data)) return true;
    }
    return false;
}

// The folder as an absolute path, its "." parts and doubled separators
// left out (".." stays: through a link it need not name the parent).
std::string absoluteFolder(const std::string& folder, PosixPlatform& platform) {
    const std::string full = !folder.empty() && folder[0] == '/'
                                 ? folder
                                 : toUtf8(platform.currentDirectory()) + "/" + folder;
    std::string clean;
    std::size_t begin = 0;
    while (begin < full.size()) {
        std::size_t end = full.find('/', begin);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(begin, end - begin);
        if (!part.empty() && part != ".") clean += "/" + part;
        begin = end + 1;
    }
    return clean.empty() ? "/" : clean;
}

}  // namespace

FindHandle PosixPlatform::findFirst(const String& pattern, FindDetail detail, FindData& data) {
    const std::string text = toUtf8(pattern);
    const std::size_t slash = text.rfind('/');
    std::string folder, name;
    if (slash == std::string::npos) {
        folder = ".";
        name = text;
    } else {
        folder = slash == 0 ? "/" : text.substr(0, slash);
        name = text.substr(slash + 1);
    }
    if (name.empty()) return invalidFindHandle;
    const int fd = openFolder(folder, O_RDONLY);
    if (fd < 0) return invalidFindHandle;
    // A listing of every name (a search's list of subfolders) goes ahead
    // into the subfolders the search enters next; any other, into the
    // lookups its own matches need.
    NamePattern matcher(name);
    const bool listings = matcher.matchesEverything() && detail == FindDetail::Basic;
    std::unique_ptr<Enumeration> e(new Enumeration{fd, std::move(matcher), detail, listings});
    if (!advance(*e, data)) return invalidFindHandle;
    return reinterpret_cast<FindHandle>(e.release());
}

bool PosixPlatform::findNext(FindHandle handle, FindData& data) {
    if (handle == invalidFindHandle) return false;
    return advance(*reinterpret_cast<Enumeration*>(handle), data);
}

void PosixPlatform::findClose(FindHandle handle) {
    if (handle == invalidFindHandle) return;
    delete reinterpret_cast<Enumeration*>(handle);
}

bool PosixPlatform::readFolder(const String& folder, const String& pattern, bool identify,
                               FolderVisitor& visitor) {
    // A pattern that names a folder of its own (or nothing) is for the
    // enumeration calls.
    if (pattern.empty() || pattern.find(u'/') != String::npos) return false;
    std::string path = toUtf8(folder);
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    const int fd = openFolder(path, O_RDONLY);
    if (fd < 0) return true;
    Enumeration e{fd, NamePattern(toUtf8(pattern)), FindDetail::Basic, true};  // owns fd
    if (identify) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && !visitor.entering(idOf(st))) return true;
    }
    // The whole listing is read first and kept while the folder is gone
    // through twice: for its subfolders, then for its matches.
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (bool first = true;; first = false) {
        if (e.capacity - e.end < ListingBlock / 2) {
            std::unique_ptr<char[]> larger(new char[e.capacity * 2]);
            std::copy_n(e.block.get(), e.end, larger.get());
            e.block = std::move(larger);
            e.capacity *= 2;
        }
        const ssize_t n = ::getdents64(fd, e.block.get() + e.end, e.capacity - e.end);
        // The first block of a listing on a cold disk waits for it: the
        // walk ahead starts from the next folder on, not from the first
        // lookup of a match, which may be many folders down.
        if (first && !diskCold)
            diskCold = nanosecondsSince(start) >
                       ColdNanoseconds + WarmListingNanosecondsPerByte * std::max<long>(n, 0);
        if (n <= 0) break;
        e.end += static_cast<std::size_t>(n);
    }
    // Each pass takes the listing a block at a time, as an enumeration
    // would: the read-ahead on a cold disk goes a batch into each block.
    const auto pass = [&](auto&& each) {
        e.at = 0;
        for (std::size_t nextBlock = 0; e.at < e.end;) {
            if (e.at >= nextBlock) {
                e.timed = false;
                readAhead(e);
                nextBlock = e.at + ListingBlock;
            }
            const auto* entry = reinterpret_cast<const dirent64*>(e.block.get() + e.at);
            e.at += entry->d_reclen;
            if (!isDotOrDotDot(entry->d_name)) each(*entry);
        }
    };
    FindData data;
    pass([&](const dirent64& entry) {
        const bool folder =
            entry.d_type == DT_DIR || (needsStat(entry, e.detail) && describe(e, entry, data) &&
                                       (data.attributes & file_attributes::Directory));
        if (folder) visitor.subfolder(fromUtf8(entry.d_name));
    });
    e.detail = FindDetail::WithSize;
    e.listings = false;
    pass([&](const dirent64& entry) {
        if (e.pattern.matches(entry.d_name) && describe(e, entry, data)) visitor.match(data);
    });
    return true;
}

std::unique_ptr<SearchAhead> PosixPlatform::searchAhead(const SearchPlan& plan) {
    // By absolute path: a handler may change the current folder meanwhile.
    try {
        std::string folder = absoluteFolder(toUtf8(plan.folder), *this);
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return readAheadOfSearch(folder, toUtf8(plan.pattern), plan);
    } catch (const Error&) {
        return nullptr;  // no current folder: the search reads for itself
    }
}

bool metColdDisk() {
    return diskCold;
}

std::uint32_t PosixPlatform::entryAttributes(const String&, const FindData& found) {
    // The listing already told whether the entry is a folder, and looked
    // further where it could not tell.
    return found.attributes;
}

std::uint32_t PosixPlatform::searchPath(const String& folder, const String& fileName,
                                        String& buffer) {
    // A name no file can have finds none: with a NUL the system would look
    // for the shorter name before it (the folder itself for a name that
    // begins with one).
    if (fileName.empty() || !namesAFile(fileName)) return 0;
    const std::string directory = folderOrCurrent(toUtf8(folder));
    const std::string wanted = toUtf8(fileName);
    const auto join = [](const std::string& a, const std::string& b) {
        return a.empty() || a.back() == '/' ? a + b : a + "/" + b;
    };

    // The name as given first: one stat. Then, since names match without
    // regard to case, the folder's listing.
    const int fd = openFolder(directory, O_RDONLY);
    if (fd < 0) return 0;
    const std::size_t relative = wanted.find_first_not_of('/');
    if (relative == std::string::npos) {
        ::close(fd);
        return 0;
    }
    std::string found;
    struct stat st;
    DIR* dir = nullptr;
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const bool there = ::fstatat(fd, wanted.c_str() + relative, &st, 0) == 0;
    diskCold = nanosecondsSince(start) > ColdNanoseconds;
    if (there) {
        found = wanted;
    } else if (wanted.find('/') == std::string::npos && (dir = ::fdopendir(fd)) != nullptr) {
        while (const dirent* entry = ::readdir(dir)) {
            if (sameNameIgnoringCase(entry->d_name, wanted) &&
                ::fstatat(fd, entry->d_name, &st, 0) == 0) {
                found = entry->d_name;
                break;
            }
        }
    }
    if (dir)
        ::closedir(dir);
    else
        ::close(fd);
    if (found.empty()) return 0;

    const String full = fromUtf8(join(absoluteFolder(directory, *this), found));
    if (full.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(full.size() + 1);
    buffer.replace(0, full.size(), full);
    buffer[full.size()] = u'\0';
    return static_cast<std::uint32_t>(full.size());
}

std::optional<FolderId> PosixPlatform::folderId(const String& path) {
    const int fd = openFolder(toUtf8(path), O_PATH);
    struct stat st;
    const bool known = fd >= 0 && ::fstat(fd, &st) == 0;
    if (fd >= 0) ::close(fd);
    if (!known) return std::nullopt;
    return idOf(st);
}

std::vector<FolderId> PosixPlatform::folderChain(const String& path) {
    // Up from the folder by its parent links, one step a level: the folders
    // that really hold it, whatever links its name went through.
    std::vector<FolderId> chain;
    int fd = openFolder(toUtf8(path), O_PATH);
    while (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || (!chain.empty() && chain.back() == idOf(st))) break;
        chain.push_back(idOf(st));  // the root is its own parent: the walk ends there
        const int parent = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = parent;
    }
    if (fd >= 0) ::close(fd);
    std::reverse(chain.begin(), chain.end());
    return chain;
}

}  // namespace tarnwick
