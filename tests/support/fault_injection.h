// Failures on purpose: every call the code under test makes to the file
// system (an entry of the backend's system-call table, or a file operation
// of SQLite) is counted, and the one numbered in the plan fails with the
// chosen errno, so a test can walk a writer through a failure at each call.
#pragma once

#include <cerrno>
#include <string>

namespace tarnwick::testing {

class FaultPlan {
  public:
    // Call number failAt (from 1) will fail with error; counting restarts.
    void arm(int failAt, int error) {
        armed_ = true;
        failAt_ = failAt, error_ = error, calls_ = 0;
        site_.clear(), trail_.clear();
    }
    void disarm() { armed_ = false; }
    // A standing condition: no new file may be made (an open that would
    // create one fails with EACCES), as in a folder we may not write.
    bool refuseNewFiles = false;

    // Asked by every stand-in first: true (errno set) for the call to fail.
    bool strike(const char* call) {
        if (!armed_) return false;
        trail_ += std::string(trail_.empty() ? "" : " ") + call;
        if (++calls_ != failAt_) return false;
        site_ = call;
        errno = error_;
        return true;
    }
    int error() const { return error_; }
    // The call that failed ("" when the run made fewer calls than failAt).
    const std::string& site() const { return site_; }
    // Every call counted since arm, in order.
    const std::string& trail() const { return trail_; }

  private:
    bool armed_ = false;
    int failAt_ = 0, error_ = 0, calls_ = 0;
    std::string site_, trail_;
};

FaultPlan& faultPlan();

// While it lives, the backend's system-call table asks faultPlan() first.
struct FaultySystemCalls {
    FaultySystemCalls();
    ~FaultySystemCalls();
};

// Registers, once, a VFS that asks faultPlan() before each file operation
// of SQLite and then forwards to the "unix" one, as the default.
void installFaultyVfs();

}  // namespace tarnwick::testing
