// The Linux backend on real files in a temporary folder and on small real
// file systems. Those are mounted in a mount namespace of the test process's
// own: when the process ends, however it ends, its mounts go, and with them
// the loop device (mount -o loop detaches it when the file system goes).
#include <ftw.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#ifdef TRAKMON_FAULTFS
#include "tests/faultfs/fault_mount.h"
#endif

namespace {

int removeEntry(const char* path, const struct stat*, int, FTW*)
{
    return remove(path);
}

std::string realPath(const std::string& path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? real : path;
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

// "" once this process has mounts of its own, else why not.
std::string privateMounts()
{
    static std::string reason = [] {
        if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        // Otherwise mounts would still propagate to the machine's namespace.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("making the mounts private: ") + std::strerror(errno);
        return std::string();
    }();
    return reason;
}

// A command's exit status, with its output in `output`.
int runCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen(("PATH=$PATH:/usr/sbin:/sbin " + command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
    return pclose(pipe);
}

class LinuxPlatform : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trakmon-platform-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr) << std::strerror(errno);
        folder = name;
    }
    void TearDown() override
    {
        for (auto mounted = mounts.rbegin(); mounted != mounts.rend(); ++mounted)
            EXPECT_EQ(umount2(mounted->c_str(), 0), 0) << *mounted << ": " << std::strerror(errno);
#ifdef TRAKMON_FAULTFS
        unmountFaultfs(fuse);
#endif
        nftw(folder.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string path(const char* name) const { return folder + "/" + name; }
    // A folder in the temporary one with a file system of the given kind on
    // it: "" when mounted, else why not (the test skips).
    std::string mountSmall(const std::string& kind, const std::string& where)
    {
        std::string reason = privateMounts();
        if (!reason.empty()) return reason;
        if (mkdir(where.c_str(), 0755) != 0) return std::strerror(errno);
        if (kind == "fuse") {
#ifdef TRAKMON_FAULTFS
            return mountFaultfs(fuse, where);
#else
            return "faultfs was not built (no FUSE 3 headers)";
#endif
        }
        std::string output;
        if (kind == "tmpfs") {
            if (mount("trakmon-test", where.c_str(), "tmpfs", 0, "size=8m") != 0)
                return std::string("mount tmpfs: ") + std::strerror(errno);
        } else {
            std::string image = folder + "/ext4.img";
            if (runCommand("truncate -s 64M " + image + " && mkfs.ext4 -q " + image, output) != 0)
                return "mkfs.ext4: " + output;
            if (runCommand("mount -o loop -t ext4 " + image + " " + where, output) != 0)
                return "mount -o loop: " + output;
        }
        mounts.push_back(where);
        return "";
    }
    // Gives the faultfs that mountSmall("fuse") mounted its rules.
    bool faultRules(const std::string& rules)
    {
#ifdef TRAKMON_FAULTFS
        return controlFaultfs(fuse, rules);
#else
        return rules.empty();
#endif
    }

    std::string folder;
    std::vector<std::string> mounts;
#ifdef TRAKMON_FAULTFS
    FaultMount fuse;
#endif
};

// "error 9, system 40": a status as a test reads it.
std::string described(IoStatus status)
{
    return "error " + std::to_string(status.error) + ", system " + std::to_string(status.systemCode);
}

TEST_F(LinuxPlatform, TrackFilesRefuseLinksAndPipes)
{
    const std::string target = path("target");
    ASSERT_TRUE(writeFile(target, "the link's target"));
    ASSERT_EQ(symlink(target.c_str(), path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
    struct Case {
        const char* name;
        const char* createRefusal;
        uint32_t createErrno;  // beside ioNotRegularFile; 0: none
        const char* openRefusal;
        uint32_t openErrno;
    } cases[] = {
        {"link", "cannot create: it is a symbolic link; track files must be regular files", ELOOP,
         "cannot open: it is a symbolic link; track files must be regular files", ELOOP},
        {"pipe", "cannot create: not a regular file (a pipe or a device)", ENXIO,
         "cannot open: not a regular file", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IoStatus why = {ioNoError, 0};
        EXPECT_EQ(platformCreateTrackFile(path(c.name).c_str(), throughFileCache, &why),
                  invalidTrackHandle);
        EXPECT_STREQ(platformLastErrorText(), c.createRefusal);
        EXPECT_EQ(described(why), described({ioNotRegularFile, c.createErrno}));
        why = {ioNoError, 0};
        EXPECT_EQ(platformOpenTrackFile(path(c.name).c_str(), throughFileCache, &why),
                  invalidTrackHandle);
        EXPECT_STREQ(platformLastErrorText(), c.openRefusal);
        EXPECT_EQ(described(why), described({ioNotRegularFile, c.openErrno}));
    }
    uint64_t size = 0;
    EXPECT_TRUE(platformFileSize(target.c_str(), size));
    EXPECT_EQ(size, 17u) << "the link's target was written through";
}

TEST_F(LinuxPlatform, AHeldTrackFileIsRefusedToASecondOpen)
{
    const std::string name = path("take.001");
    TrackHandle held = platformCreateTrackFile(name.c_str(), throughFileCache);
    ASSERT_NE(held, invalidTrackHandle) << platformLastErrorText();
    EXPECT_EQ(platformWriteTrack(held, "12345", 5), 5u);
    EXPECT_EQ(platformOpenTrackFile(name.c_str(), throughFileCache), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(), "cannot open: another program holds the file open");
    EXPECT_EQ(platformCreateTrackFile(name.c_str(), throughFileCache), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(), "cannot create: another program holds the file open");
    EXPECT_TRUE(platformCloseTrack(held));

    uint64_t size = 0;
    EXPECT_TRUE(platformFileSize(name.c_str(), size));
    EXPECT_EQ(size, 5u) << "the refused create emptied the file";
    TrackHandle again = platformOpenTrackFile(name.c_str(), throughFileCache);
    EXPECT_NE(again, invalidTrackHandle) << "closed, yet still refused: " << platformLastErrorText();
    platformCloseTrack(again);
}

struct Listed {
    bool isFolder;
    uint64_t size;
    bool operator==(const Listed& other) const { return isFolder == other.isFolder && size == other.size; }
};
std::ostream& operator<<(std::ostream& out, const Listed& entry)
{
    return out << (entry.isFolder ? "folder" : "not a folder") << ", " << entry.size << " bytes";
}

void collect(void* context, const char* name, bool isFolder, uint64_t size)
{
    (*static_cast<std::map<std::string, Listed>*>(context))[name] = Listed{isFolder, size};
}

TEST_F(LinuxPlatform, FoldersAreMadeListedWithoutFollowingLinksAndRemoved)
{
    const std::string sub = path("sub");
    ASSERT_TRUE(platformMakeFolder(sub.c_str())) << platformLastErrorText();
    EXPECT_FALSE(platformMakeFolder(sub.c_str()));
    EXPECT_STREQ(platformLastErrorText(), "cannot make the folder: File exists");
    ASSERT_TRUE(writeFile(path("take.001"), std::string(5000, 'x')));
    ASSERT_EQ(symlink("take.001", path("file-link").c_str()), 0);
    ASSERT_EQ(symlink("sub", path("folder-link").c_str()), 0);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);

    std::map<std::string, Listed> listed;
    ASSERT_TRUE(platformListFolder(folder.c_str(), collect, &listed));
    const std::map<std::string, Listed> expected = {
        {"sub", {true, 0}},          {"take.001", {false, 5000}}, {"file-link", {false, 0}},
        {"folder-link", {false, 0}}, {"pipe", {false, 0}},
    };
    EXPECT_EQ(listed, expected);
    EXPECT_FALSE(platformListFolder(path("missing").c_str(), collect, &listed));

    uint64_t size = 0;
    EXPECT_TRUE(platformFileSize(path("take.001").c_str(), size));
    EXPECT_EQ(size, 5000u);
    EXPECT_FALSE(platformFileSize(sub.c_str(), size)) << "a folder has no file size";
    EXPECT_FALSE(platformFileSize(path("missing").c_str(), size));

    ASSERT_TRUE(writeFile(sub + "/inside", "x"));
    EXPECT_FALSE(platformRemoveFolder(sub.c_str())) << "removed a folder that was not empty";
    EXPECT_TRUE(platformRemoveTrackFile((sub + "/inside").c_str()));
    EXPECT_TRUE(platformRemoveFolder(sub.c_str()));
    struct stat gone;
    EXPECT_NE(lstat(sub.c_str(), &gone), 0);
}

TEST_F(LinuxPlatform, AFolderLockIsHeldAgainstEveryOtherLockerTillReleased)
{
    const std::string lockFile = path(folderLockName);
    EXPECT_FALSE(platformFolderLocked(folder.c_str())) << "no lock file, yet locked";

    // Held here: a second lock of this process is refused too.
    TrackHandle lock = platformLockFolder(folder.c_str());
    ASSERT_NE(lock, invalidTrackHandle) << platformLastErrorText();
    EXPECT_TRUE(platformFolderLocked(folder.c_str()));
    EXPECT_EQ(platformLockFolder(folder.c_str()), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot lock the folder: another program holds its lock (.trakmon.lock)");
    EXPECT_TRUE(platformUnlockFolder(lock, folder.c_str()));
    EXPECT_FALSE(platformFolderLocked(folder.c_str()));
    EXPECT_NE(access(lockFile.c_str(), F_OK), 0) << "the lock file stayed";

    // Held by another process until it ends (without unlocking).
    int ready[2], finish[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(finish), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        close(finish[1]);  // so that the parent's close ends the read below
        char byte = platformLockFolder(folder.c_str()) != invalidTrackHandle ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1 || read(finish[0], &byte, 1) < 0) _exit(2);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y') << "the other process could not lock the folder";
    EXPECT_TRUE(platformFolderLocked(folder.c_str()));
    EXPECT_EQ(platformLockFolder(folder.c_str()), invalidTrackHandle);
    close(finish[1]);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_EQ(status, 0);
    for (int end : {ready[0], ready[1], finish[0]}) close(end);

    // Its lock file stays, no longer held.
    EXPECT_EQ(access(lockFile.c_str(), F_OK), 0);
    EXPECT_FALSE(platformFolderLocked(folder.c_str()));
    lock = platformLockFolder(folder.c_str());
    EXPECT_NE(lock, invalidTrackHandle) << platformLastErrorText();
    EXPECT_TRUE(platformUnlockFolder(lock, folder.c_str()));
}

// A write, read or close that fails for real hands back its code and the
// system's number: on faultfs, which fails the request it is told to, and on
// a small tmpfs that a write fills up, where the write comes up short with
// no error and the code is found from the free space left.
TEST_F(LinuxPlatform, AFailedTransferOrCloseSaysWhy)
{
    enum Call { writing, reading, closing };
    struct Case {
        const char* situation;
        const char* rule;  // faultfs's; null: the write on a full tmpfs
        Call call;
        IoStatus expected;
    };
    const Case cases[] = {
        {"a write on a full disk", "write 1 error ENOSPC", writing, {ioDiskFull, ENOSPC}},
        {"a write over the quota", "write 1 error EDQUOT", writing, {ioDiskFull, EDQUOT}},
        {"a write short with no error", "write 1 short 4096", writing, {ioShortTransfer, 0}},
        {"a read the disk fails", "read 1 error EIO", reading, {ioDeviceError, EIO}},
        {"a close that reports lost data", "close 1 error EIO", closing, {ioDeviceError, EIO}},
        {"a write that fills the disk up", nullptr, writing, {ioDiskFull, 0}},
    };
    const std::string fuseFolder = path("fuse"), tmpfsFolder = path("tmpfs");
    const std::string fuseWhy = mountSmall("fuse", fuseFolder);
    const std::string tmpfsWhy = mountSmall("tmpfs", tmpfsFolder);  // 8 MiB
    const uint32_t size = 16u << 20;
    void* buffer = platformAllocTransferBuffer(size);
    ASSERT_NE(buffer, nullptr);
    int ran = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        const std::string& notMounted = c.rule != nullptr ? fuseWhy : tmpfsWhy;
        if (!notMounted.empty()) {
            std::printf("%s: not mounted: %s\n", c.situation, notMounted.c_str());
            continue;
        }
        ++ran;
        const std::string name =
            c.rule != nullptr ? fuseFolder + "/mnt/take.001" : tmpfsFolder + "/take.001";
        if (c.rule != nullptr) {
            ASSERT_TRUE(writeFile(fuseFolder + "/backing/take.001", std::string(65536, 'x')));
            ASSERT_TRUE(faultRules(std::string("reset\n") + c.rule + "\n"));
        }
        TrackCaching caching = c.rule != nullptr ? bypassFileCache : throughFileCache;
        TrackHandle file = c.call == reading ? platformOpenTrackFile(name.c_str(), caching)
                                             : platformCreateTrackFile(name.c_str(), caching);
        ASSERT_NE(file, invalidTrackHandle) << platformLastErrorText();
        uint32_t asked = c.rule != nullptr ? 65536 : size;
        IoStatus why = {ioNoError, 0};
        bool failed = false;
        if (c.call == writing) failed = platformWriteTrack(file, buffer, asked, &why) != asked;
        if (c.call == reading) failed = platformReadTrack(file, buffer, asked, &why) != asked;
        bool closed = platformCloseTrack(file, c.call == closing ? &why : nullptr);
        if (c.call == closing) failed = !closed;
        EXPECT_TRUE(failed);
        EXPECT_EQ(described(why), described(c.expected));
    }
    platformFreeTransferBuffer(buffer);
    if (ran == 0) GTEST_SKIP() << "neither faultfs nor a tmpfs could be mounted";
}

// The line of /proc/self/mountinfo for the mount point, the last if several.
std::string mountLine(const std::string& mountPoint)
{
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line, found;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        if (point == mountPoint) found = line;
    }
    return found;
}

std::string describe(const StorageInfo& info)
{
    std::ostringstream text;
    text << "device '" << info.device << "', model '" << info.model << "', driver '" << info.driver
         << "', backing file '" << info.backingFile << "', file system '" << info.fileSystem
         << "', mount point '" << info.mountPoint << "', options '" << info.mountOptions
         << "', counter '" << info.counter << "' "
         << (info.writtenBytesReadable ? "readable" : "not readable");
    return text.str();
}

TEST_F(LinuxPlatform, TheRootFolderIsDescribedAsMountinfoAndSysfsSayIt)
{
    StorageInfo info;
    ASSERT_TRUE(platformDescribeStorage("/", info)) << platformLastErrorText();
    SCOPED_TRACE(describe(info));
    std::string line = mountLine("/");
    ASSERT_NE(line, "");
    // "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard"
    std::istringstream fields(line.substr(line.find(" - ") + 3));
    std::string fileSystem;
    fields >> fileSystem;
    EXPECT_EQ(info.fileSystem, fileSystem) << line;
    EXPECT_STREQ(info.mountPoint, "/");
    std::istringstream head(line);
    std::string skip, options;
    head >> skip >> skip >> skip >> skip >> skip >> options;
    EXPECT_EQ(std::string(info.mountOptions).rfind(options, 0), 0u) << line;

    // An anonymous device (btrfs) stands for the mount's source, where that
    // is a block device.
    std::string source;
    fields >> source;
    struct stat root, device;
    ASSERT_EQ(stat("/", &root), 0);
    dev_t expected = root.st_dev;
    if (major(expected) == 0)
        expected = stat(source.c_str(), &device) == 0 && S_ISBLK(device.st_mode) ? device.st_rdev : 0;
    if (expected == 0) {
        EXPECT_STREQ(info.device, "") << "a device for a root without one: " << line;
        return;
    }
    ASSERT_EQ(stat(info.device, &device), 0) << std::strerror(errno);
    EXPECT_TRUE(S_ISBLK(device.st_mode));
    EXPECT_EQ(device.st_rdev, expected) << line;
    // The model, or where the system tells none, the driver: the disk's for a partition.
    std::string disk = "/sys/dev/block/" + std::to_string(major(expected)) + ":" +
                       std::to_string(minor(expected));
    if (access((disk + "/partition").c_str(), F_OK) == 0) disk += "/..";
    std::string model;
    std::getline(std::ifstream(disk + "/device/model"), model);
    EXPECT_EQ(info.model, model.substr(0, model.find_last_not_of(' ') + 1));
    if (model.empty() && access((disk + "/device/driver").c_str(), F_OK) == 0) {
        EXPECT_STRNE(info.driver, "");
    }
    uint64_t bytes = 0;
    EXPECT_TRUE(info.writtenBytesReadable);
    EXPECT_TRUE(platformDeviceWrittenBytes(info, bytes));
    EXPECT_GT(bytes, 0u) << "a root device that never wrote";
}

TEST_F(LinuxPlatform, FileSystemsWithoutADeviceHaveNoCounter)
{
    struct Case {
        const char* kind;
        const char* fileSystem;
        const char* option;  // among the options
    } cases[] = {{"tmpfs", "tmpfs", "size=8192k"}, {"fuse", "fuse.faultfs", "allow_other"}};
    int mounted = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string where = path(c.kind);
        std::string reason = mountSmall(c.kind, where);
        if (!reason.empty()) {
            std::printf("%s not mounted: %s\n", c.kind, reason.c_str());
            continue;
        }
        ++mounted;
        const std::string mountPoint = c.kind == std::string("fuse") ? where + "/mnt" : where;
        StorageInfo info;
        ASSERT_TRUE(platformDescribeStorage(mountPoint.c_str(), info)) << platformLastErrorText();
        SCOPED_TRACE(describe(info));
        EXPECT_STREQ(info.fileSystem, c.fileSystem);
        EXPECT_EQ(info.mountPoint, realPath(mountPoint));
        EXPECT_NE((std::string(",") + info.mountOptions + ",").find(std::string(",") + c.option + ","),
                  std::string::npos);
        EXPECT_STREQ(info.device, "");
        EXPECT_STREQ(info.counter, "");
        EXPECT_FALSE(info.writtenBytesReadable);
        uint64_t bytes = 0;
        EXPECT_FALSE(platformDeviceWrittenBytes(info, bytes));
    }
    if (mounted == 0) GTEST_SKIP() << "nothing could be mounted";
}

TEST_F(LinuxPlatform, ALoopMountedExt4CountsTheBytesFlushedToIt)
{
    const std::string where = path("ext4");
    std::string reason = mountSmall("ext4", where);
    if (!reason.empty()) GTEST_SKIP() << "cannot mount a loop device here: " << reason;
    StorageInfo info;
    ASSERT_TRUE(platformDescribeStorage(where.c_str(), info)) << platformLastErrorText();
    SCOPED_TRACE(describe(info));
    EXPECT_STREQ(info.fileSystem, "ext4");
    EXPECT_EQ(info.mountPoint, realPath(where));
    EXPECT_EQ(info.backingFile, realPath(path("ext4.img")));
    EXPECT_EQ(std::string(info.device).rfind("/dev/loop", 0), 0u);
    struct stat folderInfo, device;
    ASSERT_EQ(stat(where.c_str(), &folderInfo), 0);
    ASSERT_EQ(stat(info.device, &device), 0) << std::strerror(errno);
    EXPECT_EQ(device.st_rdev, folderInfo.st_dev);
    ASSERT_TRUE(info.writtenBytesReadable);

    // Counted from before the writes: the system may write some back early.
    const uint32_t size = 8u << 20;
    uint64_t before = 0, after = 0;
    ASSERT_TRUE(platformDeviceWrittenBytes(info, before));
    const std::string name = where + "/take.001";
    TrackHandle file = platformCreateTrackFile(name.c_str(), throughFileCache);
    ASSERT_NE(file, invalidTrackHandle) << platformLastErrorText();
    std::vector<char> data(size, 'x');
    EXPECT_EQ(platformWriteTrack(file, data.data(), size), size);
    EXPECT_TRUE(platformStartWriteBack(file));
    EXPECT_TRUE(platformWaitWriteBack(file));
    EXPECT_TRUE(platformFinishWriteBack(file));
    ASSERT_TRUE(platformDeviceWrittenBytes(info, after));
    EXPECT_TRUE(platformCloseTrack(file));
    EXPECT_GE(after - before, size) << "written " << size << ", counted " << before << " then " << after;
    EXPECT_TRUE(platformCanDropCachedPages());
}

}  // namespace
