#include "tests/faultfs/fault_mount.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

static std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits up to limitMs for the server to end; true when it has.
static bool reaped(pid_t server, int limitMs)
{
    for (int waited = 0; waited <= limitMs; waited += 10) {
        if (waitpid(server, nullptr, WNOHANG) == server) return true;
        usleep(10000);
    }
    return false;
}

std::string mountFaultfs(FaultMount& mount, const std::string& folder)
{
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return std::string("/dev/fuse: ") + std::strerror(errno);
    mount.backing = folder + "/backing";
    mount.mountPoint = folder + "/mnt";
    if (mkdir(mount.backing.c_str(), 0755) != 0 || mkdir(mount.mountPoint.c_str(), 0755) != 0)
        return "cannot make the folders in " + folder + ": " + std::strerror(errno);
    std::string log = folder + "/faultfs.log";

    pid_t parent = getpid();
    pid_t server = fork();
    if (server < 0) return std::string("fork: ") + std::strerror(errno);
    if (server == 0) {
        // Ends (and unmounts) when the test process ends, however it ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int input = open("/dev/null", O_RDONLY);
        dup2(input, 0);
        dup2(output, 1);
        dup2(output, 2);
        execl(FAULTFS_BINARY, "faultfs", "-f", mount.backing.c_str(), mount.mountPoint.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    mount.server = server;

    // Mounted once the control file answers.
    std::string control = mount.mountPoint + "/.faultfs";
    for (int waited = 0; waited < 10000; waited += 10) {
        struct stat info;
        if (stat(control.c_str(), &info) == 0) return "";
        if (waitpid(server, nullptr, WNOHANG) == server) {
            mount.server = -1;
            return "faultfs ended at once: " + slurp(log);
        }
        usleep(10000);
    }
    unmountFaultfs(mount);
    return "faultfs did not mount within 10 s: " + slurp(log);
}

void unmountFaultfs(FaultMount& mount)
{
    if (mount.server > 0) {
        // On SIGTERM the server finishes the request at hand and unmounts.
        kill(mount.server, SIGTERM);
        if (!reaped(mount.server, 10000)) {
            kill(mount.server, SIGKILL);
            waitpid(mount.server, nullptr, 0);
        }
        mount.server = -1;
    }
    // A server that did not get to unmount leaves a dead mount: detach it.
    if (!mount.mountPoint.empty()) umount2(mount.mountPoint.c_str(), MNT_DETACH);
}

bool controlFaultfs(const FaultMount& mount, const std::string& commands)
{
    int control = open((mount.mountPoint + "/.faultfs").c_str(), O_WRONLY);
    if (control < 0) return false;
    bool written = write(control, commands.data(), commands.size()) ==
                   static_cast<ssize_t>(commands.size());
    bool closed = close(control) == 0;  // an unfinished last line runs here
    return written && closed;
}

FaultCounter faultCounter(const FaultMount& mount, const std::string& kind)
{
    std::istringstream lines(slurp(mount.mountPoint + "/.faultfs"));
    FaultCounter counter;
    std::string name, callsWord, firedWord;
    while (lines >> name >> callsWord >> counter.calls >> firedWord >> counter.fired)
        if (name == kind) return counter;
    return FaultCounter();
}
