// Runs the real trakmon in a child process and captures what it says.
#pragma once
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    int msAfterLastSignal = -1;  // how long the program ran on after the last signal sent
};

// A signal sent to the program once afterMs have passed since it started.
struct TimedSignal {
    int afterMs;
    int number;
};

// TRAKMON_COMMAND, when set, is the program to run instead of the built one
// (for example a wrapper that runs the Windows build under Wine).
// With interruptAfterMs, the child gets SIGINT (Ctrl-C) once that long has passed.
RunResult runTrakmon(const std::vector<std::string>& args, int interruptAfterMs = 0);
// With signals, in order of afterMs.
RunResult runTrakmon(const std::vector<std::string>& args, const std::vector<TimedSignal>& signals);

// A fresh folder under the system's temporary folder, removed with its files.
struct TempFolder {
    std::string path;
};
TempFolder makeTempFolder();
void removeTempFolder(const TempFolder& folder);

long long fileSize(const std::string& path);  // -1 when missing
bool fileExists(const std::string& path);
std::string trackFile(const std::string& folder, unsigned number);  // folder/take.NNN
