// The sample formats a recording is made in: the rates and word lengths
// trakmon judges a disk against, and what one track of a format needs.
#pragma once
#include <cstdint>
#include <string>

#include "engine/results_report.h"

struct SampleFormat {
    uint32_t rate;      // samples per second per channel
    uint32_t bits;      // bits per sample, stored in whole bytes
    uint32_t channels;  // 1 mono, 2 stereo
};

const uint32_t sampleRateChoiceCount = 6;
extern const uint32_t sampleRateChoices[sampleRateChoiceCount];  // 44100 ... 192000
const uint32_t sampleBitsChoiceCount = 3;
extern const uint32_t sampleBitsChoices[sampleBitsChoiceCount];  // 16, 24, 32

bool isSampleRateChoice(uint32_t rate);
bool isSampleBitsChoice(uint32_t bits);
bool isChannelCountChoice(uint32_t channels);

// Bytes one track of the format moves per second: rate x bytes per sample x
// channels (at most 192000 x 4 x 2 = 1,536,000).
uint32_t sampleFormatBytesPerSecond(const SampleFormat& format);

// "48 kHz 24-bit mono", "44.1 kHz 16-bit stereo".
std::string sampleFormatLabel(const SampleFormat& format);

// The formats that the verdict lines judge, at most four, in the report's
// order (mono before stereo, the shorter word first). Names live as long as
// the program.
struct VerdictFormats {
    uint32_t count;
    TrackFormat formats[trackFormatCount];
};

// The report's four 44.1 kHz formats, named as the report names them.
VerdictFormats reportVerdictFormats();
// Mono and stereo at rate (0: 44100) and bits (0: both 16 and 24), named by
// sampleFormatLabel; both 0 gives the report's four. Rate and bits must be
// choices (or 0).
VerdictFormats chosenVerdictFormats(uint32_t rate, uint32_t bits);
