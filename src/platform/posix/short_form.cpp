// The Linux counterpart of the short (8.3) form: a name of the same file
// that stands unquoted on a Windows-style command line and survives being
// lower-cased, since two launchers lower-case their whole command line.
//
// A path that already qualifies is its own short form. Any other gets a
// stable alias: a symbolic link named after a hash of the file's real path,
// keeping the extension, in a per-user folder that only the user can write.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

bool standsUnquoted(const std::string& path) {
    for (const unsigned char c : path)
        if (c <= 0x20 || c == '"' || c == 0x7F) return false;
    return true;
}

std::string hexHash(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) out[i] = digits[hash & 15];
    return out;
}

// The extension of the real name, kept when it is plain lower-case ASCII.
std::string aliasExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return std::string();
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain) return std::string();
    }
    return extension.size() > 1 ? extension : std::string();
}

// Creates the folder when missing; accepts it only when it is a real folder
// of ours that nobody else may write.
bool privateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0022) == 0;
}

// A folder of this process's own under /tmp, made under a fresh random name
// (as mkdtemp does, but in lower case only), so that nobody can have made it
// before us; "" when none can be made. Made once and kept: the programs we
// started may open their aliases long after we are gone.
std::string freshFolder() {
    static const std::string folder = [] {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string path = "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-" +
                                     hexHash(std::to_string(random()) + std::to_string(random()));
            if (::mkdir(path.c_str(), 0700) == 0) return path;
            if (errno != EEXIST) break;
        }
        return std::string();
    }();
    return folder;
}

}  // namespace

// The first of these that is ours alone: $XDG_RUNTIME_DIR/tarnwick-short, the
// shared /tmp/tarnwick-<uid>-short, ~/.cache/tarnwick/short, and last a fresh
// folder of this process. Each must stand unquoted and survive lower-casing.
// Another user may have taken the name under /tmp first (su, ssh and cron
// give no runtime folder): then the aliases go to the next one, never
// nowhere.
std::string PosixPlatform::aliasFolder() {
    if (!options_.aliasFolder.empty()) return options_.aliasFolder;
    const auto usable = [this](const std::string& folder) {
        return standsUnquoted(folder) && fromUtf8(folder) == lowerCase(fromUtf8(folder)) &&
               privateFolder(folder);
    };
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/' && usable(std::string(runtime) + "/tarnwick-short"))
        return std::string(runtime) + "/tarnwick-short";
    const std::string shared = "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-short";
    if (usable(shared)) return shared;
    const char* home = std::getenv("HOME");
    if (home && *home == '/') {
        const std::string cache = std::string(home) + "/.cache";
        ::mkdir(cache.c_str(), 0700);
        ::mkdir((cache + "/tarnwick").c_str(), 0700);
        if (usable(cache + "/tarnwick/short")) return cache + "/tarnwick/short";
    }
    const std::string fresh = freshFolder();
    return !fresh.empty() && usable(fresh) ? fresh : std::string();
}

String PosixPlatform::shortForm(const String& path) {
    const auto qualifies = [this](const std::string& p) {
        return standsUnquoted(p) && fromUtf8(p) == lowerCase(fromUtf8(p));
    };
    const std::string given = toUtf8(path);
    const std::string resolved = canonicalPath(given);
    if (resolved.empty()) return String();

    if (!given.empty() && given[0] == '/' && qualifies(given)) return path;
    if (qualifies(resolved)) return fromUtf8(resolved);

    const std::string folder = aliasFolder();
    if (folder.empty() || !qualifies(folder) || !privateFolder(folder)) return String();
    const std::string alias = folder + "/" + hexHash(resolved) + aliasExtension(resolved);

    // Reuse the alias while it still points at the file; else replace it in
    // one step, so that a concurrent user never sees it missing.
    std::string target(resolved.size() + 1, '\0');
    const ssize_t n = ::readlink(alias.c_str(), target.data(), target.size());
    if (n == static_cast<ssize_t>(resolved.size()) && target.compare(0, n, resolved) == 0)
        return fromUtf8(alias);
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string temporary = alias + ".tmp" + std::to_string(random());
    if (::symlink(resolved.c_str(), temporary.c_str()) != 0) return String();
    if (::rename(temporary.c_str(), alias.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return String();
    }
    return fromUtf8(alias);
}

}  // namespace tarnwick
