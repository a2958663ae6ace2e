// Many lookups in flight at once, for the folder searches.
//
// A search on a cold disk waits for one inode after another. Handing the
// lookups of a folder's entries to a few helper threads at once lets the
// disk serve them together; the search then asks again itself, answered at
// once from the cache. Nothing the search reports comes from the helpers, so
// what it reports, and when, is what the search alone would report.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/search.h"

namespace tarnwick {

// The most lookups handed over in one go.
inline constexpr std::size_t ReadAheadBatch = 256;

// Asks the system about each of the count names in the folder open as
// folder (links followed, nothing kept), on the helper threads and the
// caller's own, and returns when every answer is in. With listings, the
// names are folders, and the first block of each one's listing is read.
void lookUpTogether(int folder, const char* const* names, std::size_t count, bool listings);

// Reads ahead of a whole search on a cold disk: a few threads walk the
// tree the search is going to walk, in nearly the same order, listing each
// folder and looking up the entries the search will look up, so that the
// disk serves many requests at once and the search finds them cached. The
// walk runs at most a fixed number of folders ahead of the search (which
// bounds its memory and what it reads in vain when the search ends early),
// visits each folder once (a link cycle ends it), and stops when released.
// It starts only once the caller's thread has met a cold disk (see
// metColdDisk): on a warm tree it would only repeat the search's calls.
std::unique_ptr<SearchAhead> readAheadOfSearch(const std::string& folder,
                                               const std::string& pattern, const SearchPlan& plan);

// Whether the last lookup this thread timed waited for the disk.
bool metColdDisk();

}  // namespace tarnwick
