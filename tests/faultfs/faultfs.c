// faultfs: a passthrough FUSE file system over a backing folder that fails,
// shortens or delays chosen requests, so that tests reach a failing disk for
// real. The control file .faultfs at the root of the mount takes the faults
// and shows what fired; README.md in this folder describes both.
//
//   faultfs [-f] BACKING MOUNTPOINT
//
// Requests are served one at a time (single-threaded), so "the Nth write" is
// well defined. Files are answered with direct_io: O_DIRECT opens are
// accepted, and every read(2) or write(2) reaches this process as one request
// (up to 1 MiB).
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static const char controlPath[] = "/.faultfs";
static const uint64_t controlHandle = UINT64_MAX;
static int backing = -1;  // the backing folder

enum Op { opWrite, opRead, opCreate, opOpen, opTruncate, opClose, opStatfs, opUnlink, opCount };
static const char* const opNames[opCount] = {"write",    "read",  "create", "open",
                                             "truncate", "close", "statfs", "unlink"};

enum Action { actError, actShort, actDelay, actFree };
static const char* const actionNames[] = {"error", "short", "delay", "free"};

struct Rule {
    enum Op op;
    uint64_t nth;      // the call it fires on, counted from 1 after the rule was given
    uint64_t base;     // calls of its kind before the rule was given
    int onward;        // and on every later call too
    enum Action action;
    uint64_t value;    // errno, bytes or milliseconds
};

static struct Rule rules[64];
static int ruleCount;
static uint64_t calls[opCount];
static uint64_t fired[opCount];
static char pending[512];  // an unfinished command line
static size_t pendingLength;

// What the rules that fire on this call ask for; delays are served here.
struct Effect {
    int error;
    int shorten;
    uint64_t shortBytes;
    int setFree;
    uint64_t freeBytes;
};

static struct Effect takeCall(enum Op op)
{
    struct Effect effect = {0, 0, 0, 0, 0};
    ++calls[op];
    int hit = 0;
    for (int i = 0; i < ruleCount; ++i) {
        const struct Rule* rule = &rules[i];
        uint64_t n = calls[op] - rule->base;
        if (rule->op != op || n < rule->nth || (n != rule->nth && !rule->onward)) continue;
        hit = 1;
        switch (rule->action) {
        case actDelay: {
            struct timespec pause = {(time_t)(rule->value / 1000),
                                     (long)(rule->value % 1000) * 1000000L};
            while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {}
            break;
        }
        case actError: effect.error = (int)rule->value; break;
        case actShort: effect.shorten = 1; effect.shortBytes = rule->value; break;
        case actFree: effect.setFree = 1; effect.freeBytes = rule->value; break;
        }
    }
    if (hit) ++fired[op];
    return effect;
}

// ---- The control file ------------------------------------------------------------

static const struct {
    const char* name;
    int value;
} errnoNames[] = {
    {"EIO", EIO},       {"ENOSPC", ENOSPC},   {"EDQUOT", EDQUOT}, {"EACCES", EACCES},
    {"EPERM", EPERM},   {"EROFS", EROFS},     {"EFBIG", EFBIG},   {"ENOENT", ENOENT},
    {"EAGAIN", EAGAIN}, {"EINTR", EINTR},     {"ENOMEM", ENOMEM}, {"ETIMEDOUT", ETIMEDOUT},
    {"EBUSY", EBUSY},   {"ENOTCONN", ENOTCONN}, {"EINVAL", EINVAL}, {"ENXIO", ENXIO},
};

static int parseNumber(const char* text, uint64_t* value)
{
    if (text == NULL || *text < '0' || *text > '9') return 0;
    char* end;
    errno = 0;
    unsigned long long parsed = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return 0;
    *value = parsed;
    return 1;
}

static int parseErrno(const char* text, uint64_t* value)
{
    if (text == NULL) return 0;
    for (size_t i = 0; i < sizeof errnoNames / sizeof errnoNames[0]; ++i)
        if (strcmp(text, errnoNames[i].name) == 0) {
            *value = (uint64_t)errnoNames[i].value;
            return 1;
        }
    return parseNumber(text, value) && *value > 0 && *value < 4096;
}

