/* A fault injector preloaded into the gateway (LD_PRELOAD). It counts the calls of one family
 * of file operations on paths under one folder and, at the k-th call, fails it with an errno
 * or kills the process on the spot. Every family is counted in every run, so a run without a
 * fault (a dry run) tells how many failure points each family has.
 *
 *   DOVRANT_FAULT_UNDER    only calls on paths under this folder count (required)
 *   DOVRANT_FAULT_FAMILY   open, write, fsync, rename, link, unlink, mkdir or read
 *   DOVRANT_FAULT_AT       k, counted from 1
 *   DOVRANT_FAULT_ACTION   ENOSPC, EIO, EDQUOT, EACCES or kill
 *   DOVRANT_FAULT_COUNTS   a file that holds the counts of every family, kept current after
 *                          each call (a mapped file, so it is right even after a kill)
 *   DOVRANT_FAULT_REPORT   a file that gets one line when the fault fires: family, k, action
 *                          and path, then the call's stack
 *
 * "open" counts opens for writing or creating; "write", "read" and "fsync" count calls on
 * regular files and folders only (not on sockets or pipes); "unlink" counts removals of files
 * and folders. Calls the injector makes for itself are never counted. The library removes
 * itself from the environment, so programs the gateway starts run without it. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum { F_OPEN, F_WRITE, F_FSYNC, F_RENAME, F_LINK, F_UNLINK, F_MKDIR, F_READ, F_COUNT };
static const char* const kFamilies[F_COUNT] = {"open", "write",  "fsync", "rename",
                                               "link", "unlink", "mkdir", "read"};

static char under[PATH_MAX];
static size_t underLength;
static int faultFamily = -1;
static long faultAt;
static int faultErrno; /* 0: kill */
static char reportPath[PATH_MAX];
static long counts[F_COUNT];
/* The mapped counts file: one line per family, "name" and a fixed-width number. */
static char* countsMap;
enum { kCountWidth = 12, kLineWidth = 8 + kCountWidth + 1 };
static __thread int inside;

static void PutNumber(char* out, long value) {
    for (int i = kCountWidth - 1; i >= 0; --i) {
        out[i] = (char)('0' + value % 10);
        value /= 10;
    }
}

static void MapCounts(const char* path) {
    const int fd =
        (int)syscall(SYS_openat, AT_FDCWD, path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const size_t size = (size_t)F_COUNT * kLineWidth;
    if (syscall(SYS_ftruncate, fd, (long)size) == 0) {
        void* map = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            countsMap = map;
            for (int f = 0; f < F_COUNT; ++f) {
                char* line = countsMap + f * kLineWidth;
                memset(line, ' ', kLineWidth - 1);
                memcpy(line, kFamilies[f], strlen(kFamilies[f]));
                PutNumber(line + 8, 0);
                line[kLineWidth - 1] = '\n';
            }
        }
    }
    syscall(SYS_close, fd);
}

