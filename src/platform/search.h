// Folder enumeration and the lookups the folder searches need.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tarnwick/types.h"

namespace tarnwick {

// Attribute bits of an entry, as the system reports them.
namespace file_attributes {
inline constexpr std::uint32_t ReadOnly = 0x1;
inline constexpr std::uint32_t Hidden = 0x2;
inline constexpr std::uint32_t System = 0x4;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Invalid = 0xFFFFFFFF;  // no such entry
}  // namespace file_attributes

// One entry delivered by an enumeration.
struct FindData {
    std::uint32_t attributes = 0;
    // The size in bytes as two unsigned halves; 0 for a folder.
    std::uint32_t sizeHigh = 0;
    std::uint32_t sizeLow = 0;
    String name;
};

// What an enumeration must fill in: the name and attribute bits always, the
// size only when asked for. Where finding the size costs a further system
// call per entry (Linux), a search that never reads it need not pay for it.
enum class FindDetail { Basic, WithSize };

// An open enumeration; invalidFindHandle (all bits set) when none opened.
using FindHandle = std::uintptr_t;
inline constexpr FindHandle invalidFindHandle = ~FindHandle{0};

// Who a folder is, whatever name it is reached by: the volume and the
// file's number on it.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

// What a search of a whole tree is going to read, for a platform that reads
// ahead of it: from folder down, every folder (not hidden ones when
// hiddenFolders is false), and in each one the entries matching pattern
// (with their sizes when sizes is set) or, with oneName, the one entry of
// that name.
struct SearchPlan {
    String folder;
    String pattern;
    bool sizes = false;
    bool hiddenFolders = true;
    bool oneName = false;
};

// Reading ahead of one search: told of each folder the search enters, and
// ended (at once) when released. It only warms the system's caches: every
// answer the search reports still comes from the enumeration calls.
class SearchAhead {
  public:
    virtual ~SearchAhead() = default;
    virtual void entered() = 0;
};

// What one reading of a folder tells the search going through it.
class FolderVisitor {
  public:
    // The folder is open, and is the folder id: false leaves it unread (the
    // search has been in it before).
    virtual bool entering(const FolderId& id) = 0;
    // Each subfolder (links to folders too; never "." or ".."), in the order
    // listed, every one of them before the first match.
    virtual void subfolder(const String& name) = 0;
    // Each entry whose name matches the pattern (folders too, never "." or
    // ".."), with its size, in the order listed. An entry that vanished
    // before it came up is left out.
    virtual void match(const FindData& entry) = 0;

  protected:
    ~FolderVisitor() = default;
};

class SearchApi {
  public:
    virtual ~SearchApi() = default;

    // Starts reading ahead of a search, or returns null where the platform
    // gains nothing by it (the default).
    virtual std::unique_ptr<SearchAhead> searchAhead(const SearchPlan&) { return nullptr; }

    // Starts an enumeration of the entries matching pattern (a folder path,
    // a separator and a name pattern with the wildcards * and ?, matched
    // without regard to case, "*.*" matching every name) and fills data with
    // the first. Returns invalidFindHandle when nothing matches or the folder
    // cannot be read. Several enumerations may be open at once.
    virtual FindHandle findFirst(const String& pattern, FindDetail detail, FindData& data) = 0;
    // The next entry: false at the end.
    virtual bool findNext(FindHandle handle, FindData& data) = 0;
    virtual void findClose(FindHandle handle) = 0;
    // The attribute bits of the entry at path, which the open enumeration
    // just delivered as found (file_attributes::Invalid when it is gone).
    // Windows asks the file system again; Linux answers from what the
    // directory listing already said, asking again only where it said
    // nothing.
    virtual std::uint32_t entryAttributes(const String& path, const FindData& found) = 0;
    // Looks for fileName directly in folder (as given: no separator added;
    // empty for the current folder). On success writes the full path into
    // buffer, ended by a NUL, and returns its length; returns the size needed
    // (writing nothing) when buffer is too small, and 0 when the name is not
    // there.
    virtual std::uint32_t searchPath(const String& folder, const String& fileName,
                                     String& buffer) = 0;

    // The identity of the folder at path (links followed), if it can be read.
    virtual std::optional<FolderId> folderId(const String& path) = 0;
    // The identities of the folders that hold the folder at path, from the
    // root down to the folder itself (relative paths taken from the current
    // folder, links followed). A descent into one of them would search a
    // tree that holds itself. Asked once per search, not once per folder.
    virtual std::vector<FolderId> folderChain(const String& path) = 0;

    // Reads folder (ending in a separator) once for a search: its subfolders,
    // then its entries matching pattern (as findFirst takes it), told to
    // visitor. With identify, the folder is first identified by the listing
    // just opened, and left unread when the visitor turns it down; a folder
    // that cannot be opened tells nothing. Returns false, having done
    // nothing, where the platform cannot do better than the enumeration
    // calls above (the default): the search then lists the folder twice.
    virtual bool readFolder(const String& /*folder*/, const String& /*pattern*/, bool /*identify*/,
                            FolderVisitor& /*visitor*/) {
        return false;
    }
};

}  // namespace tarnwick