// One command: "reset", or "OP [N|N+] ACTION VALUE". Returns 0 or -EINVAL.
static int runCommand(char* line)
{
    char* words[6];
    int count = 0;
    for (char* word = strtok(line, " \t\r"); word != NULL && count < 6; word = strtok(NULL, " \t\r"))
        words[count++] = word;
    if (count == 0 || words[0][0] == '#') return 0;
    if (count == 1 && strcmp(words[0], "reset") == 0) {
        ruleCount = 0;
        memset(calls, 0, sizeof calls);
        memset(fired, 0, sizeof fired);
        return 0;
    }

    struct Rule rule = {opCount, 1, 0, 1, actError, 0};
    for (int op = 0; op < opCount; ++op)
        if (strcmp(words[0], opNames[op]) == 0) rule.op = (enum Op)op;
    int at = 1;
    if (at < count && words[at][0] >= '0' && words[at][0] <= '9') {
        size_t length = strlen(words[at]);
        rule.onward = words[at][length - 1] == '+';
        if (rule.onward) words[at][length - 1] = '\0';
        if (!parseNumber(words[at], &rule.nth) || rule.nth == 0) return -EINVAL;
        ++at;
    }
    if (rule.op == opCount || at + 2 != count || ruleCount == 64) return -EINVAL;
    int known = 0;
    for (int a = actError; a <= actFree; ++a)
        if (strcmp(words[at], actionNames[a]) == 0) {
            rule.action = (enum Action)a;
            known = 1;
        }
    if (!known || (rule.action == actFree && rule.op != opStatfs)) return -EINVAL;
    if (rule.action == actShort && rule.op != opWrite && rule.op != opRead) return -EINVAL;
    int valid = rule.action == actError ? parseErrno(words[at + 1], &rule.value)
                                        : parseNumber(words[at + 1], &rule.value);
    if (!valid) return -EINVAL;
    rule.base = calls[rule.op];
    rules[ruleCount++] = rule;
    return 0;
}

// Runs every complete line of what has been written so far; with flush, the
// unfinished rest as well.
static int runPending(int flush)
{
    int result = 0;
    char* start = pending;
    char* end = pending + pendingLength;
    for (;;) {
        char* newline = memchr(start, '\n', (size_t)(end - start));
        if (newline == NULL && !(flush && start < end)) break;
        char* stop = newline != NULL ? newline : end;
        *stop = '\0';
        int status = runCommand(start);
        if (status != 0) result = status;
        start = newline != NULL ? newline + 1 : end;
    }
    pendingLength = (size_t)(end - start);
    memmove(pending, start, pendingLength);
    return result;
}

static int writeControl(const char* data, size_t size)
{
    if (pendingLength + size >= sizeof pending) {
        pendingLength = 0;
        return -EINVAL;
    }
    memcpy(pending + pendingLength, data, size);
    pendingLength += size;
    int status = runPending(0);
    return status != 0 ? status : (int)size;
}

static int readControl(char* buffer, size_t size, off_t offset)
{
    char text[1024];
    int length = 0;
    for (int op = 0; op < opCount; ++op)
        length += snprintf(text + length, sizeof text - (size_t)length,
                           "%s calls %llu fired %llu\n", opNames[op],
                           (unsigned long long)calls[op], (unsigned long long)fired[op]);
    if (offset >= length) return 0;
    size_t count = (size_t)(length - offset);
    if (count > size) count = size;
    memcpy(buffer, text + offset, count);
    return (int)count;
}

// ---- Passthrough ---------------------------------------------------------------

static int isControl(const char* path) { return strcmp(path, controlPath) == 0; }

// Paths relative to the backing folder.
static const char* relative(const char* path) { return path[1] == '\0' ? "." : path + 1; }

static int fail(void) { return -errno; }

static int doGetattr(const char* path, struct stat* info, struct fuse_file_info* fi)
{
    if (isControl(path)) {
        memset(info, 0, sizeof *info);
        info->st_mode = S_IFREG | 0666;
        info->st_nlink = 1;
        info->st_uid = getuid();
        info->st_gid = getgid();
        return 0;
    }
    int status = fi != NULL && fi->fh != controlHandle
                     ? fstat((int)fi->fh, info)
                     : fstatat(backing, relative(path), info, AT_SYMLINK_NOFOLLOW);
    return status == 0 ? 0 : fail();
}

