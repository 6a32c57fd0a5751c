#pragma once

#include <sys/stat.h>

#include <set>
#include <utility>

// Whether another process (or another descriptor of this one) still has a file open, the
// Linux stand-in for "the file cannot be opened exclusively".
//
// First choice is a write lease: the kernel grants it only when no other descriptor anywhere
// has the file open. Leases need the file to belong to this user (or CAP_LEASE) and a local
// file system; where the kernel refuses for those reasons, the open descriptors listed under
// /proc/<pid>/fd are compared by device and inode instead. That listing only shows processes
// this user may inspect.
class TFileUseProbe {
  public:
    // fd is this process's own descriptor on the file, st its stat.
    bool InUseElsewhere(int fd, const struct stat& st);

    // The fallback alone: whether a descriptor listed under /proc, other than fd of this
    // process, is open on the file.
    bool HeldInProcFs(int fd, const struct stat& st);

  private:
    bool indexed_ = false;
    std::set<std::pair<dev_t, ino_t>> openFiles_;  // built once per probe, on first need
};
