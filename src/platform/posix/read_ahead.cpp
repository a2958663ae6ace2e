// The helper threads of lookUpTogether (started on first use, kept for the
// process's life, sleeping between batches, serving one batch at a time),
// and the walk that reads ahead of a whole search.
#include "platform/posix/read_ahead.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

// Enough requests in flight for a disk's queue, few enough for a small machine.
constexpr int Helpers = 8;

struct Batch {
    int folder;
    const char* const* names;
    std::size_t count;
    bool listings;  // the names are folders, whose listings are read
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;  // under the pool's lock
};

void lookUp(Batch& b, std::size_t& done) {
    for (std::size_t i; (i = b.next.fetch_add(1)) < b.count; ++done) {
        if (!b.listings) {
            struct statx answer;
            ::statx(b.folder, b.names[i], AT_NO_AUTOMOUNT, STATX_TYPE | STATX_SIZE, &answer);
            continue;
        }
        // The folder's first block of entries, which the search reads next.
        const int fd = ::openat(b.folder, b.names[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        alignas(8) static thread_local char block[16 * 1024];
        (void)::getdents64(fd, block, sizeof block);
        ::close(fd);
    }
}

class Pool {
  public:
    void run(Batch& batch) {
        std::lock_guard one(callers_);
        std::unique_lock lock(m_);
        if (!started_) {
            started_ = true;
            // Where no thread can be started, the caller does the lookups
            // itself, as it would without helpers.
            try {
                for (int i = 0; i < Helpers; ++i) std::thread([this] { serve(); }).detach();
            } catch (const std::system_error&) {
            }
        }
        // A helper still leaving the batch before holds none of its state.
        idle_.wait(lock, [&] { return active_ == 0; });
        current_ = &batch;
        ++generation_;
        wake_.notify_all();
        lock.unlock();
        std::size_t done = 0;
        lookUp(batch, done);
        lock.lock();
        batch.done += done;
        idle_.wait(lock, [&] { return batch.done == batch.count && active_ == 0; });
        current_ = nullptr;
    }

  private:
    void serve() {
        std::unique_lock lock(m_);
        std::uint64_t seen = 0;
        for (;;) {
            wake_.wait(lock, [&] { return current_ != nullptr && generation_ != seen; });
            seen = generation_;
            Batch& batch = *current_;
            ++active_;
            lock.unlock();
            std::size_t done = 0;
            lookUp(batch, done);
            lock.lock();
            batch.done += done;
            --active_;
            idle_.notify_all();
        }
    }

    std::mutex callers_, m_;
    std::condition_variable wake_, idle_;
    bool started_ = false;
    Batch* current_ = nullptr;
    std::uint64_t generation_ = 0;
    int active_ = 0;
};

// The process's pool. A child made by fork has none of the parent's
// threads: it leaves the parent's pool untouched (kept reachable) and
// starts its own when it needs one.
std::atomic<Pool*> pool{nullptr};
std::vector<Pool*>& abandoned() {
    static auto* kept = new std::vector<Pool*>;
    return *kept;
}

Pool& thePool() {
    static const int watching = ::pthread_atfork(nullptr, nullptr, [] {
        if (Pool* old = pool.exchange(nullptr)) abandoned().push_back(old);
    });
    (void)watching;
    Pool* p = pool.load();
    if (p == nullptr) {
        Pool* fresh = new Pool;
        if (pool.compare_exchange_strong(p, fresh))
            p = fresh;
        else
            delete fresh;
    }
    return *p;
}

}  // namespace

void lookUpTogether(int folder, const char* const* names, std::size_t count, bool listings) {
    if (count == 0) return;
    Batch batch{folder, names, count, listings};
    if (count == 1) {
        std::size_t done = 0;
        lookUp(batch, done);  // not worth a hand-over
        return;
    }
    thePool().run(batch);
}

namespace {

// How far the walk may run ahead of the search, in folders, and how many
// threads walk.
constexpr std::size_t FoldersAhead = 256;
constexpr int Walkers = 8;

class Scout final : public SearchAhead {
  public:
    Scout(std::string folder, const std::string& pattern, const SearchPlan& plan)
        : pattern_(pattern), name_(pattern), plan_(plan) {
        pending_.push_back(std::move(folder));
    }
    ~Scout() override {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : walkers_) t.join();
    }
    Scout(const Scout&) = delete;
    Scout& operator=(const Scout&) = delete;

    void entered() override {
        {
            std::lock_guard lock(m_);
            ++entered_;
        }
        if (!started_ && metColdDisk()) {
            started_ = true;
            try {
                for (int i = 0; i < Walkers; ++i) walkers_.emplace_back([this] { walk(); });
            } catch (const std::system_error&) {
                // Fewer walkers, or none: the search reads for itself.
            }
        }
        wake_.notify_all();
    }

  private:
    void walk() {
        std::unique_lock lock(m_);
        for (;;) {
            wake_.wait(lock, [&] {
                return stop_ || (!pending_.empty() && listed_ < entered_ + FoldersAhead);
            });
            if (stop_) return;
            std::string folder = std::move(pending_.back());
            pending_.pop_back();
            ++listed_;
            lock.unlock();
            std::vector<std::string> subfolders = scan(folder);
            lock.lock();
            // The first subfolder on top: the search goes there first.
            for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
                pending_.push_back(std::move(*it));
            if (!subfolders.empty()) wake_.notify_all();
        }
    }

    // Lists the folder, looks up what the search will look up in it, and
    // returns the subfolders the search will enter.
    std::vector<std::string> scan(const std::string& folder) {
        std::vector<std::string> subfolders;
        const int fd = openFolder(folder, O_RDONLY);
        if (fd < 0) return subfolders;
        struct stat st;
        if (::fstat(fd, &st) != 0 || !firstVisit(st)) {
            ::close(fd);
            return subfolders;
        }
        struct statx answer;
        const unsigned fields = STATX_TYPE | STATX_SIZE;
        if (plan_.oneName) ::statx(fd, name_.c_str(), AT_NO_AUTOMOUNT, fields, &answer);
        alignas(8) static thread_local char block[64 * 1024];
        for (long n; !stop_ && (n = ::getdents64(fd, block, sizeof block)) > 0;) {
            for (long at = 0; at < n && !stop_;) {
                const auto* entry = reinterpret_cast<const dirent64*>(block + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (isDotOrDotDot(name)) continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                    isFolder = ::statx(fd, name, AT_NO_AUTOMOUNT, fields, &answer) == 0 &&
                               S_ISDIR(answer.stx_mode);
                } else if (!isFolder && plan_.sizes && !plan_.oneName && pattern_.matches(name)) {
                    ::statx(fd, name, AT_NO_AUTOMOUNT, fields, &answer);
                }
                if (isFolder && (plan_.hiddenFolders || name[0] != '.'))
                    subfolders.push_back(folder + "/" + name);
            }
        }
        ::close(fd);
        return subfolders;
    }

    // Each folder once, whatever links lead to it: a tree that holds
    // itself ends the walk there.
    bool firstVisit(const struct stat& st) {
        std::lock_guard lock(m_);
        return visited_.emplace(st.st_dev, st.st_ino).second;
    }

    const NamePattern pattern_;
    const std::string name_;
    const SearchPlan plan_;
    std::mutex m_;
    std::condition_variable wake_;
    std::vector<std::string> pending_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    std::size_t listed_ = 0, entered_ = 0;
    std::atomic<bool> stop_{false};
    bool started_ = false;  // the caller's thread only
    std::vector<std::thread> walkers_;
};

}  // namespace

std::unique_ptr<SearchAhead> readAheadOfSearch(const std::string& folder,
                                               const std::string& pattern, const SearchPlan& plan) {
    return std::make_unique<Scout>(folder, pattern, plan);
}

}  // namespace tarnwick
