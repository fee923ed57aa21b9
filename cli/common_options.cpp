#include "cli/common_options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

#include "cli/cli_checks.h"

CLI::Validator decimalRange(double low, bool lowIncluded, double high, const std::string& what)
{
    CLI::Validator number = CLI::Number & CLI::Range(low, high);
    return CLI::Validator(
        [=](const std::string& text) {
            double value = 0;
            bool fits = number(text).empty() && CLI::detail::lexical_cast(text, value) &&
                        std::isfinite(value) && (lowIncluded || value > low);
            if (fits) return std::string();
            char range[64];
            std::snprintf(range, sizeof range, "%s %g up to %g", lowIncluded ? "from" : "above", low,
                          high);
            return what + " must be a number " + range + " (got '" + text + "')";
        },
        "NUMBER", what);
}

void addFormatOptions(CLI::App* command, SampleFormat& format)
{
    static const uint32_t channelChoices[] = {1, 2};
    command->add_option("--rate", format.rate, "sample rate in Hz")
        ->check(choiceValidator(sampleRateChoices, sampleRateChoiceCount, "sample rate"))
        ->default_val(format.rate);
    command->add_option("--bits", format.bits, "bits per sample")
        ->check(choiceValidator(sampleBitsChoices, sampleBitsChoiceCount, "word length"))
        ->default_val(format.bits);
    command->add_option("--channels", format.channels, "1 mono, 2 stereo")
        ->check(choiceValidator(channelChoices, 2, "channel count"))
        ->default_val(format.channels);
}

void addBufferOptions(CLI::App* command, double& bufferSeconds, uint32_t& requestKBytes,
                      std::string& preset)
{
    CLI::Option* buffer =
        command->add_option("--buffer", bufferSeconds, "seconds of audio each track's buffer holds")
            ->check(decimalRange(0, false, maxBufferSeconds, "buffer length"))
            ->default_val(bufferSeconds);
    CLI::Option* request = command
        ->add_option("--request", requestKBytes,
                     "request size in KBytes; by default a recorder's 65,536 frames of the "
                     "format, rounded up to 4 KBytes (192 at 48 kHz 24-bit mono)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                uint32_t value;
                if (parseWholeNumber(text, 9, value) && value >= 32 && value <= 4096 && value % 4 == 0)
                    return std::string();
                return "request size must be a multiple of 4 KBytes from 32 to 4096 (got '" + text +
                       "')";
            },
            "32..4096", "kbytes"));
    command
        ->add_option("--preset", preset,
                     "a recorder's buffering by name, as Ardour's presets set it: small (5 s "
                     "buffers, requests of 65,536 frames), medium (10 s, 131,072), large (20 s, "
                     "131,072); in place of --buffer and --request")
        ->check(CLI::IsMember({"small", "medium", "large"}))
        ->excludes(buffer)
        ->excludes(request);
}

BufferingPreset bufferingPresetOf(const std::string& preset)
{
    if (preset == "small") return presetSmall;
    if (preset == "medium") return presetMedium;
    if (preset == "large") return presetLarge;
    return presetNone;
}

void addCacheOption(CLI::App* command, std::string& cache)
{
    command
        ->add_option("--cache", cache,
                     "bypass: the file cache bypassed, the disk itself, as the write and read "
                     "tests measure it; os: through the file cache, as most recorders write")
        ->check(CLI::IsMember({"bypass", "os"}))
        ->default_val(cache);
}

TrackCaching cachingOf(const std::string& cache)
{
    return cache == "os" ? throughFileCache : bypassFileCache;
}