static int doReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                     struct fuse_file_info* fi, enum fuse_readdir_flags flags)
{
    (void)offset, (void)fi, (void)flags;
    int fd = openat(backing, relative(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return fail();
    DIR* folder = fdopendir(fd);
    if (folder == NULL) {
        close(fd);
        return fail();
    }
    for (struct dirent* entry = readdir(folder); entry != NULL; entry = readdir(folder)) {
        struct stat info;
        memset(&info, 0, sizeof info);
        info.st_ino = entry->d_ino;
        info.st_mode = (mode_t)DTTOIF(entry->d_type);
        if (fill(buffer, entry->d_name, &info, 0, 0) != 0) break;
    }
    closedir(folder);
    return 0;
}

static int doCreate(const char* path, mode_t mode, struct fuse_file_info* fi)
{
    if (isControl(path)) return -EEXIST;
    struct Effect effect = takeCall(opCreate);
    if (effect.error != 0) return -effect.error;
    // The backing folder need not support O_DIRECT; this layer stands for it.
    int fd = openat(backing, relative(path), (fi->flags & ~O_DIRECT) | O_CREAT, mode);
    if (fd < 0) return fail();
    fi->fh = (uint64_t)fd;
    fi->direct_io = 1;
    return 0;
}

static int doOpen(const char* path, struct fuse_file_info* fi)
{
    fi->direct_io = 1;
    if (isControl(path)) {
        fi->fh = controlHandle;
        fi->nonseekable = 1;
        return 0;
    }
    struct Effect effect = takeCall(opOpen);
    if (effect.error != 0) return -effect.error;
    int fd = openat(backing, relative(path), fi->flags & ~(O_DIRECT | O_CREAT | O_EXCL));
    if (fd < 0) return fail();
    fi->fh = (uint64_t)fd;
    return 0;
}

static int doRead(const char* path, char* buffer, size_t size, off_t offset,
                  struct fuse_file_info* fi)
{
    (void)path;
    if (fi->fh == controlHandle) return readControl(buffer, size, offset);
    struct Effect effect = takeCall(opRead);
    if (effect.error != 0) return -effect.error;
    if (effect.shorten && effect.shortBytes < size) size = (size_t)effect.shortBytes;
    ssize_t count = pread((int)fi->fh, buffer, size, offset);
    return count < 0 ? fail() : (int)count;
}

static int doWrite(const char* path, const char* data, size_t size, off_t offset,
                   struct fuse_file_info* fi)
{
    (void)path;
    if (fi->fh == controlHandle) return writeControl(data, size);
    struct Effect effect = takeCall(opWrite);
    if (effect.error != 0) return -effect.error;
    if (effect.shorten && effect.shortBytes < size) size = (size_t)effect.shortBytes;
    ssize_t count = pwrite((int)fi->fh, data, size, offset);
    return count < 0 ? fail() : (int)count;
}

static int doTruncate(const char* path, off_t size, struct fuse_file_info* fi)
{
    if (isControl(path)) return 0;  // "echo ... > .faultfs" opens it with O_TRUNC
    struct Effect effect = takeCall(opTruncate);
    if (effect.error != 0) return -effect.error;
    if (fi != NULL) return ftruncate((int)fi->fh, size) == 0 ? 0 : fail();
    int fd = openat(backing, relative(path), O_WRONLY);
    if (fd < 0) return fail();
    int status = ftruncate(fd, size) == 0 ? 0 : -errno;
    close(fd);
    return status;
}

// close(2) returns what flush answers.
static int doFlush(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    if (fi->fh == controlHandle) return runPending(1);
    struct Effect effect = takeCall(opClose);
    return -effect.error;
}

static int doRelease(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    if (fi->fh == controlHandle)
        pendingLength = 0;
    else
        close((int)fi->fh);
    return 0;
}

static int doFsync(const char* path, int dataOnly, struct fuse_file_info* fi)
{
    (void)path;
    if (fi->fh == controlHandle) return 0;
    int status = dataOnly ? fdatasync((int)fi->fh) : fsync((int)fi->fh);
    return status == 0 ? 0 : fail();
}

static int doStatfs(const char* path, struct statvfs* volume)
{
    (void)path;
    struct Effect effect = takeCall(opStatfs);
    if (effect.error != 0) return -effect.error;
    if (fstatvfs(backing, volume) != 0) return fail();
    if (effect.setFree) {
        // In 1-byte fragments, so that any figure can be told exactly.
        uint64_t total = (uint64_t)volume->f_blocks * volume->f_frsize;
        volume->f_frsize = 1;
        volume->f_blocks = total > effect.freeBytes ? total : effect.freeBytes;
        volume->f_bfree = effect.freeBytes;
        volume->f_bavail = effect.freeBytes;
    }
    return 0;
}

static int doMkdir(const char* path, mode_t mode)
{
    return mkdirat(backing, relative(path), mode) == 0 ? 0 : fail();
}

static int doUnlink(const char* path)
{
    if (isControl(path)) return -EPERM;
    struct Effect effect = takeCall(opUnlink);
    if (effect.error != 0) return -effect.error;
    return unlinkat(backing, relative(path), 0) == 0 ? 0 : fail();
}

static int doRmdir(const char* path)
{
    return unlinkat(backing, relative(path), AT_REMOVEDIR) == 0 ? 0 : fail();
}

static int doRename(const char* from, const char* to, unsigned int flags)
{
    if (isControl(from) || isControl(to)) return -EPERM;
    return renameat2(backing, relative(from), backing, relative(to), flags) == 0 ? 0 : fail();
}

static int doSymlink(const char* target, const char* path)
{
    return symlinkat(target, backing, relative(path)) == 0 ? 0 : fail();
}

static int doReadlink(const char* path, char* buffer, size_t size)
{
    ssize_t length = readlinkat(backing, relative(path), buffer, size - 1);
    if (length < 0) return fail();
    buffer[length] = '\0';
    return 0;
}

static int doMknod(const char* path, mode_t mode, dev_t device)
{
    return mknodat(backing, relative(path), mode, device) == 0 ? 0 : fail();
}

static int doChmod(const char* path, mode_t mode, struct fuse_file_info* fi)
{
    (void)fi;
    if (isControl(path)) return 0;
    return fchmodat(backing, relative(path), mode, 0) == 0 ? 0 : fail();
}

static int doChown(const char* path, uid_t user, gid_t group, struct fuse_file_info* fi)
{
    (void)fi;
    if (isControl(path)) return 0;
    return fchownat(backing, relative(path), user, group, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int doUtimens(const char* path, const struct timespec times[2], struct fuse_file_info* fi)
{
    (void)fi;
    if (isControl(path)) return 0;
    return utimensat(backing, relative(path), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static void* doInit(struct fuse_conn_info* connection, struct fuse_config* config)
{
    (void)connection;
    // The backing folder may change under the mount (tests lay files there).
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    // A file removed while open goes at once, as on a local disk, instead of
    // being kept as .fuse_hidden* until it is closed.
    config->hard_remove = 1;
    return NULL;
}

static const struct fuse_operations operations = {
    .getattr = doGetattr,
    .readlink = doReadlink,
    .mknod = doMknod,
    .mkdir = doMkdir,
    .unlink = doUnlink,
    .rmdir = doRmdir,
    .symlink = doSymlink,
    .rename = doRename,
    .chmod = doChmod,
    .chown = doChown,
    .truncate = doTruncate,
    .open = doOpen,
    .read = doRead,
    .write = doWrite,
    .statfs = doStatfs,
    .flush = doFlush,
    .release = doRelease,
    .fsync = doFsync,
    .readdir = doReaddir,
    .init = doInit,
    .create = doCreate,
    .utimens = doUtimens,
};

int main(int argc, char** argv)
{
    int foreground = argc > 1 && strcmp(argv[1], "-f") == 0;
    if (argc != 3 + foreground) {
        fprintf(stderr, "usage: faultfs [-f] BACKING MOUNTPOINT\n");
        return 2;
    }
    const char* folder = argv[1 + foreground];
    backing = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (backing < 0) {
        fprintf(stderr, "faultfs: %s: %s\n", folder, strerror(errno));
        return 1;
    }
    char* fuseArgs[] = {argv[0], argv[2 + foreground], "-s",
                        "-o",    "fsname=faultfs,subtype=faultfs,default_permissions,allow_other",
                        foreground ? "-f" : NULL, NULL};
    umask(0);
    return fuse_main(foreground ? 6 : 5, fuseArgs, &operations, NULL);
}
