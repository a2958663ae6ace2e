// Reading and rewriting files on Linux without ever losing their content,
// and without ever mixing up two files, even in a folder others may write.
//
// Each operation opens the file once and does everything through that
// descriptor: the check that it is a regular file (a device, a pipe or a
// socket could block or never end), the read, and the write, so a name
// swapped for another file in between changes nothing. A rewrite holds an
// advisory lock for the whole read-modify-write, so two rewrites by this
// library follow one another instead of losing a change.
//
// The new content goes to a temporary file beside the file the descriptor
// names, which is flushed and then renamed over it, but only while that
// name still names the file that was read: at every moment the file holds
// either its old or its new content. Where a temporary file cannot carry
// what the file has (another owner, a second hard link, an extended
// attribute or ACL it may not set) or the folder may not be written, the
// file is rewritten in place through the same descriptor, after the room
// for the new content has been reserved (so that a full disk cannot cut it
// short) and with the old content kept to be put back should a step fail.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <random>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"

namespace tarnwick {

namespace {

// A descriptor that is closed on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    // Closes now and reports the error a delayed write may only show here.
    int close() {
        int result = 0;
        if (fd_ >= 0) result = systemCalls().close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

bool folderExists(const std::string& path) {
    struct stat st;
    return systemCalls().stat(folderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void writeAll(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = systemCalls().pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw errorFromErrno(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// At most maxBytes from the descriptor's position on.
std::string readUpTo(int fd, std::size_t maxBytes) {
    std::string content;
    while (content.size() < maxBytes) {
        const std::size_t at = content.size();
        const std::size_t want = std::min<std::size_t>(65536, maxBytes - at);
        content.resize(at + want);
        const ssize_t n = systemCalls().read(fd, content.data() + at, want);
        content.resize(at + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw errorFromErrno(errno);
        }
        if (n == 0) break;
    }
    return content;
}

// Opens a regular file for reading, and for writing too when forWriting
// and allowed (the answer). The open does not wait (a pipe with no writer
// would hold it for ever); anything but a regular file is refused before a
// byte is read, as a folder is; the descriptor then blocks again.
bool openRegular(const std::string& name, bool forWriting, Descriptor& fd, struct stat& st) {
    constexpr int common = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    bool writable = forWriting;
    if (forWriting) fd.reset(systemCalls().open(name.c_str(), O_RDWR | common, 0));
    // A file that may be read but not written is still read, so that the
    // caller's own checks come first; writing it is refused later.
    if (forWriting && !fd.valid() &&
        (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)) {
        writable = false;
        fd.reset(systemCalls().open(name.c_str(), O_RDONLY | common, 0));
    }
    if (!forWriting) fd.reset(systemCalls().open(name.c_str(), O_RDONLY | common, 0));
    if (!fd.valid()) throw openError(errno, name);
    if (systemCalls().fstat(fd.get(), &st) != 0) throw errorFromErrno(errno);
    if (!S_ISREG(st.st_mode)) throw Error(errors::PathFileAccessError);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return writable;
}

// Whether name still names the file open as st. A link on the way that
// someone else planted in a folder others may write is refused, as the
// kernel's protected_symlinks refuses it in a sticky folder: a rewrite
// must not be steered into a file its caller never meant.
bool stillNamed(const std::string& name, const struct stat& st) {
    struct stat link, folder, now;
    if (systemCalls().fstatat(AT_FDCWD, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISLNK(link.st_mode) && link.st_uid != ::geteuid() && link.st_uid != 0 &&
        systemCalls().stat(folderOf(name).c_str(), &folder) == 0 &&
        (folder.st_mode & (S_ISVTX | S_IWGRP | S_IWOTH)) != 0)
        throw Error(errors::PathFileAccessError);
    return systemCalls().stat(name.c_str(), &now) == 0 && sameFile(now, st);
}

void lock(int fd) {
    while (systemCalls().flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        // A file system that keeps no locks still takes the rewrite.
        if (errno == ENOLCK || errno == EOPNOTSUPP) return;
        throw errorFromErrno(errno);
    }
}

// Copies every extended attribute (the ACL among them) it can see; false
// when one cannot be set on the copy.
bool copyAttributes(int from, int to) {
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) return size == 0 || errno == ENOTSUP;
    std::string names(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::flistxattr(from, names.data(), names.size());
    if (got < 0) return false;
    names.resize(static_cast<std::size_t>(got));
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0) return false;
        std::string value(static_cast<std::size_t>(length), '\0');
        const ssize_t read = ::fgetxattr(from, name, value.data(), value.size());
        if (read < 0 ||
            systemCalls().fsetxattr(to, name, value.data(), static_cast<std::size_t>(read), 0) != 0)
            return false;
    }
    return true;
}

// Puts content in the place of the file open as fd (whose state is st)
// through a temporary file beside it; false, with nothing changed, where
// the temporary file could not stand in for it whole.
bool replaceThroughTemporary(int fd, const struct stat& st, std::string_view content) {
    if (st.st_nlink > 1) return false;
    // The folder that holds the file itself, not the one a link led through.
    char real[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(self.c_str(), real, PATH_MAX);
    if (length <= 0 || real[0] != '/') return false;
    const std::string path(real, static_cast<std::size_t>(length));
    const std::string base = path.substr(path.rfind('/') + 1);
    Descriptor folder(systemCalls().openat(AT_FDCWD, folderOf(path).c_str(),
                                           O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.valid()) return false;
    // Is the file still there under that name?
    const auto inPlace = [&] {
        struct stat there;
        return systemCalls().fstatat(folder.get(), base.c_str(), &there, AT_SYMLINK_NOFOLLOW) ==
                   0 &&
               sameFile(there, st);
    };
    if (!inPlace()) return false;

    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string temporary = "." + base + ".tw" + std::to_string(random());
    // Created private, and given the old file's mode before anyone else
    // could open it.
    Descriptor out(systemCalls().openat(folder.get(), temporary.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                        0600));
    if (!out.valid()) {
        // A folder we may not write, holding a file we may: rewrite in place.
        if (errno == EACCES || errno == EPERM) return false;
        throw openError(errno, path);
    }
    bool carried = true;
    try {
        // Only root may give the copy to another owner; a group of our own
        // is ours to give. Where it cannot, the file is rewritten in place.
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
            systemCalls().fchown(out.get(), st.st_uid, st.st_gid) != 0) {
            if (errno != EPERM) throw errorFromErrno(errno);
            carried = false;
        }
        if (carried && systemCalls().fchmod(out.get(), st.st_mode & 07777) != 0)
            throw errorFromErrno(errno);
        // After the mode, which would otherwise overwrite the ACL's mask.
        carried = carried && copyAttributes(fd, out.get());
        if (carried) {
            writeAll(out.get(), content, 0);
            if (systemCalls().fsync(out.get()) != 0) throw errorFromErrno(errno);
            if (out.close() != 0) throw errorFromErrno(errno);
            // Renamed only over the file that was read; one moved away
            // meanwhile is rewritten where it went, in place.
            carried = inPlace();
            if (carried && systemCalls().renameat(folder.get(), temporary.c_str(), folder.get(),
                                                  base.c_str()) != 0)
                throw openError(errno, path);
        }
    } catch (...) {
        out.close();
        systemCalls().unlinkat(folder.get(), temporary.c_str(), 0);
        throw;
    }
    if (!carried) {
        out.close();
        systemCalls().unlinkat(folder.get(), temporary.c_str(), 0);
        return false;
    }
    // Make the rename itself durable.
    systemCalls().fsync(folder.get());
    return true;
}

// Without a temporary file there is nothing to rename back to: the old
// content is kept in memory instead, and when any step fails after the
// file was first touched it is written back, so that a failure leaves the
// old content rather than the new one cut short, the new one followed by
// the old one's tail, or the old one followed by the room reserved for the
// new. (Only a second failure while putting it back can defeat that.)
void rewriteInPlace(int fd, const std::string& old, std::string_view content) {
    const off_t size = static_cast<off_t>(content.size());
    try {
        if (size > 0) {
            const int reserved = systemCalls().fallocate(fd, 0, size);
            if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
                throw errorFromErrno(reserved);
        }
        writeAll(fd, content, 0);
        if (systemCalls().ftruncate(fd, size) != 0) throw errorFromErrno(errno);
        if (systemCalls().fsync(fd) != 0) throw errorFromErrno(errno);
    } catch (...) {
        try {
            writeAll(fd, old, 0);
            if (systemCalls().ftruncate(fd, static_cast<off_t>(old.size())) == 0)
                systemCalls().fsync(fd);
        } catch (const Error&) {
            // The first failure is the one reported.
        }
        throw;
    }
}

}  // namespace

Error openError(int error, const std::string& path) {
    if (error == ENOENT && !folderExists(path)) return Error(errors::PathNotFound);
    return errorFromErrno(error, Failed::Open);
}

bool PosixPlatform::isReadOnly(const String& path) {
    struct stat st;
    return systemCalls().stat(toUtf8(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

std::string PosixPlatform::readFile(const String& path, std::size_t maxBytes) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    Descriptor fd(-1);
    struct stat st;
    openRegular(toUtf8(path), false, fd, st);
    return readUpTo(fd.get(), maxBytes);
}

std::size_t PosixPlatform::readFileInto(const String& path, char* buffer, std::size_t size) {
    // A scan reads thousands of headers in a row, so this path makes the
    // open, one check of the file's type, the read and the close, and
    // nothing more: a plain ASCII name is converted once into room on the
    // stack, and the content goes straight to the caller's buffer.
    char ascii[PATH_MAX];
    std::string converted;
    const char* name = ascii;
    bool plain = path.size() < sizeof ascii;
    for (std::size_t i = 0; plain && i < path.size(); ++i) {
        plain = path[i] != 0 && path[i] < 0x80;
        ascii[i] = static_cast<char>(path[i]);
    }
    if (plain) {
        ascii[path.size()] = '\0';
    } else {
        if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
        converted = toUtf8(path);
        name = converted.c_str();
    }
    // The open does not wait (a pipe with no writer would hold it for ever),
    // and anything but a regular file is refused before a byte is read. The
    // descriptor stays non-blocking: that changes nothing for a regular
    // file's reads.
    Descriptor fd(systemCalls().open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0));
    if (!fd.valid()) throw openError(errno, name);
    struct stat st;
    if (systemCalls().fstat(fd.get(), &st) != 0) throw errorFromErrno(errno);
    if (!S_ISREG(st.st_mode)) throw Error(errors::PathFileAccessError);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = systemCalls().read(fd.get(), buffer + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw errorFromErrno(errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void PosixPlatform::rewriteFile(const String& path, std::size_t maxBytes,
                                const std::function<std::string(std::string_view)>& edit) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    const std::string name = toUtf8(path);
    for (int attempt = 0;; ++attempt) {
        Descriptor fd(-1);
        struct stat st;
        const bool writable = openRegular(name, true, fd, st);
        lock(fd.get());
        if (systemCalls().fstat(fd.get(), &st) != 0) throw errorFromErrno(errno);
        // A rewrite that held the lock before us may have put a new file in
        // this one's place: then the edit starts again on that one.
        if (!stillNamed(name, st)) {
            if (attempt < 1000) continue;
            throw Error(errors::PathFileAccessError);
        }
        if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw Error(errors::Overflow);
        const std::string old = readUpTo(fd.get(), maxBytes + 1);
        if (old.size() > maxBytes) throw Error(errors::Overflow);
        const std::string content = edit(old);
        // The read-only mark is refused even to root, who could write anyway.
        if (!writable || (st.st_mode & S_IWUSR) == 0) throw Error(errors::PathFileAccessError);
        if (!replaceThroughTemporary(fd.get(), st, content)) rewriteInPlace(fd.get(), old, content);
        // The new content is on the disk: a failure to close now changes
        // nothing in it, but is still reported.
        if (fd.close() != 0) throw errorFromErrno(errno);
        return;
    }
}

void PosixPlatform::patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                              const std::function<std::string(std::string_view)>& patch) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    Descriptor fd(-1);
    struct stat st;
    const bool writable = openRegular(toUtf8(path), true, fd, st);
    lock(fd.get());
    const std::string bytes = patch(readUpTo(fd.get(), maxBytes));
    if (bytes.empty()) return;
    if (!writable || (st.st_mode & S_IWUSR) == 0) throw Error(errors::PathFileAccessError);
    // A file cut short since it was read (by a writer that takes no lock)
    // is not lengthened with made-up bytes before the ones written.
    if (systemCalls().fstat(fd.get(), &st) != 0) throw errorFromErrno(errno);
    if (static_cast<std::uint64_t>(st.st_size) < offset) throw Error(errors::PathFileAccessError);
    writeAll(fd.get(), bytes, static_cast<off_t>(offset));
    if (systemCalls().fsync(fd.get()) != 0) throw errorFromErrno(errno);
    if (fd.close() != 0) throw errorFromErrno(errno);
}

}  // namespace tarnwick
