// What a careless front end or a hostile games database can hand the public
// methods, and the means to see that nothing but the named file changed:
// the hostile names, a snapshot of a folder tree, host handlers that record
// prompts, and a fixture with a sandbox folder on the real Linux backend.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>

#include "posix/launch_fixture.h"
#include "posix/path_text.h"
#include "support/psid_bytes.h"

namespace tarnwick::testing {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using namespace std::string_literals;

// Names a games database can hold, each one a valid Linux file name, with
// the lower case the VICE launchers turn it into.
struct Hostile {
    std::string name;
    std::string lower;
};
inline const std::vector<Hostile> hostileNames = {
    // clang-format off
    {"; touch PWNED", "; touch pwned"}, {"$(touch PWNED)", "$(touch pwned)"},
    {"`touch PWNED`", "`touch pwned`"}, {"a | touch PWNED", "a | touch pwned"},
    {"x && touch PWNED &", "x && touch pwned &"}, {"  lead and trail  ", "  lead and trail  "},
    {"quote\" -chdir .. \"inside", "quote\" -chdir .. \"inside"}, {"\"", "\""},
    {"back\\\" slash\\", "back\\\" slash\\"}, {"$HOME ${PATH}", "$home ${path}"},
    {"new\nline", "new\nline"}, {"tab\there", "tab\there"}, {"-rf", "-rf"}, {"*", "*"},
    {"?x[a]", "?x[a]"}, {"%PATH% 'single'", "%path% 'single'"}, {"Été ÀÉ", "été àé"},
    {"\xff\xfe not UTF-8", "\xff\xfe not utf-8"}};
// clang-format on

// A text of exactly n characters, ending in a separator-free name.
inline String ofLength(std::size_t n, char16_t fill = u'a') {
    String text(n, fill);
    text[0] = u'/';
    return text;
}

// One entry of a folder tree as far as a change could show: its type, its
// permission bits and its content (a file's bytes, a link's target), hashed.
struct Node {
    fs::file_type type;
    unsigned mode;
    std::uint64_t size;
    std::uint64_t hash;
    friend bool operator==(const Node&, const Node&) = default;
};
using Tree = std::map<std::string, Node>;
using Paths = std::vector<std::string>;
inline const Paths nothingChanged;

inline std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

// The hash of a file's content, read again only when the file may have
// changed: the sandboxes hold many copies of the recorder program.
inline std::uint64_t contentHash(const fs::path& p, const struct stat& st) {
    using Key = std::tuple<dev_t, ino_t, off_t, long, long, long, long>;
    static std::map<Key, std::uint64_t> known;
    const Key key{st.st_dev,          st.st_ino,         st.st_size,        st.st_mtim.tv_sec,
                  st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    const auto it = known.find(key);
    return it != known.end() ? it->second : known[key] = fnv1a(contentOf(p));
}

// Every path below root, links not followed.
inline Tree snapshot(const fs::path& root) {
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        Node node{it->symlink_status(ec).type(), static_cast<unsigned>(st.st_mode & 07777),
                  static_cast<std::uint64_t>(st.st_size), 0};
        if (S_ISREG(st.st_mode)) node.hash = contentHash(it->path(), st);
        if (S_ISLNK(st.st_mode)) node.hash = fnv1a(fs::read_symlink(it->path(), ec).string());
        tree[it->path().string().substr(root.string().size() + 1)] = node;
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

// Whether the argument a program received opens the given file.
inline bool opens(const std::string& argument, const fs::path& file) {
    std::error_code ec;
    return fs::equivalent(fs::path(argument), file, ec);
}

inline bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Installs host handlers for one test (every box answered by answer, Cancel
// without one, its prompt kept) and removes them afterwards.
struct HostHandlers {
    explicit HostHandlers(std::function<std::int32_t(const String&)> answer = {})
        : answer_(std::move(answer)) {
        setMessageBoxHandler([this](const String& prompt, std::int32_t, const String&) {
            prompts.push_back(prompt);
            return answer_ ? answer_(prompt) : answers::Cancel;
        });
        setYieldHandler([this] { ++yields; });
    }
    ~HostHandlers() {
        setMessageBoxHandler(nullptr);
        setYieldHandler(nullptr);
    }
    std::vector<String> prompts;
    int yields = 0;

  private:
    std::function<std::int32_t(const String&)> answer_;
};

class BadInput : public PosixLaunch {
  protected:
    void SetUp() override {
        PosixLaunch::SetUp();
        fs::create_directories(sandbox);
        f = std::make_unique<twFunctions>(*host_);
    }
    // No shell ran: nothing named PWNED anywhere in the temporary folder
    // (the sandbox, the emulators' folders, the aliases), where the program
    // was started, or in /tmp.
    void expectNoShell(const std::string& context) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(
                 temp.path(), fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            EXPECT_NE(it->path().filename(), "PWNED") << context << ": " << it->path();
        EXPECT_FALSE(fs::exists(fs::current_path() / "PWNED")) << context;
        EXPECT_FALSE(fs::exists("/tmp/PWNED")) << context;
    }
    // A copy of the recorder at path (relative to the sandbox).
    fs::path program(const std::string& relative) {
        const fs::path p = sandbox / fs::path(relative);
        fs::create_directories(p.parent_path());
        fs::copy_file(TARNWICK_RECORDER, p);
        return p;
    }
    fs::path write(const std::string& relative, const std::string& content) {
        const fs::path p = sandbox / fs::path(relative);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    const fs::path sandbox = temp / "sandbox";
    std::unique_ptr<twFunctions> f;
};

}  // namespace tarnwick::testing
