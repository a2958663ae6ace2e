// Real starts on Linux: the recorder program stands in for the emulator and
// writes down what it received.
#pragma once

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>

#include <memory>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick::testing {

class PosixLaunch : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::filesystem::current_path();
        record_ = temp / "record.txt";
        ::setenv("TARNWICK_RECORDER_OUT", record_.c_str(), 1);
        PosixOptions o;
        o.aliasFolder = (temp / "aliases").string();
        host_ = std::make_unique<PosixPlatform>(o);
    }
    void TearDown() override {
        std::filesystem::current_path(saved_);
        ::unsetenv("TARNWICK_RECORDER_OUT");
    }
    // The recorder, copied to name inside the temporary folder.
    std::filesystem::path emulator(const std::string& name) {
        const std::filesystem::path p = temp / name;
        std::filesystem::create_directories(p.parent_path());
        std::filesystem::copy_file(TARNWICK_RECORDER, p);
        return p;
    }
    // What the program started last received. A started program writes its
    // record within milliseconds: a few seconds without one is a failure.
    Recording recorded() {
        Recording r;
        EXPECT_TRUE(waitForRecording(record_, r, std::chrono::seconds(5)))
            << "the program did not run";
        return r;
    }
    TempFolder temp;
    std::unique_ptr<PosixPlatform> host_;
    std::filesystem::path record_;

  private:
    std::filesystem::path saved_;
};

// A second local user for the cases about files other people can write:
// created on first use (as root), or 0 when this process cannot.
inline uid_t otherUser() {
    static const uid_t uid = [] {
        const char* name = "tarnwick-other";
        if (::geteuid() == 0 && !::getpwnam(name)) {
            [[maybe_unused]] const int status = std::system(
                "useradd --system --no-create-home --shell /usr/sbin/nologin "
                "tarnwick-other >/dev/null 2>&1");
        }
        const passwd* user = ::getpwnam(name);
        return user ? user->pw_uid : 0;
    }();
    return ::geteuid() == 0 ? uid : 0;
}

}  // namespace tarnwick::testing
