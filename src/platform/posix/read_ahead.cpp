// The helper threads of lookUpTogether: started on first use, kept for the
// process's life (sleeping between batches), serving one batch at a time.
#include "platform/posix/read_ahead.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

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

}  // namespace tarnwick
