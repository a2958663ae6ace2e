// Failures on purpose: every call the writers make to the file system (an
// entry of the backend's system-call table, or a system call of SQLite's own
// "unix" layer) is counted, and the one numbered in the plan fails with the
// chosen errno, so that a test can walk a writer through a failure at each
// of its calls.
#pragma once

#include <string>

namespace tarnwick::testing {

struct FaultPlan {
    int failAt = 0, error = 0, calls = 0;  // failAt 0: nothing fails or is counted
    // An open that would create a file fails with EACCES, as in a folder
    // that may not be written.
    bool refuseNewFiles = false;
    std::string site, trail;  // the call that failed ("": none); every call counted
    // Asked by every stand-in first: true (errno set) when this call fails.
    bool strike(const char* call);
};
FaultPlan& faultPlan();

// While it lives, call failAt (from 1) of the backend and of SQLite fails
// with error; afterwards faultPlan() still tells what happened.
struct Faults {
    Faults(int failAt, int error, bool refuseNewFiles = false);
    ~Faults();
};

}  // namespace tarnwick::testing