static int ErrnoNamed(const char* name) {
    if (strcmp(name, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(name, "EIO") == 0) return EIO;
    if (strcmp(name, "EDQUOT") == 0) return EDQUOT;
    if (strcmp(name, "EACCES") == 0) return EACCES;
    return -1;
}

__attribute__((constructor)) static void Setup(void) {
    const char* value = getenv("DOVRANT_FAULT_UNDER");
    if (value && *value && strlen(value) < sizeof under) {
        strcpy(under, value);
        underLength = strlen(under);
        while (underLength > 1 && under[underLength - 1] == '/') under[--underLength] = '\0';
    }
    value = getenv("DOVRANT_FAULT_COUNTS");
    if (value && *value) MapCounts(value);
    value = getenv("DOVRANT_FAULT_REPORT");
    if (value && strlen(value) < sizeof reportPath) strcpy(reportPath, value);
    const char* family = getenv("DOVRANT_FAULT_FAMILY");
    const char* at = getenv("DOVRANT_FAULT_AT");
    const char* action = getenv("DOVRANT_FAULT_ACTION");
    if (family && at && action) {
        for (int f = 0; f < F_COUNT; ++f)
            if (strcmp(family, kFamilies[f]) == 0) faultFamily = f;
        faultAt = atol(at);
        faultErrno = strcmp(action, "kill") == 0 ? 0 : ErrnoNamed(action);
        if (faultFamily < 0 || faultAt <= 0 || faultErrno < 0) {
            static const char text[] = "faultinject: unknown family, k or action\n";
            syscall(SYS_write, 2, text, sizeof text - 1);
            _exit(125);
        }
    }
    unsetenv("LD_PRELOAD");
}

/* The real function behind a hooked name, looked up once. */
#define REAL(name)                                                            \
    ({                                                                        \
        static __typeof__(&name) real_;                                       \
        __typeof__(&name) found_ = __atomic_load_n(&real_, __ATOMIC_ACQUIRE); \
        if (!found_) {                                                        \
            found_ = (__typeof__(&name))dlsym(RTLD_NEXT, #name);              \
            __atomic_store_n(&real_, found_, __ATOMIC_RELEASE);               \
        }                                                                     \
        found_;                                                               \
    })

static int IsUnder(const char* path) {
    if (!underLength || !path) return 0;
    return strncmp(path, under, underLength) == 0 &&
           (path[underLength] == '/' || path[underLength] == '\0');
}

/* The absolute form of path as seen from dirfd, in out; 0 when it cannot be told. */
static int Absolute(int dirfd, const char* path, char* out, size_t size) {
    if (!path) return 0;
    if (path[0] == '/') return snprintf(out, size, "%s", path) < (int)size;
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
        if (!getcwd(base, sizeof base)) return 0;
    } else {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
        const ssize_t n = readlink(link, base, sizeof base - 1);
        if (n <= 0) return 0;
        base[n] = '\0';
    }
    return snprintf(out, size, "%s/%s", base, path) < (int)size;
}

/* The path of an open regular file or folder, in out; 0 for anything else. */
static int PathOfFd(int fd, char* out, size_t size) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return 0;
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    if (n <= 0) return 0;
    out[n] = '\0';
    return 1;
}

static void Report(int family, long k, const char* path) {
    if (!reportPath[0]) return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, reportPath,
                                O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[PATH_MAX + 128];
    const int n = snprintf(line, sizeof line, "%s %ld %s %s\n", kFamilies[family], k,
                           faultErrno ? strerrorname_np(faultErrno) : "kill", path);
    syscall(SYS_write, fd, line, (size_t)n);
    void* frames[48];
    backtrace_symbols_fd(frames, backtrace(frames, 48), fd);
    syscall(SYS_close, fd);
}

/* Counts one call of family on path; 0 to go on, or the errno the call must fail with. A
 * kill ends the process here. */
static int Count(int family, const char* path) {
    if (inside || !IsUnder(path)) return 0;
    inside = 1;
    const long k = __atomic_add_fetch(&counts[family], 1, __ATOMIC_SEQ_CST);
    if (countsMap) PutNumber(countsMap + family * kLineWidth + 8, k);
    int fail = 0;
    if (family == faultFamily && k == faultAt) {
        Report(family, k, path);
        if (!faultErrno) syscall(SYS_kill, getpid(), SIGKILL);
        fail = faultErrno;
    }
    inside = 0;
    return fail;
}

static int CountFd(int family, int fd) {
    if (inside || !underLength) return 0;
    char path[PATH_MAX];
    inside = 1;
    const int known = PathOfFd(fd, path, sizeof path);
    inside = 0;
    return known ? Count(family, path) : 0;
}

static int CountAt(int family, int dirfd, const char* path) {
    if (inside || !underLength) return 0;
    char full[PATH_MAX];
    inside = 1;
    const int known = Absolute(dirfd, path, full, sizeof full);
    inside = 0;
    return known ? Count(family, full) : 0;
}

static int OpensForWrite(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
}

#define FAIL_WITH(error, value) \
    do {                        \
        errno = (error);        \
        return (value);         \
    } while (0)

/* ---- opening for write or create ---- */

