// faultfs mounted for one test: a backing folder, a mount point over it, and
// the control file (see README.md in this folder). The server ends with the
// process that mounted it, so an interrupted test leaves no mount behind.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

struct FaultMount {
    std::string backing;     // where the files really are
    std::string mountPoint;  // the same files, through faultfs
    pid_t server = -1;
};

// Mounts faultfs over folder/backing at folder/mnt. Returns "" when mounted,
// else why not (no /dev/fuse, mounting not permitted, ...): the caller skips.
std::string mountFaultfs(FaultMount& mount, const std::string& folder);
// Ends the server and removes the mount; harmless when nothing is mounted.
void unmountFaultfs(FaultMount& mount);

// Writes control commands ("write 5 error EIO\n"); false when one was refused.
bool controlFaultfs(const FaultMount& mount, const std::string& commands);

struct FaultCounter {
    uint64_t calls = 0;  // requests of the kind since the mount or "reset"
    uint64_t fired = 0;  // of those, the ones a rule acted on
};
// The counter of one kind: write, read, create, open, truncate, close, statfs, unlink.
FaultCounter faultCounter(const FaultMount& mount, const std::string& kind);
