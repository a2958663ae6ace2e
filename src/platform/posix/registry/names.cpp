// Key paths and value names as the settings store keeps and compares them.
#include "platform/posix/posix_platform.h"
#include "platform/posix/registry/sqlite.h"

namespace tarnwick::registry_db {

namespace {

// A key path's parts joined by one '\': runs of separators and a trailing
// one name no parts of their own.
void joinParts(std::string& path) {
    std::size_t kept = 0;
    for (const char c : path) {
        if (c == '\\' && (kept == 0 || path[kept - 1] == '\\')) continue;
        path[kept++] = c;
    }
    if (kept > 0 && path[kept - 1] == '\\') --kept;
    path.resize(kept);
}

}  // namespace

std::string joinedParts(std::string path) {
    joinParts(path);
    return path;
}

// The parts of a joined path.
std::vector<std::string> partsOf(const std::string& joined) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin < joined.size()) {
        std::size_t end = joined.find('\\', begin);
        if (end == std::string::npos) end = joined.size();
        parts.push_back(joined.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// A name upper-cased as the registry compares it, in UTF-8. Plain ASCII,
// what settings nearly always are, is folded here directly: the locale's
// case tables and the strings on the way cost more than the lookup itself.
void foldInto(PosixPlatform& platform, const String& text, std::string& out) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x80) {
            out = toUtf8(platform.upperCase(text));
            return;
        }
        out[i] = static_cast<char>(asciiUpper(c));
    }
}
std::string folded(PosixPlatform& platform, const String& text) {
    std::string out;
    foldInto(platform, text, out);
    return out;
}
void foldPathInto(PosixPlatform& platform, const String& path, std::string& out) {
    foldInto(platform, path, out);
    joinParts(out);
}

}  // namespace tarnwick::registry_db
