// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tarnwick/types.h"

namespace tarnwick::testing {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() : path_(fs::temp_directory_path() / ("tarnwick-test-" + unique())) {
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        // Folders a test made unreadable must be opened again to be removed.
        for (auto it = fs::recursive_directory_iterator(
                 path_, fs::directory_options::skip_permission_denied, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / fs::u8path(name); }

    // Writes a file (making its folders) and returns its path.
    fs::path write(const std::string& name, const std::string& content = "") const {
        const fs::path p = *this / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

  private:
    static std::string unique() {
        std::random_device random;
        return std::to_string(random()) + std::to_string(random());
    }
    fs::path path_;
};

// A file's bytes ("" when it cannot be read).
inline std::string contentOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted: to see that nothing was left beside a file.
inline std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tarnwick::testing
