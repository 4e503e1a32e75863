// SPDX-License-Identifier: MIT
#include "support/FaultyVfs.h"

#include <cstddef>
#include <cstring>

namespace orvane::test {

std::atomic<int> FaultyVfs::countdown_{0};
std::atomic<bool> FaultyVfs::failed_{false};

namespace {
sqlite3_vfs* base = nullptr;

/// The base file follows this header in the same allocation.
struct File {
    sqlite3_file header;
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

bool tripped() {
    int n = FaultyVfs::countdown_.load();
    while (n > 0 && !FaultyVfs::countdown_.compare_exchange_weak(n, n - 1)) {
    }
    if (n == 1) {
        FaultyVfs::failed_ = true;
        return true;
    }
    return false;
}

File* self(sqlite3_file* f) {
    return reinterpret_cast<File*>(f);
}

int xClose(sqlite3_file* f) {
    const int rc =
        self(f)->real()->pMethods ? self(f)->real()->pMethods->xClose(self(f)->real()) : SQLITE_OK;
    return rc;
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
    return self(f)->real()->pMethods->xRead(self(f)->real(), p, n, at);
}
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
    if (tripped()) return SQLITE_IOERR_WRITE;
    return self(f)->real()->pMethods->xWrite(self(f)->real(), p, n, at);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return self(f)->real()->pMethods->xTruncate(self(f)->real(), size);
}
int xSync(sqlite3_file* f, int flags) {
    if (tripped()) return SQLITE_IOERR_FSYNC;
    return self(f)->real()->pMethods->xSync(self(f)->real(), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return self(f)->real()->pMethods->xFileSize(self(f)->real(), size);
}
int xLock(sqlite3_file* f, int l) {
    return self(f)->real()->pMethods->xLock(self(f)->real(), l);
}
int xUnlock(sqlite3_file* f, int l) {
    return self(f)->real()->pMethods->xUnlock(self(f)->real(), l);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return self(f)->real()->pMethods->xCheckReservedLock(self(f)->real(), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return self(f)->real()->pMethods->xFileControl(self(f)->real(), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return self(f)->real()->pMethods->xSectorSize(self(f)->real());
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return self(f)->real()->pMethods->xDeviceCharacteristics(self(f)->real());
}

// Version 1 methods: no shared memory, so the store keeps its rollback journal.
const sqlite3_io_methods kMethods = {1,
                                     xClose,
                                     xRead,
                                     xWrite,
                                     xTruncate,
                                     xSync,
                                     xFileSize,
                                     xLock,
                                     xUnlock,
                                     xCheckReservedLock,
                                     xFileControl,
                                     xSectorSize,
                                     xDeviceCharacteristics,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* file = self(f);
    std::memset(file->real(), 0, std::size_t(base->szOsFile));
    const int rc = base->xOpen(base, name, file->real(), flags, outFlags);
    file->header.pMethods = file->real()->pMethods ? &kMethods : nullptr;
    return rc;
}
int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return base->xDelete(base, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return base->xAccess(base, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
    return base->xFullPathname(base, name, n, out);
}
}  // namespace

FaultyVfs::FaultyVfs() {
    base_ = base = sqlite3_vfs_find(nullptr);
    vfs_ = *base_;
    vfs_.iVersion = 1;
    vfs_.zName = "orvane-faulty";
    vfs_.szOsFile = int(sizeof(File)) + base_->szOsFile;
    vfs_.pNext = nullptr;
    vfs_.xOpen = xOpen;
    vfs_.xDelete = xDelete;
    vfs_.xAccess = xAccess;
    vfs_.xFullPathname = xFullPathname;
    sqlite3_vfs_register(&vfs_, 1);
    countdown_ = 0;
    failed_ = false;
}

FaultyVfs::~FaultyVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(base_, 1);
}

}  // namespace orvane::test
