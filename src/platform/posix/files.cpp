// Short forms, drive types, existence tests and folders opened at any depth
// on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"

namespace tarnwick {

namespace {

std::string parentOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return folderOf(p);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Mount points in /proc/self/mountinfo escape blanks and the like as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool within(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return true;
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

std::int32_t driveTypeOfFileSystem(const std::string& type) {
    if (type == "iso9660" || type == "udf") return drive_types::CdRom;
    if (type == "tmpfs" || type == "ramfs") return drive_types::RamDisk;
    if (type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" ||
        type == "9p" || type == "afs" || type == "ceph" || type == "fuse.sshfs")
        return drive_types::Remote;
    return drive_types::Fixed;
}

}  // namespace

std::vector<MountEntry> readMountTable(const std::string& file) {
    std::vector<MountEntry> entries;
    std::ifstream table(file);
    std::string line;
    while (std::getline(table, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream fields(line);
        std::string id, parent, root, field;
        MountEntry entry;
        if (!(fields >> id >> parent >> entry.device >> root >> entry.mountPoint)) continue;
        while (fields >> field && field != "-") {
        }
        if (!(fields >> entry.type)) continue;
        fields >> entry.source;
        entry.mountPoint = unescapeMountField(entry.mountPoint);
        entry.source = unescapeMountField(entry.source);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string canonicalPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::string();
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool namesAFile(const String& name) {
    return name.find(u'\0') == String::npos && fromUtf8(toUtf8(name)) == name;
}

std::int32_t PosixPlatform::driveType(const String& rootPath) {
    std::string path = toUtf8(rootPath);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string resolved = canonicalPath(path);
    if (resolved.empty()) return drive_types::NoRootDirectory;

    const std::vector<MountEntry> table = readMountTable(options_.mountInfo);
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : table) {
        // The longest mount point that holds the path wins; of equal ones
        // the last mounted, which hides the others.
        if (within(resolved, entry.mountPoint) &&
            (!best || entry.mountPoint.size() >= best->mountPoint.size()))
            best = &entry;
    }
    return best ? driveTypeOfFileSystem(best->type) : drive_types::Unknown;
}

std::int32_t PosixPlatform::existenceTest(const String& fileName) {
    const std::string path = toUtf8(fileName);
    struct stat st;
    if (systemCalls().stat(path.c_str(), &st) != 0) {
        const std::int32_t code = existenceFromErrno(errno);
        return code == existence::FileNotFound && !isDirectory(parentOf(path))
                   ? existence::PathNotFound
                   : code;
    }
    // The existence test opens the file for reading: a directory or a file
    // we may not read cannot be opened. Nor is a FIFO, socket or device a
    // game file: reading one would block or never end.
    if (!S_ISREG(st.st_mode)) return existence::AccessDenied;
    if (systemCalls().faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0)
        return existence::AccessDenied;
    return existence::Found;
}

std::uint32_t PosixPlatform::shortPathName(const String& path, String& area) {
    const String form = shortForm(path);
    if (form.empty()) return 0;
    if (form.size() + 1 > area.size()) return static_cast<std::uint32_t>(form.size() + 1);
    area.replace(0, form.size(), form);
    area[form.size()] = u'\0';
    return static_cast<std::uint32_t>(form.size());
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int openFolder(const std::string& path, int flags) {
    flags |= O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
    const std::string name = path.empty() ? std::string(".") : path;
    if (name.size() < PATH_MAX) return ::open(name.c_str(), flags);
    // The system takes at most PATH_MAX bytes a call: a deeper path is
    // opened a part at a time, each part (ending at a separator) relative to
    // the folder the one before it reached.
    int fd = ::open(name[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t begin = 0;
    while (fd >= 0) {
        begin = name.find_first_not_of('/', begin);
        if (begin == std::string::npos) begin = name.size();
        std::size_t end = name.size();
        if (end - begin >= PATH_MAX) {
            end = name.rfind('/', begin + PATH_MAX - 1);
            if (end == std::string::npos || end <= begin) {
                ::close(fd);
                errno = ENAMETOOLONG;  // one name longer than any name may be
                return -1;
            }
        }
        const bool last = end == name.size();
        const std::string part = begin == end ? std::string(".") : name.substr(begin, end - begin);
        const int next =
            ::openat(fd, part.c_str(), last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        errno = error;
        if (last) return next;
        fd = next;
        begin = end;
    }
    return -1;
}

}  // namespace tarnwick
