// Silent deletion on Linux: recursive and final, no question, no progress,
// nothing reported. Wildcards in the last name name every match. A symbolic
// link is removed as a link and never followed, at any depth: the tree is
// walked through descriptors opened without following links, so a link
// swapped in while the walk runs cannot lead it out of the tree. The walk
// stays on the file system it started on. A path that names nothing to
// delete safely (empty, ".", "..", a file system's root, a name no file
// can have here) deletes nothing.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool removeEntry(int parentFd, const char* name, dev_t device);

// Empties the folder open as fd (which this call closes).
void emptyFolder(int fd, dev_t device) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    // Removing entries while listing may make readdir skip some: list again
    // until a pass removes nothing more.
    bool removedAny = true;
    while (removedAny) {
        removedAny = false;
        ::rewinddir(dir);
        while (const dirent* entry = ::readdir(dir))
            if (!isDotOrDotDot(entry->d_name) && removeEntry(fd, entry->d_name, device))
                removedAny = true;
    }
    ::closedir(dir);
}

// Removes the entry name of the folder parentFd: a folder with everything in
// it, anything else (a link above all) by itself. Returns whether the entry
// is gone.
bool removeEntry(int parentFd, const char* name, dev_t device) {
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(parentFd, name, 0) == 0;
    // Another file system mounted here is not ours to empty.
    if (st.st_dev != device) return false;
    const int fd =
        ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        struct stat opened;
        // Only the folder that was looked at: not one swapped in since.
        if (::fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            ::close(fd);
            return false;
        }
        emptyFolder(fd, device);
    }
    // (A folder we may not open can still go when it is empty.)
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

// Whether the folder at path is the root of a file system (its parent lies
// on another device, or is itself, as for "/").
bool isFileSystemRoot(const std::string& path) {
    struct stat self, parent;
    if (::stat(path.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) return false;
    if (::stat((path + "/..").c_str(), &parent) != 0) return true;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

}  // namespace

void PosixPlatform::deleteSilently(const String& path) {
    if (!namesAFile(path)) return;
    std::string text = toUtf8(path);
    // A trailing separator would make the system follow a link to a folder;
    // the link itself is what is named.
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    if (text.empty() || text == "/") return;

    const std::size_t slash = text.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : text.substr(0, slash));
    const std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    if (last == "." || last == "..") return;

    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (folderFd < 0) return;
    struct stat folderStat;
    if (::fstat(folderFd, &folderStat) != 0) {
        ::close(folderFd);
        return;
    }

    if (last.find_first_of("*?") == std::string::npos) {
        struct stat st;
        const bool folderEntry =
            ::fstatat(folderFd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        // A mount point's root is not deleted: nor is what is mounted there.
        if (!(folderEntry && isFileSystemRoot(text)))
            removeEntry(folderFd, last.c_str(), folderEntry ? st.st_dev : folderStat.st_dev);
        ::close(folderFd);
        return;
    }

    // Every match of the last name in the folder, folders with their content.
    const NamePattern pattern(last);
    std::vector<std::string> matches;
    const int listFd = ::dup(folderFd);
    if (DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr) {
        while (const dirent* entry = ::readdir(dir))
            if (!isDotOrDotDot(entry->d_name) && pattern.matches(entry->d_name))
                matches.emplace_back(entry->d_name);
        ::closedir(dir);
    } else if (listFd >= 0) {
        ::close(listFd);
    }
    for (const std::string& name : matches) {
        struct stat st;
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode) && isFileSystemRoot(folder + "/" + name)) continue;
        removeEntry(folderFd, name.c_str(), folderStat.st_dev);
    }
    ::close(folderFd);
}

}  // namespace tarnwick
