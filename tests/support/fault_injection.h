// Failures on purpose. Every call the code under test makes to the file
// system (a system call of the backend's table, or a file operation of
// SQLite) is counted, and the one numbered in the plan fails with the
// chosen errno, so that a test can walk a writer through a failure at each
// of its calls in turn and look at what it left behind.
#pragma once

#include <cerrno>
#include <map>
#include <string>

namespace tarnwick::testing {

class FaultPlan {
  public:
    // Counting starts again; call number failAt (from 1) will fail with
    // error, every other one passes.
    void arm(int failAt, int error) {
        failAt_ = failAt;
        error_ = error;
        calls_ = 0;
        perCall_.clear();
        site_.clear();
        trail_.clear();
        armed_ = true;
    }
    // Every call passes again; what was counted stays to be read.
    void disarm() { armed_ = false; }

    // A standing condition, apart from the count: new files may not be made
    // (the folder lost its write permission), so an open that would create
    // one fails with EACCES.
    void refuseNewFiles(bool on) { refuseNewFiles_ = on; }
    bool refusesNewFiles() const { return refuseNewFiles_; }

    // Asked by every stand-in before it makes the real call: true (with
    // errno set) when this call is the one to fail.
    bool strike(const char* call) {
        if (!armed_) return false;
        const int nth = ++perCall_[call];
        trail_ += std::string(trail_.empty() ? "" : " ") + call;
        if (++calls_ != failAt_) return false;
        site_ = std::string(call) + "#" + std::to_string(nth);
        errno = error_;
        return true;
    }

    int error() const { return error_; }
    // Whether the call numbered in the plan was reached, and which it was
    // ("pwrite#2": the second pwrite since the plan was armed).
    bool struck() const { return !site_.empty(); }
    const std::string& site() const { return site_; }
    std::string call() const { return site_.substr(0, site_.find('#')); }
    int calls() const { return calls_; }
    // Every call counted since arm, in order, for messages.
    const std::string& trail() const { return trail_; }

  private:
    bool armed_ = false;
    bool refuseNewFiles_ = false;
    int failAt_ = 0;
    int error_ = 0;
    int calls_ = 0;
    std::map<std::string, int> perCall_;
    std::string site_;
    std::string trail_;
};

// The one plan every stand-in asks.
FaultPlan& faultPlan();

// While it lives, the backend's system-call table holds stand-ins that ask
// faultPlan() first; the real calls go back when it ends.
class FaultySystemCalls {
  public:
    FaultySystemCalls();
    ~FaultySystemCalls();
    FaultySystemCalls(const FaultySystemCalls&) = delete;
    FaultySystemCalls& operator=(const FaultySystemCalls&) = delete;
};

// Makes a VFS that forwards to SQLite's "unix" one, asking faultPlan()
// before every file operation, the default for connections opened from now
// on (once per process; while the plan is disarmed it only forwards).
void installFaultyVfs();

}  // namespace tarnwick::testing
