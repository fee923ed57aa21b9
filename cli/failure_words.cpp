#include "cli/failure_words.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/capacity_report.h"
#include "analysis/number_text.h"
#include "cli/exit_status.h"
#include "cli/io_error_text.h"
#include "platform/console.h"
#include "platform/platform.h"

std::string settingsProblemText(const SettingsCheck& check, bool severalFormats)
{
    uint32_t bytesPerSecond = sampleFormatBytesPerSecond(check.format);
    std::string at = severalFormats ? "at " + sampleFormatLabel(check.format) + " " : "";
    char text[400];
    switch (check.problem) {
    case settingsReady:
        return "";
    case settingsBufferTooShort:
        std::snprintf(text, sizeof text,
                      "%sa %s buffer holds %s bytes of %s, not more than one %u KByte request: "
                      "choose a longer --buffer or a smaller --request",
                      at.c_str(), secondsText(check.bufferSeconds).c_str(),
                      withThousands(check.bufferBytes).c_str(), sampleFormatLabel(check.format).c_str(),
                      static_cast<unsigned>(check.requestSize >> 10));
        return text;
    case settingsTrialTooShort:
        std::snprintf(text, sizeof text,
                      "a trial of %s cannot show a dropout%s: it must last at least %s (three "
                      "buffer lengths and ten requests' audio); choose --seconds %g or more",
                      secondsText(check.seconds).c_str(), severalFormats ? " at every format" : "",
                      secondsText(check.shortestSeconds).c_str(), check.shortestSeconds);
        return text;
    case settingsHeadroomUnreachable:
        std::snprintf(text, sizeof text,
                      "%sa %u KByte request holds %.2f s of one track, so a %s buffer keeps at most "
                      "%.0f %% headroom, less than the %g %% asked: choose a smaller --request, a "
                      "longer --buffer or a lower --headroom",
                      at.c_str(), static_cast<unsigned>(check.requestSize >> 10),
                      static_cast<double>(check.requestSize) / bytesPerSecond,
                      bufferText(check.bufferSeconds).c_str(), check.reachablePercent,
                      check.headroomPercent);
        return text;
    }
    return "";
}

std::string folderProblemText(FolderProblem problem, const SearchPlace& place, IoStatus why)
{
    switch (problem) {
    case folderReady:
        return "";
    case folderNameTooLong:
        return "the base file name is too long to name the search's folder and files: choose a "
               "shorter one";
    case folderNotMade:
        return place.folder + ": cannot make the folder: " + ioErrorWords(why);
    }
    return "";
}

std::string leftoversHint(const std::vector<SearchFolder>& others)
{
    for (const SearchFolder& other : others)
        if (!other.inUse) return "--remove-leftovers removes the folders earlier searches left.\n";
    return "";
}

std::string playFileFailureText(const TrialFailure& failure)
{
    switch (failure.playFile) {
    case playFileNoMemory: return "no memory for the transfer buffer of the playback files";
    case playFileCreate: return trackFileFailureText(createCall, failure.file, failure.why);
    case playFileWrite: return trackFileFailureText(writeCall, failure.file, failure.why);
    case playFileClose: return trackFileFailureText(closeCall, failure.file, failure.why);
    case playFileWritten: break;
    }
    return failure.file + ": " + ioErrorWords(failure.why);
}

void reportTrialFailure(const TrialFailure& failure)
{
    if (!failure.any) return;
    if (failure.setup.status != setupReady)
        reportSetupFailure(failure.setup, failure.config);
    else if (failure.requestFailed)
        reportAbort(failure.readFailed, failure.file, failure.closeFailed, failure.writeBackFailed,
                    failure.why);
    else
        std::fprintf(stderr, "trakmon: %s\n", playFileFailureText(failure).c_str());
}

int reportSetupFailure(const SetupResult& setup, const SessionConfig& config)
{
    static const char notEnoughFiles[] =
        "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.\n";
    static const char fileTooSmall[] =
        "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.\n";
    const char* name = setup.fileName.c_str();
    switch (setup.status) {
    case setupOpenFileLimit:
        std::fprintf(stderr,
                     "trakmon: %u track files need %u open files, and the system allows only %u: "
                     "raise the limit (ulimit -n; the hard limit as root) or use fewer tracks\n",
                     static_cast<unsigned>(config.playTracks + config.recordTracks),
                     static_cast<unsigned>(setup.openFilesNeeded),
                     static_cast<unsigned>(setup.openFileLimit));
        break;
    case setupNoMemory:
        std::fprintf(stderr, "Memory Allocation Error!\n");
        break;
    case setupPlayFileMissing:
        std::fprintf(stderr, "trakmon: %s\n%s",
                     trackFileFailureText(openCall, setup.fileName, setup.why).c_str(), notEnoughFiles);
        break;
    case setupPlayFileTooSmall:
        std::fprintf(stderr, "trakmon: %s: holds less than one %u KByte request\n%s", name,
                     static_cast<unsigned>(config.requestSize >> 10), fileTooSmall);
        break;
    case setupCreateFailed:
        std::fprintf(stderr, "trakmon: %s\n",
                     trackFileFailureText(createCall, setup.fileName, setup.why).c_str());
        break;
    case setupNotEnoughSpace:
        std::fprintf(stderr,
                     "WARNING\nNot Enough Disk Space On Drive \nTo Write Test Files!\n"
                     "trakmon: the session records up to %s bytes (with the reserve); %s bytes "
                     "are free\n",
                     withThousands(setup.bytesNeeded).c_str(), withThousands(setup.bytesFree).c_str());
        break;
    case setupReady:
        break;
    }
    return exitFailure;
}

void reportAbort(bool readFailed, const std::string& file, bool closeFailed, bool writeBackFailed,
                 IoStatus why)
{
    std::string text = trackFileFailureText(closeFailed ? closeCall : readFailed ? readCall : writeCall,
                                            file, why);
    if (writeBackFailed)
        text = file + ": its data could not be written back to the disk (" + ioErrorWords(why) +
               "); it may be lost";
    std::fprintf(stderr, "%s\ntrakmon: %s\n",
                 readFailed ? "Disk Read Error... Test Aborted!" : "Disk Write Error... Test Aborted!",
                 text.c_str());
}

nlohmann::json failureJsonWithCause(const TrialFailure& failure)
{
    nlohmann::json object = trialFailureJson(failure, platformArgumentToUtf8);
    if (failure.any) addCauseJson(object, failure.setup.status != setupReady ? failure.setup.why : failure.why);
    return object;
}
