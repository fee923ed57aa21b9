// JSON values as the text of the command line's and the reports' JSON output.
#pragma once
#include <string>

#include <nlohmann/json.hpp>

// A JSON value as one line of text. Never throws: bytes that are not UTF-8
// (a file name may hold any) are replaced by U+FFFD.
std::string jsonLine(const nlohmann::json& value);
// A command-line argument (a file name) as JSON text: on Windows converted
// from the ANSI code page the arguments arrive in, elsewhere as it is.
std::string jsonArgumentText(const std::string& argument);
