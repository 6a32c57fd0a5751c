#include "common/file_in_use.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "common/base/unique_handle.h"

bool TFileUseProbe::InUseElsewhere(int fd, const struct stat& st) {
    // Should another process open the file in the instant the lease is held, the kernel tells
    // the holder by a signal; SIGURG is ignored by default, unlike SIGIO, which would end us.
    fcntl(fd, F_SETSIG, SIGURG);
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    if (errno == EAGAIN || errno == EBUSY) return true;
    // No lease for this file here (not our file, no CAP_LEASE, or a file system without
    // leases): look at the open descriptors instead.
    return HeldInProcFs(fd, st);
}

bool TFileUseProbe::HeldInProcFs(int fd, const struct stat& st) {
    if (!indexed_) {
        indexed_ = true;
        const std::string self = std::to_string(getpid());
        const std::string ownFd = std::to_string(fd);
        TUniqueDir proc(opendir("/proc"));
        if (!proc) return false;
        while (dirent* p = readdir(proc.Get())) {
            if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
            const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
            TUniqueDir fds(opendir(fdDir.c_str()));
            if (!fds) continue;  // gone, or another user's process
            while (dirent* f = readdir(fds.Get())) {
                if (f->d_name[0] == '.') continue;
                // The probe's own descriptor is not another user of the file.
                if (self == p->d_name && ownFd == f->d_name) continue;
                struct stat target {};
                if (stat((fdDir + "/" + f->d_name).c_str(), &target) == 0 &&
                    S_ISREG(target.st_mode))
                    openFiles_.insert({target.st_dev, target.st_ino});
            }
        }
    }
    return openFiles_.count({st.st_dev, st.st_ino}) > 0;
}
