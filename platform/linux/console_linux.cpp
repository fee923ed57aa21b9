// Linux: the terminal, and interrupts as signals (SIGINT, SIGHUP, SIGTERM).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/console.h"

bool platformStandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

bool platformPrepareTerminalLine()
{
    return true;
}

std::string platformArgumentToUtf8(const std::string& text)
{
    return text;
}

namespace {

const int watchedSignals[] = {SIGINT, SIGHUP, SIGTERM};
volatile sig_atomic_t interrupts = 0;
// Read by the handler: set only while cleanupSet is 0.
char cleanupFolder[4096];
volatile sig_atomic_t cleanupSet = 0;

// An entry of getdents64, as the kernel lays it out.
struct DirectoryEntry {
    ino64_t inode;
    off64_t next;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// Only system calls, which a signal handler may make: every file of the
// folder, then the folder. Read again from the start after each round of
// removals, until a round finds nothing left to remove.
void removeFolderFiles(const char* folder)
{
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    char entries[8192];
    for (bool removed = true; removed;) {
        removed = false;
        lseek(fd, 0, SEEK_SET);
        for (;;) {
            ssize_t count = getdents64(fd, entries, sizeof entries);
            if (count <= 0) break;
            for (ssize_t at = 0; at < count;) {
                const DirectoryEntry* entry = reinterpret_cast<const DirectoryEntry*>(entries + at);
                at += entry->length;
                if (entry->type == DT_DIR) continue;
                if (unlinkat(fd, entry->name, 0) == 0) removed = true;
            }
        }
    }
    close(fd);
    rmdir(folder);
}

void onInterrupt(int)
{
    if (interrupts == 0) {
        interrupts = 1;
        return;
    }
    if (cleanupSet) removeFolderFiles(cleanupFolder);
    _exit(1);
}

}  // namespace

void platformWatchInterrupts()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int number : watchedSignals) sigaddset(&action.sa_mask, number);
    // Restarted: a read or a sleep is not cut short; long work polls the flag.
    action.sa_flags = SA_RESTART;
    for (int number : watchedSignals) sigaction(number, &action, nullptr);
}

bool platformInterruptRequested()
{
    return interrupts != 0;
}

void platformStopWatchingInterrupts()
{
    for (int number : watchedSignals) signal(number, SIG_DFL);
}

void platformSetInterruptCleanupFolder(const std::string& folder)
{
    cleanupSet = 0;
    if (folder.empty() || folder.size() >= sizeof cleanupFolder) return;
    std::memcpy(cleanupFolder, folder.c_str(), folder.size() + 1);
    cleanupSet = 1;
}
