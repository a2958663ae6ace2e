// Hostile names, folder snapshots and a sandbox fixture on the real Linux backend.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <map>
#include <memory>

#include "platform/posix/posix_platform.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick::testing {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A path as the library takes it on Linux: its bytes as they are, which fromUtf8 keeps.
inline String u16(const fs::path& p) {
    return fromUtf8(p.string());
}

// Names a games database can hold, each one a valid Linux file name.
// clang-format off
inline const std::vector<std::string> hostileNames = {
    {"; touch PWNED"}, {"$(touch PWNED)"}, {"`touch PWNED`"}, {"a | touch PWNED"}, {"x && touch PWNED &"},
    {"  lead and trail  "}, {"quote\" -chdir .. \"inside"}, {"\""}, {"back\\\" slash\\"}, {"$HOME ${PATH}"},
    {"new\nline"}, {"tab\there"}, {"-rf"}, {"*"}, {"?x[a]"}, {"%PATH% 'single'"}, {"Été ÀÉ"}, {"\xff\xfe not UTF-8"}};
// clang-format on

// A path of exactly n characters.
inline String ofLength(std::size_t n) {
    return u'/' + String(n - 1, u'a');
}

// Every path below root (links not followed): type, permissions, content or target.
using Tree = std::map<std::string, std::tuple<fs::file_type, fs::perms, std::string>>;
using Paths = std::vector<std::string>;
inline Tree snapshot(const fs::path& root) {
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        const std::string content = fs::is_symlink(st)        ? fs::read_symlink(*it, ec).string()
                                    : fs::is_regular_file(st) ? contentOf(*it)
                                                              : "";
        tree[fs::relative(*it, root).string()] = {st.type(), st.permissions(), content};
    }
    return tree;
}

// The paths (relative to the snapshot's root) added, removed or changed.
inline Paths differences(const Tree& before, const Tree& after) {
    Paths changed;
    for (const auto& [path, node] : before)
        if (!after.count(path) || !(after.at(path) == node)) changed.push_back(path);
    for (const auto& [path, node] : after)
        if (!before.count(path)) changed.push_back(path);
    std::sort(changed.begin(), changed.end());
    return changed;
}

// The number of the error a call raises; 0 for none.
template <typename Call>
std::int32_t raised(Call call) {
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// The real backend (aliases in the temporary folder), a sandbox; the current folder is put back.
class BadInput : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(sandbox); }
    void TearDown() override { fs::current_path(saved_); }
    // No shell ran: no PWNED in the temporary folder, the current one or /tmp.
    void expectNoShell(const std::string& context) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(
                 temp.path(), fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            EXPECT_NE(it->path().filename(), "PWNED") << context << ": " << it->path();
        EXPECT_FALSE(fs::exists(fs::current_path() / "PWNED")) << context;
        EXPECT_FALSE(fs::exists("/tmp/PWNED")) << context;
    }
    fs::path write(const std::string& relative, const std::string& content) {
        return temp.write("sandbox/" + relative, content);
    }
    TempFolder temp;
    std::unique_ptr<PosixPlatform> host_ = std::make_unique<PosixPlatform>(
        PosixOptions{.aliasFolder = (temp / "aliases").string(), .registryFile = {}});
    const fs::path saved_ = fs::current_path(), sandbox = temp / "sandbox";
    std::unique_ptr<twFunctions> f = std::make_unique<twFunctions>(*host_);
};

}  // namespace tarnwick::testing
