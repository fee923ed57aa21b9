// Options that several commands share, each bound to its place in the
// command's settings, with the checks that name the allowed values.
#pragma once
#include <cstdint>
#include <string>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

#include "platform/platform.h"
#include "session/sample_format.h"
#include "session/session_model.h"

const uint32_t maxBufferSeconds = 60;
const uint32_t maxSessionSeconds = 3600;

// A decimal number of seconds (or %) from low (excluded unless lowIncluded)
// up to high, finite: CLI11's own number check and range.
CLI::Validator decimalRange(double low, bool lowIncluded, double high, const std::string& what);

// --rate, --bits, --channels: the format of every track.
void addFormatOptions(CLI::App* command, SampleFormat& format);
// --buffer (seconds) and --request (KBytes, 0: a recorder's 65,536 frames),
// or --preset: a recorder's buffering by name, with neither of them.
void addBufferOptions(CLI::App* command, double& bufferSeconds, uint32_t& requestKBytes,
                      std::string& preset);
// The preset --preset names (presetNone for none).
BufferingPreset bufferingPresetOf(const std::string& preset);
// --cache bypass|os, and the path it names.
void addCacheOption(CLI::App* command, std::string& cache);
TrackCaching cachingOf(const std::string& cache);
