// Reading and rewriting files on Linux without ever losing their content.
//
// A rewrite goes to a temporary file in the same folder, which is flushed to
// disk and then renamed over the file: at every moment the file holds either
// its old or its new content. Where the folder may not be written although
// the file may, the file is rewritten in place, after the room for the new
// content has been reserved (so that a full disk cannot cut it short) and
// with the old content kept to be put back should a step fail.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

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

// The file a link points to, so that the link stays a link.
std::string linkTarget(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

// Reads what is left of the descriptor's file.
std::string readRest(int fd) {
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = systemCalls().read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw errorFromErrno(errno);
        }
        if (n == 0) return content;
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

// Without a temporary file there is nothing to rename back to: the old
// content is kept in memory instead, and when any step fails after the
// file was first touched it is written back, so that a failure leaves the
// old content rather than the new one cut short, the new one followed by
// the old one's tail, or the old one followed by the room reserved for the
// new. (Only a second failure while putting it back can defeat that.)
void rewriteInPlace(const std::string& path, std::string_view content) {
    Descriptor fd(systemCalls().open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY, 0));
    // A file that may be written but not read is rewritten without a copy.
    const bool readable = fd.valid();
    if (!readable && (errno == EACCES || errno == EPERM))
        fd.reset(systemCalls().open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY, 0));
    if (!fd.valid()) throw openError(errno, path);
    const std::string old = readable ? readRest(fd.get()) : std::string();
    const off_t size = static_cast<off_t>(content.size());
    try {
        if (size > 0) {
            const int reserved = systemCalls().fallocate(fd.get(), 0, size);
            if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
                throw errorFromErrno(reserved);
        }
        writeAll(fd.get(), content, 0);
        if (systemCalls().ftruncate(fd.get(), size) != 0) throw errorFromErrno(errno);
        if (systemCalls().fsync(fd.get()) != 0) throw errorFromErrno(errno);
    } catch (...) {
        if (readable) {
            try {
                writeAll(fd.get(), old, 0);
                if (systemCalls().ftruncate(fd.get(), static_cast<off_t>(old.size())) == 0)
                    systemCalls().fsync(fd.get());
            } catch (const Error&) {
                // The first failure is the one reported.
            }
        }
        throw;
    }
    // The new content is on the disk: a failure to close now changes nothing
    // in it, but is still reported.
    if (fd.close() != 0) throw errorFromErrno(errno);
}

}  // namespace

Error openError(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
            return Error(folderExists(path) ? errors::FileNotFound : errors::PathNotFound);
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return Error(errors::PathNotFound);
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case ETXTBSY:
            return Error(errors::PathFileAccessError);
        default:
            return errorFromErrno(error);
    }
}

bool PosixPlatform::isReadOnly(const String& path) {
    struct stat st;
    return systemCalls().stat(toUtf8(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

std::string PosixPlatform::readFile(const String& path, std::size_t maxBytes) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    const std::string name = toUtf8(path);
    Descriptor fd(systemCalls().open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY, 0));
    if (!fd.valid()) throw openError(errno, name);
    // A folder opens for reading but refuses the read itself (EISDIR, 75),
    // so no stat is needed first: a scan of many small headers pays for
    // nothing beyond open, read and close. Only a read of nothing asks.
    if (maxBytes == 0) {
        struct stat st;
        if (systemCalls().fstat(fd.get(), &st) != 0) throw errorFromErrno(errno);
        if (S_ISDIR(st.st_mode)) throw Error(errors::PathFileAccessError);
        return std::string();
    }
    // Read straight into the result, in pieces of at most 64 KiB.
    std::string content;
    while (content.size() < maxBytes) {
        const std::size_t at = content.size();
        const std::size_t want = std::min<std::size_t>(65536, maxBytes - at);
        content.resize(at + want);
        const ssize_t n = systemCalls().read(fd.get(), content.data() + at, want);
        content.resize(at + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw errorFromErrno(errno);
        }
        if (n == 0) break;
    }
    return content;
}

void PosixPlatform::replaceFile(const String& path, std::string_view content) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    const std::string given = toUtf8(path);
    if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
    const std::string target = linkTarget(given);

    struct stat original;
    bool existed = true;
    if (systemCalls().stat(target.c_str(), &original) != 0) {
        // Only a file that is not there is made anew. Any other failure to
        // look at it must not pass for its absence: the rewrite would give
        // it a new file's permissions and owner in place of its own.
        if (errno != ENOENT) throw openError(errno, target);
        existed = false;
    }
    if (existed && S_ISDIR(original.st_mode)) throw Error(errors::PathFileAccessError);
    // Renaming would replace even a file we may not write: refuse it as an
    // open for writing would.
    // (A check that fails for another reason, a disk error, reports that.)
    if (existed && systemCalls().faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw openError(errno, target);
    if (!existed && !folderExists(target)) throw Error(errors::PathNotFound);

    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string folder = folderOf(target);
    const std::string temporary =
        folder + "/." + target.substr(target.rfind('/') + 1) + ".tw" + std::to_string(random());
    // A new file gets the usual permissions (the umask applies); a rewritten
    // one is created private and given the old one's mode before it is
    // renamed into place.
    Descriptor fd(systemCalls().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                     existed ? 0600 : 0666));
    if (!fd.valid()) {
        // A folder we may not write, holding a file we may: rewrite in place.
        if ((errno == EACCES || errno == EPERM) && existed) return rewriteInPlace(target, content);
        throw openError(errno, temporary);
    }
    try {
        if (existed) {
            if (systemCalls().fchmod(fd.get(), original.st_mode & 07777) != 0)
                throw errorFromErrno(errno);
            if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
                // Only root may give the file back to its owner; others keep it.
                [[maybe_unused]] const int ignored =
                    systemCalls().fchown(fd.get(), original.st_uid, original.st_gid);
            }
        }
        writeAll(fd.get(), content, 0);
        if (systemCalls().fsync(fd.get()) != 0) throw errorFromErrno(errno);
        if (fd.close() != 0) throw errorFromErrno(errno);
        if (systemCalls().rename(temporary.c_str(), target.c_str()) != 0)
            throw openError(errno, target);
    } catch (...) {
        fd.close();
        systemCalls().unlink(temporary.c_str());
        throw;
    }
    // Make the rename itself durable.
    Descriptor directory(systemCalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (directory.valid()) systemCalls().fsync(directory.get());
}

void PosixPlatform::patchFile(const String& path, std::uint64_t offset, std::string_view bytes) {
    if (!namesAFile(path)) throw Error(errors::BadFileNameOrNumber);
    const std::string name = toUtf8(path);
    if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
    Descriptor fd(systemCalls().open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY, 0));
    if (!fd.valid()) throw openError(errno, name);
    writeAll(fd.get(), bytes, static_cast<off_t>(offset));
    if (systemCalls().fsync(fd.get()) != 0) throw errorFromErrno(errno);
    if (fd.close() != 0) throw errorFromErrno(errno);
}

}  // namespace tarnwick
