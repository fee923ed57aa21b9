#include "analysis/json_text.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

std::string jsonLine(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string pathAsItIs(const std::string& path)
{
    return path;
}

json sampleFormatJson(const SampleFormat& format)
{
    return {{"rate", format.rate},
            {"bits", format.bits},
            {"channels", format.channels},
            {"label", sampleFormatLabel(format)}};
}
