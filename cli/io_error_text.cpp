#include "cli/io_error_text.h"

#include <nlohmann/json.hpp>

const char* ioErrorName(IoError error)
{
    switch (error) {
    case ioNoError: return "none";
    case ioDiskFull: return "disk-full";
    case ioDeviceError: return "io-error";
    case ioReadOnly: return "read-only";
    case ioAccessDenied: return "permission-denied";
    case ioNotFound: return "not-found";
    case ioTooManyOpenFiles: return "too-many-open-files";
    case ioNoMemory: return "no-memory";
    case ioFileTooLarge: return "file-too-large";
    case ioNotRegularFile: return "not-a-regular-file";
    case ioInUse: return "in-use";
    case ioNameTooLong: return "name-too-long";
    case ioAlreadyExists: return "already-exists";
    case ioNoDirectIo: return "no-direct-io";
    case ioShortTransfer: return "short-transfer";
    case ioOtherError: return "other";
    }
    return "other";
}

static const char* ownWords(IoError error)
{
    switch (error) {
    case ioNoError: return "no error";
    case ioDiskFull: return "the disk is full";
    case ioDeviceError: return "the disk reported an I/O error";
    case ioReadOnly: return "the disk is read-only";
    case ioAccessDenied: return "permission denied";
    case ioNotFound: return "no such file or folder";
    case ioTooManyOpenFiles: return "too many open files";
    case ioNoMemory: return "the system is out of memory";
    case ioFileTooLarge: return "the file would be too large for this file system";
    case ioNotRegularFile:
        return "not a regular file (a symbolic link, folder, pipe or device is never a track file)";
    case ioInUse: return "another program holds the file open";
    case ioNameTooLong: return "the name is too long";
    case ioAlreadyExists: return "it exists already";
    case ioNoDirectIo: return "the file system does not support direct (unbuffered) I/O";
    case ioShortTransfer:
        return "the request moved fewer bytes than asked, and the system gave no reason";
    case ioOtherError: return nullptr;
    }
    return nullptr;
}

std::string ioErrorWords(IoStatus why)
{
    const char* words = ownWords(why.error);
    if (words != nullptr) return words;
    if (why.systemCode == 0) return "an error the system did not name";
    char message[256];
    platformSystemMessage(why.systemCode, message, sizeof message);
    return message;
}

const char* trackFileCallName(TrackFileCall call)
{
    switch (call) {
    case createCall: return "create";
    case openCall: return "open";
    case writeCall: return "write";
    case readCall: return "read";
    case closeCall: return "close";
    }
    return "";
}

std::string trackFileFailureText(TrackFileCall call, const std::string& file, IoStatus why)
{
    std::string words = ioErrorWords(why);
    switch (call) {
    case createCall: return file + ": cannot create: " + words;
    case openCall: return file + ": cannot open: " + words;
    case writeCall:
    case readCall: return file + ": " + words;
    case closeCall: return file + ": cannot close: " + words + "; its data may be lost";
    }
    return file + ": " + words;
}

void addCauseJson(nlohmann::json& object, IoStatus why)
{
    object["cause"] = ioErrorName(why.error);
    object["systemCode"] = why.systemCode != 0 ? nlohmann::json(why.systemCode) : nlohmann::json();
    object["text"] = ioErrorWords(why);
}
