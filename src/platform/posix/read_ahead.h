// Many lookups in flight at once, for the folder searches.
//
// A search on a cold disk waits for one inode after another. Handing the
// lookups of a folder's entries to a few helper threads at once lets the
// disk serve them together; the search then asks again itself, answered at
// once from the cache. Nothing the search reports comes from the helpers, so
// what it reports, and when, is what the search alone would report.
#pragma once

#include <cstddef>

namespace tarnwick {

// The most lookups handed over in one go.
inline constexpr std::size_t ReadAheadBatch = 256;

// Asks the system about each of the count names in the folder open as
// folder (links followed, nothing kept), on the helper threads and the
// caller's own, and returns when every answer is in. With listings, the
// names are folders, and the first block of each one's listing is read.
void lookUpTogether(int folder, const char* const* names, std::size_t count, bool listings);

}  // namespace tarnwick
