// Folder enumeration on Linux.
//
// The listing's file type (d_type) answers the folder test, so an entry
// costs a stat only where the listing says nothing (DT_UNKNOWN), where it
// names a link (whose target decides) or where its size is asked for.
// Hidden means a name that begins with "."; nothing counts as system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

struct Enumeration {
    DIR* dir;
    NamePattern pattern;
    FindDetail detail;
};

std::string folderOrCurrent(const std::string& folder) {
    return folder.empty() ? std::string(".") : folder;
}

// Fills data for the entry; false when it vanished before it could be
// looked at (it is then left out, as a listing taken a moment later would).
bool describe(int dirFd, const dirent& entry, FindDetail detail, FindData& data) {
    const char* name = entry.d_name;
    data.name = fromUtf8(name);
    data.attributes = 0;
    data.sizeHigh = data.sizeLow = 0;
    const bool dotOrDotDot =
        name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
    if (name[0] == '.' && !dotOrDotDot) data.attributes |= file_attributes::Hidden;

    bool folder = entry.d_type == DT_DIR;
    const bool typeUnknown = entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK;
    const bool wantSize = detail == FindDetail::WithSize && !folder;
    if (typeUnknown || wantSize) {
        struct stat st;
        if (::fstatat(dirFd, name, &st, 0) != 0) {
            // A link to nothing: an entry of its own, but no folder.
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            st.st_size = 0;
        }
        folder = S_ISDIR(st.st_mode);
        if (!folder && detail == FindDetail::WithSize) {
            const auto size = static_cast<std::uint64_t>(st.st_size);
            data.sizeHigh = static_cast<std::uint32_t>(size >> 32);
            data.sizeLow = static_cast<std::uint32_t>(size);
        }
    }
    if (folder) data.attributes |= file_attributes::Directory;
    return true;
}

bool advance(Enumeration& e, FindData& data) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(e.dir);
        if (!entry) return false;
        if (!e.pattern.matches(entry->d_name)) continue;
        if (describe(::dirfd(e.dir), *entry, e.detail, data)) return true;
    }
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
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return invalidFindHandle;
    auto e = std::make_unique<Enumeration>(Enumeration{dir, NamePattern(name), detail});
    if (!advance(*e, data)) {
        ::closedir(dir);
        return invalidFindHandle;
    }
    return reinterpret_cast<FindHandle>(e.release());
}

bool PosixPlatform::findNext(FindHandle handle, FindData& data) {
    if (handle == invalidFindHandle) return false;
    return advance(*reinterpret_cast<Enumeration*>(handle), data);
}

void PosixPlatform::findClose(FindHandle handle) {
    if (handle == invalidFindHandle) return;
    std::unique_ptr<Enumeration> e(reinterpret_cast<Enumeration*>(handle));
    ::closedir(e->dir);
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
    std::string found;
    struct stat st;
    if (::stat(join(directory, wanted).c_str(), &st) == 0) {
        found = wanted;
    } else if (wanted.find('/') == std::string::npos) {
        DIR* dir = ::opendir(directory.c_str());
        if (!dir) return 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (sameNameIgnoringCase(entry->d_name, wanted) &&
                ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    if (found.empty()) return 0;

    const String full = fromUtf8(join(absoluteFolder(directory, *this), found));
    if (full.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(full.size() + 1);
    buffer.replace(0, full.size(), full);
    buffer[full.size()] = u'\0';
    return static_cast<std::uint32_t>(full.size());
}

std::optional<FolderId> PosixPlatform::folderId(const String& path) {
    struct stat st;
    if (::stat(folderOrCurrent(toUtf8(path)).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::vector<FolderId> PosixPlatform::folderChain(const String& path) {
    const std::string absolute = absoluteFolder(toUtf8(path), *this);
    std::vector<FolderId> chain;
    const auto add = [&](const std::string& prefix) {
        struct stat st;
        if (::stat(prefix.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            chain.push_back(FolderId{static_cast<std::uint64_t>(st.st_dev),
                                     static_cast<std::uint64_t>(st.st_ino)});
    };
    add("/");
    for (std::size_t i = 1; i <= absolute.size(); ++i) {
        if ((i == absolute.size() || absolute[i] == '/') && absolute[i - 1] != '/')
            add(absolute.substr(0, i));
    }
    return chain;
}

}  // namespace tarnwick
