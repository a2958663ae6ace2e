// FindFiles against a plain depth-first walk of a randomised tree.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <set>

#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {

namespace fs = std::filesystem;
using Id = std::pair<dev_t, ino_t>;

// Each folder's matches in listing order, then its subfolders, each once.
static void walk(const fs::path& folder, std::set<Id>& entered, std::vector<std::string>& events) {
    std::vector<std::pair<fs::path, Id>> subfolders;
    std::error_code unreadable;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, unreadable)) {
        struct stat st {};
        if (::stat(e.path().c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            subfolders.push_back({e.path(), {st.st_dev, st.st_ino}});
        if (::fnmatch("*.sid", e.path().filename().c_str(), FNM_CASEFOLD) == 0)
            events.push_back(e.path().string());
    }
    for (const auto& [path, id] : subfolders)
        if (entered.insert(id).second) walk(path, entered, events);
}

TEST(SearchOrder, FindFilesWalksDepthFirstOverLinksCyclesAndUnreadableFolders) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    testing::TempFolder temp;
    std::vector<fs::path> folders{temp.write("root/.x").parent_path()};
    for (int i = 0; i < 10000; ++i) {  // folders, links to folders (above too) or nothing, files
        const fs::path at = folders[random() % folders.size()] /
                            (std::to_string(i) + std::string(".sid.SID.txt").substr(i % 4 * 4, 4));
        const unsigned kind = random() % 100;
        if (kind < 10) fs::create_directory(folders.emplace_back(at));
        if (kind >= 10 && kind < 13)
            fs::create_symlink(kind == 10 ? temp / "none" : folders[random() % folders.size()], at);
        if (kind >= 13) std::ofstream(at) << std::string(kind, '-');
    }
    for (std::size_t i = 1; i < folders.size(); i += 29) fs::permissions(folders[i], fs::perms{});
    ::sync();  // then cold caches (root only), where the search reads ahead
    std::ofstream("/proc/sys/vm/drop_caches") << "3";
    // As a plain user, whom modes bind (this thread and those it starts).
    const bool root = ::geteuid() == 0 && ::syscall(SYS_setresuid, -1, 65534, -1) == 0;
    std::vector<std::string> expected, got;
    twFunctions f;
    f.addFoundFileHandler([&](const String& path) { got.push_back(toUtf8(path)); });
    String start = fromUtf8(folders[0].string());
    f.FindFiles(start, u"*.sid");
    struct stat st {};
    ::stat(folders[0].c_str(), &st);
    std::set<Id> entered{{st.st_dev, st.st_ino}};  // no link leads above it
    walk(folders[0], entered, expected);
    if (root) ::syscall(SYS_setresuid, -1, 0, -1);
    EXPECT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size() && i < expected.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << "event " << i << ", seed " << seed;
}

}  // namespace tarnwick
