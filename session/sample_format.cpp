#include "session/sample_format.h"

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

VerdictFormats reportVerdictFormats()
{
    VerdictFormats chosen{};
    chosen.count = trackFormatCount;
    for (uint32_t i = 0; i < trackFormatCount; ++i) chosen.formats[i] = trackFormats[i];
    return chosen;
}

// Labels of every format that can be chosen, made once and kept.
static const char* lastingLabel(const SampleFormat& format)
{
    static char labels[sampleRateChoiceCount][sampleBitsChoiceCount][2][32];
    uint32_t r = 0, b = 0;
    while (r + 1 < sampleRateChoiceCount && sampleRateChoices[r] != format.rate) ++r;
    while (b + 1 < sampleBitsChoiceCount && sampleBitsChoices[b] != format.bits) ++b;
    char* label = labels[r][b][format.channels == 2 ? 1 : 0];
    if (label[0] == '\0')
        std::snprintf(label, sizeof labels[r][b][0], "%s", sampleFormatLabel(format).c_str());
    return label;
}

VerdictFormats chosenVerdictFormats(uint32_t rate, uint32_t bits)
{
    if (rate == 0 && bits == 0) return reportVerdictFormats();
    VerdictFormats chosen{};
    const uint32_t reportBits[] = {16, 24};
    uint32_t bitsCount = bits == 0 ? 2 : 1;
    for (uint32_t channels = 1; channels <= 2; ++channels)
        for (uint32_t i = 0; i < bitsCount; ++i) {
            SampleFormat format = {rate == 0 ? 44100 : rate, bits == 0 ? reportBits[i] : bits,
                                   channels};
            chosen.formats[chosen.count++] = {lastingLabel(format),
                                              sampleFormatBytesPerSecond(format)};
        }
    return chosen;
}
