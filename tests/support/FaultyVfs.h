// SPDX-License-Identifier: MIT
#pragma once

#include <sqlite3.h>

#include <atomic>

namespace orvane::test {

/// SQLite's own file system with one fault: while armed, the Nth write or
/// sync from now fails with an I/O error, as a full or failing disk does.
/// Installed as the default for as long as it lives, so the store under
/// test opens through it unchanged.
class FaultyVfs {
  public:
    FaultyVfs();
    ~FaultyVfs();
    FaultyVfs(const FaultyVfs&) = delete;
    FaultyVfs& operator=(const FaultyVfs&) = delete;

    /// The nth write or sync from now fails; 0 fails none.
    void failAt(int nth) { countdown_ = nth; }
    bool failed() const { return failed_; }

    static std::atomic<int> countdown_;
    static std::atomic<bool> failed_;

  private:
    sqlite3_vfs vfs_{};
    sqlite3_vfs* base_ = nullptr;
};

}  // namespace orvane::test
