// JSON values as the text of the command line's and the reports' JSON output.
#pragma once
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "session/sample_format.h"

// A JSON value as one line of text. Never throws: bytes that are not UTF-8
// (a file name may hold any) are replaced by U+FFFD.
std::string jsonLine(const nlohmann::json& value);
// How a report's JSON writes a file name: the front end hands in how its
// names become UTF-8 (on Windows they come in the ANSI code page; elsewhere
// as they are), so that every name of one report is converted alike.
typedef std::string (*PathText)(const std::string& path);
// A name left as it is.
std::string pathAsItIs(const std::string& path);

// A sample format: {"rate", "bits", "channels", "label"}.
nlohmann::json sampleFormatJson(const SampleFormat& format);
