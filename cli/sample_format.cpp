#include "cli/sample_format.h"

#include <cstdio>

const uint32_t sampleRateChoices[sampleRateChoiceCount] = {44100, 48000,  88200,
                                                           96000, 176400, 192000};
const uint32_t sampleBitsChoices[sampleBitsChoiceCount] = {16, 24, 32};

bool isSampleRateChoice(uint32_t rate)
{
    for (uint32_t choice : sampleRateChoices)
        if (choice == rate) return true;
    return false;
}

bool isSampleBitsChoice(uint32_t bits)
{
    for (uint32_t choice : sampleBitsChoices)
        if (choice == bits) return true;
    return false;
}

bool isChannelCountChoice(uint32_t channels)
{
    return channels == 1 || channels == 2;
}

uint32_t sampleFormatBytesPerSecond(const SampleFormat& format)
{
    return format.rate * (format.bits / 8) * format.channels;
}

std::string sampleFormatLabel(const SampleFormat& format)
{
    char text[64];
    // 44100 -> "44.1", 48000 -> "48": kHz with the decimals it needs.
    if (format.rate % 1000 == 0)
        std::snprintf(text, sizeof text, "%u kHz", static_cast<unsigned>(format.rate / 1000));
    else
        std::snprintf(text, sizeof text, "%g kHz", format.rate / 1000.0);
    std::string label = text;
    std::snprintf(text, sizeof text, " %u-bit %s", static_cast<unsigned>(format.bits),
                  format.channels == 1 ? "mono" : format.channels == 2 ? "stereo" : "multichannel");
    return label + text;
}
