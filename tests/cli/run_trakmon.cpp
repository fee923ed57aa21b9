#include "tests/cli/run_trakmon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

static std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

RunResult runTrakmon(const std::vector<std::string>& args, int interruptAfterMs)
{
    std::vector<TimedSignal> signals;
    if (interruptAfterMs > 0) signals.push_back({interruptAfterMs, SIGINT});
    return runTrakmon(args, signals);
}

RunResult runTrakmon(const std::vector<std::string>& args, const std::vector<TimedSignal>& signals)
{
    const char* override = std::getenv("TRAKMON_COMMAND");
    std::string program = override != nullptr ? override : TRAKMON_BINARY;
    char outPath[] = "/tmp/trakmon-out-XXXXXX";
    char errPath[] = "/tmp/trakmon-err-XXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);

    pid_t child = fork();
    if (child == 0) {
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    // Times on the real clock: a loaded machine stretches every sleep.
    using Clock = std::chrono::steady_clock;
    auto msSince = [](Clock::time_point from) {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count());
    };
    Clock::time_point started = Clock::now(), lastSignal{};
    int status = 0;
    bool ended = false;
    RunResult result;
    for (const TimedSignal& signal : signals) {
        while (!ended && msSince(started) < signal.afterMs) {
            ended = waitpid(child, &status, WNOHANG) == child;
            if (!ended) usleep(2000);
        }
        if (ended) break;
        kill(child, signal.number);
        lastSignal = Clock::now();
    }
    if (!ended) waitpid(child, &status, 0);
    if (lastSignal != Clock::time_point{}) result.msAfterLastSignal = msSince(lastSignal);
    close(outFd);
    close(errFd);

    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    unlink(outPath);
    unlink(errPath);
    return result;
}

TempFolder makeTempFolder()
{
    const char* root = std::getenv("TRAKMON_TEST_DIR");
    std::string pattern = std::string(root != nullptr ? root : "/tmp") + "/trakmon-test-XXXXXX";
    TempFolder folder;
    folder.path = mkdtemp(&pattern[0]);
    return folder;
}

void removeTempFolder(const TempFolder& folder)
{
    std::string command = "rm -rf '" + folder.path + "'";
    if (std::system(command.c_str()) != 0) std::perror("rm");
}

long long fileSize(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return -1;
    return static_cast<long long>(info.st_size);
}

bool fileExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string trackFile(const std::string& folder, unsigned number)
{
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ".%03u", number);
    return folder + "/take" + suffix;
}
