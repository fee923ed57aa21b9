// The command line's words for why a call on a file failed, out of the
// platform's codes: the cause's name and words in the JSON, and the line
// that names the file and the cause on stderr. The one place they live.
#pragma once
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "engine/front_end.h"
#include "platform/platform.h"

// The cause's name in the JSON: "disk-full", "io-error", ...
const char* ioErrorName(IoError error);
// Words a user can act on ("the disk is full"); for a code with none of its
// own, the system's message for its number.
std::string ioErrorWords(IoStatus why);
// The cause in a JSON object: "cause", "systemCode" (null for none), "text".
void addCauseJson(nlohmann::json& object, IoStatus why);
// The call's name in the JSON: "create", "open", "write", "read", "close".
const char* trackFileCallName(TrackFileCall call);
// What stderr says after "trakmon: ": "/mnt/take.003: the disk is full",
// "/mnt/take.003: cannot create: permission denied".
std::string trackFileFailureText(TrackFileCall call, const std::string& file, IoStatus why);