static int OpenAt(int dirfd, const char* path, int flags, mode_t mode,
                  int (*real)(int, const char*, int, ...)) {
    if (OpensForWrite(flags)) {
        const int error = CountAt(F_OPEN, dirfd, path);
        if (error) FAIL_WITH(error, -1);
    }
    return real(dirfd, path, flags, mode);
}

static mode_t ModeArgument(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
}

/* The mode argument is there only with O_CREAT or O_TMPFILE. */
#define OPEN_HOOK(name, params, dirfd, real)                 \
    int name params {                                        \
        va_list args;                                        \
        va_start(args, flags);                               \
        const mode_t mode = ModeArgument(flags, args);       \
        va_end(args);                                        \
        return OpenAt(dirfd, path, flags, mode, REAL(real)); \
    }
OPEN_HOOK(open, (const char* path, int flags, ...), AT_FDCWD, openat)
OPEN_HOOK(open64, (const char* path, int flags, ...), AT_FDCWD, openat64)
OPEN_HOOK(openat, (int dirfd, const char* path, int flags, ...), dirfd, openat)
OPEN_HOOK(openat64, (int dirfd, const char* path, int flags, ...), dirfd, openat64)

int __open_2(const char* path, int flags) { return OpenAt(AT_FDCWD, path, flags, 0, REAL(openat)); }

int __open64_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0, REAL(openat64));
}

int creat(const char* path, mode_t mode) {
    return OpenAt(AT_FDCWD, path, O_WRONLY | O_CREAT | O_TRUNC, mode, REAL(openat));
}

int creat64(const char* path, mode_t mode) {
    return OpenAt(AT_FDCWD, path, O_WRONLY | O_CREAT | O_TRUNC, mode, REAL(openat64));
}

