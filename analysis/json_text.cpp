#include "analysis/json_text.h"

#include "platform/console.h"

using nlohmann::json;

std::string jsonLine(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string jsonArgumentText(const std::string& name)
{
    return platformArgumentToUtf8(name);
}
