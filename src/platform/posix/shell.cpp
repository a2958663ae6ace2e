// The desktop shell's two requests on Linux: silent deletion and opening a
// document with its program.
//
// Silent deletion: recursive and final, no question, no progress, nothing
// reported. Wildcards in the last name name every match. A symbolic
// link is removed as a link and never followed, at any depth: the tree is
// walked through descriptors opened without following links, so a link
// swapped in while the walk runs cannot lead it out of the tree. The walk
// stays on the mount it started on: every mount point is a boundary, a bind
// mount of a folder of the same file system too, so what is mounted inside
// the tree is left whole. A path that names nothing to delete safely
// (empty, ".", "..", a mount's root, a name no file can have here) deletes
// nothing.
//
// However deep the tree, the walk keeps a bounded number of folders open:
// it goes down with an explicit stack, closes the listing of the highest
// open level when the bound is reached, and opens a closed folder again
// through ".." of the one below it, checked to be the folder it left.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

// Folders a walk keeps open at once, the one that holds the target aside.
constexpr std::size_t openLimit = 16;

// What the walk needs to know of an entry, its link not followed.
struct Look {
    bool exists = false;
    bool folder = false;
    bool mountRoot = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mount = 0;  // the mount's number; 0 where the system does not say
};

Look look(int folderFd, const char* name) {
    Look found;
    struct statx sx;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(folderFd, name, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx) != 0)
        return found;
    found.exists = true;
    found.folder = S_ISDIR(sx.stx_mode);
    found.mountRoot = (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    found.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    found.inode = sx.stx_ino;
    if (sx.stx_mask & STATX_MNT_ID) found.mount = sx.stx_mnt_id;
    return found;
}

// Whether the folder entry lies outside the mount the walk stays on.
bool elsewhere(const Look& entry, const Look& home) {
    return entry.mountRoot || entry.device != home.device ||
           (entry.mount != 0 && home.mount != 0 && entry.mount != home.mount);
}

// Opens the folder name of parentFd for listing, if it is still the folder
// that was looked at (not one swapped in since).
DIR* openListing(int parentFd, const char* name, dev_t device, ino_t inode) {
    const int fd =
        ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat opened;
    DIR* dir = nullptr;
    if (::fstat(fd, &opened) == 0 && opened.st_dev == device && opened.st_ino == inode)
        dir = ::fdopendir(fd);
    if (!dir) ::close(fd);
    return dir;
}

// One folder on the way down.
struct Level {
    std::string name;  // in the folder above
    dev_t device;
    ino_t inode;
    DIR* dir;  // null while closed to keep within the bound
    bool removedAny = false;
    // Entries that could not be removed: not tried again by this walk.
    std::set<std::string> kept;
};

// Removes the folder name of parentFd, looked at as folder, with everything
// in it. Returns whether it is gone.
bool removeFolder(int parentFd, const std::string& name, const Look& folder) {
    std::vector<Level> stack;
    std::size_t open = 0;
    const auto closeAll = [&] {
        for (Level& level : stack)
            if (level.dir) ::closedir(level.dir);
    };
    if (DIR* dir = openListing(parentFd, name.c_str(), folder.device, folder.inode)) {
        stack.push_back({name, folder.device, folder.inode, dir, false, {}});
        ++open;
    }
    while (!stack.empty()) {
        Level& level = stack.back();
        const int fd = ::dirfd(level.dir);
        if (const dirent* entry = ::readdir(level.dir)) {
            const char* child = entry->d_name;
            if (isDotOrDotDot(child) || level.kept.count(child)) continue;
            const Look found = look(fd, child);
            if (!found.exists) continue;
            if (!found.folder) {
                if (::unlinkat(fd, child, 0) == 0)
                    level.removedAny = true;
                else
                    level.kept.insert(child);
                continue;
            }
            DIR* dir = elsewhere(found, folder) ? nullptr
                                                : openListing(fd, child, found.device, found.inode);
            if (!dir) {
                // Another mount is not ours to empty; a folder we may not
                // open can still go when it is empty.
                if (!elsewhere(found, folder) && ::unlinkat(fd, child, AT_REMOVEDIR) == 0)
                    level.removedAny = true;
                else
                    level.kept.insert(child);
                continue;
            }
            if (open == openLimit) {
                for (Level& above : stack)
                    if (above.dir) {
                        ::closedir(above.dir);
                        above.dir = nullptr;
                        --open;
                        break;
                    }
            }
            stack.push_back({child, found.device, found.inode, dir, false, {}});
            ++open;
            continue;
        }
        // Removing entries while listing may make the listing skip some:
        // list again until a pass removes nothing more.
        if (level.removedAny) {
            level.removedAny = false;
            ::rewinddir(level.dir);
            continue;
        }
        Level done = std::move(stack.back());
        stack.pop_back();
        if (stack.empty()) {
            ::closedir(done.dir);
            return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
        }
        Level& up = stack.back();
        if (!up.dir) {
            // Opened again through the folder just emptied, and listed from
            // its start; a folder moved meanwhile ends the walk.
            up.dir = openListing(::dirfd(done.dir), "..", up.device, up.inode);
            if (!up.dir) {
                ::closedir(done.dir);
                closeAll();
                return false;
            }
            ++open;
        }
        ::closedir(done.dir);
        --open;
        if (::unlinkat(::dirfd(up.dir), done.name.c_str(), AT_REMOVEDIR) == 0)
            up.removedAny = true;
        else
            up.kept.insert(done.name);
    }
    // (A folder we may not open can still go when it is empty.)
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

// Removes the entry name of the folder folderFd: a folder with everything
// in it unless it is the root of a mount, anything else (a link above all)
// by itself.
void removeEntry(int folderFd, const std::string& name) {
    const Look found = look(folderFd, name.c_str());
    if (!found.exists) return;
    if (!found.folder) {
        ::unlinkat(folderFd, name.c_str(), 0);
        return;
    }
    const Look holder = look(folderFd, "");
    if (!elsewhere(found, holder)) removeFolder(folderFd, name, found);
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
    const std::string folder = folderOf(text);
    const std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    if (last == "." || last == "..") return;

    const int folderFd = openFolder(folder, O_RDONLY);
    if (folderFd < 0) return;
    if (last.find_first_of("*?") == std::string::npos) {
        removeEntry(folderFd, last);
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
    for (const std::string& name : matches) removeEntry(folderFd, name);
    ::close(folderFd);
}

// Opening a document with its associated program: the desktop's
// opener, `gio open` where it is installed, else `xdg-open`, started
// detached like any program Tarnwick starts and never waited for. Its
// output, error messages included, goes nowhere: the request reports
// nothing, as the shell's request does on Windows.
void PosixPlatform::openWithDefault(const String& target, std::int32_t) {
    // The owner window has no counterpart in the openers: they choose
    // their own placement.
    std::string what = toUtf8(target);
    // A name that begins with "-" would be read as an option.
    if (!what.empty() && what[0] == '-') what = "./" + what;

    std::vector<std::string> arguments;
    std::string program = programOnPath("gio");
    if (!program.empty()) {
        arguments = {program, "open", what};
    } else if (!(program = programOnPath("xdg-open")).empty()) {
        arguments = {program, what};
    } else {
        return;  // no desktop opener on this machine
    }
    try {
        startDetached(program, arguments, true);
    } catch (const Error&) {
        // Nothing is reported, whatever became of the request.
    }
}

}  // namespace tarnwick