FILE* fopen(const char* path, const char* mode) {
    if (strpbrk(mode, "wa+")) {
        const int error = CountAt(F_OPEN, AT_FDCWD, path);
        if (error) FAIL_WITH(error, NULL);
    }
    return REAL(fopen)(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    if (strpbrk(mode, "wa+")) {
        const int error = CountAt(F_OPEN, AT_FDCWD, path);
        if (error) FAIL_WITH(error, NULL);
    }
    return REAL(fopen64)(path, mode);
}

/* The temporary-file makers open inside the C library, out of reach of the hooks above. */
#define TEMP_MAKER(name, params, args)                      \
    int name params {                                       \
        const int error = CountAt(F_OPEN, AT_FDCWD, templ); \
        if (error) FAIL_WITH(error, -1);                    \
        return REAL(name) args;                             \
    }
TEMP_MAKER(mkstemp, (char* templ), (templ))
TEMP_MAKER(mkstemp64, (char* templ), (templ))
TEMP_MAKER(mkostemp, (char* templ, int flags), (templ, flags))
TEMP_MAKER(mkostemp64, (char* templ, int flags), (templ, flags))
TEMP_MAKER(mkstemps, (char* templ, int suffix), (templ, suffix))
TEMP_MAKER(mkostemps, (char* templ, int suffix, int flags), (templ, suffix, flags))

/* ---- write ---- */

#define FD_HOOK(family, type, name, params, args, failed) \
    type name params {                                    \
        const int error = CountFd(family, fd);            \
        if (error) FAIL_WITH(error, failed);              \
        return REAL(name) args;                           \
    }
FD_HOOK(F_WRITE, ssize_t, write, (int fd, const void* data, size_t size), (fd, data, size), -1)
FD_HOOK(F_WRITE, ssize_t, pwrite, (int fd, const void* data, size_t size, off_t at),
        (fd, data, size, at), -1)
FD_HOOK(F_WRITE, ssize_t, pwrite64, (int fd, const void* data, size_t size, off64_t at),
        (fd, data, size, at), -1)
FD_HOOK(F_WRITE, ssize_t, writev, (int fd, const struct iovec* iov, int n), (fd, iov, n), -1)
FD_HOOK(F_WRITE, ssize_t, pwritev, (int fd, const struct iovec* iov, int n, off_t at),
        (fd, iov, n, at), -1)

size_t fwrite(const void* data, size_t size, size_t n, FILE* stream) {
    const int error = CountFd(F_WRITE, fileno(stream));
    if (error) FAIL_WITH(error, 0);
    return REAL(fwrite)(data, size, n, stream);
}

/* ---- fsync ---- */

FD_HOOK(F_FSYNC, int, fsync, (int fd), (fd), -1)
FD_HOOK(F_FSYNC, int, fdatasync, (int fd), (fd), -1)

/* ---- read ---- */

FD_HOOK(F_READ, ssize_t, read, (int fd, void* data, size_t size), (fd, data, size), -1)
FD_HOOK(F_READ, ssize_t, pread, (int fd, void* data, size_t size, off_t at), (fd, data, size, at),
        -1)
FD_HOOK(F_READ, ssize_t, pread64, (int fd, void* data, size_t size, off64_t at),
        (fd, data, size, at), -1)
FD_HOOK(F_READ, ssize_t, readv, (int fd, const struct iovec* iov, int n), (fd, iov, n), -1)

size_t fread(void* data, size_t size, size_t n, FILE* stream) {
    const int error = CountFd(F_READ, fileno(stream));
    if (error) FAIL_WITH(error, 0);
    return REAL(fread)(data, size, n, stream);
}

/* ---- rename, link: counted when either side lies under the folder ---- */

static int CountPair(int family, int fromFd, const char* from, int toFd, const char* to) {
    if (inside || !underLength) return 0;
    char a[PATH_MAX], b[PATH_MAX];
    inside = 1;
    const int knownA = Absolute(fromFd, from, a, sizeof a);
    const int knownB = Absolute(toFd, to, b, sizeof b);
    inside = 0;
    if (knownB && IsUnder(b)) return Count(family, b);
    return knownA ? Count(family, a) : 0;
}

int rename(const char* from, const char* to) {
    const int error = CountPair(F_RENAME, AT_FDCWD, from, AT_FDCWD, to);
    if (error) FAIL_WITH(error, -1);
    return REAL(rename)(from, to);
}

int renameat(int fromFd, const char* from, int toFd, const char* to) {
    const int error = CountPair(F_RENAME, fromFd, from, toFd, to);
    if (error) FAIL_WITH(error, -1);
    return REAL(renameat)(fromFd, from, toFd, to);
}

int renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned flags) {
    const int error = CountPair(F_RENAME, fromFd, from, toFd, to);
    if (error) FAIL_WITH(error, -1);
    return REAL(renameat2)(fromFd, from, toFd, to, flags);
}

int link(const char* from, const char* to) {
    const int error = CountPair(F_LINK, AT_FDCWD, from, AT_FDCWD, to);
    if (error) FAIL_WITH(error, -1);
    return REAL(link)(from, to);
}

int linkat(int fromFd, const char* from, int toFd, const char* to, int flags) {
    const int error = CountPair(F_LINK, fromFd, from, toFd, to);
    if (error) FAIL_WITH(error, -1);
    return REAL(linkat)(fromFd, from, toFd, to, flags);
}

/* ---- unlink (files and folders), mkdir ---- */

#define PATH_HOOK(family, name, params, dirfd, path, args) \
    int name params {                                      \
        const int error = CountAt(family, dirfd, path);    \
        if (error) FAIL_WITH(error, -1);                   \
        return REAL(name) args;                            \
    }
PATH_HOOK(F_UNLINK, unlink, (const char* path), AT_FDCWD, path, (path))
PATH_HOOK(F_UNLINK, unlinkat, (int dirfd, const char* path, int flags), dirfd, path,
          (dirfd, path, flags))
PATH_HOOK(F_UNLINK, rmdir, (const char* path), AT_FDCWD, path, (path))
PATH_HOOK(F_UNLINK, remove, (const char* path), AT_FDCWD, path, (path))
PATH_HOOK(F_MKDIR, mkdir, (const char* path, mode_t mode), AT_FDCWD, path, (path, mode))
PATH_HOOK(F_MKDIR, mkdirat, (int dirfd, const char* path, mode_t mode), dirfd, path,
          (dirfd, path, mode))
