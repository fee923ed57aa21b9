#include "analysis/json_text.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

using nlohmann::json;

std::string jsonLine(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string jsonArgumentText(const std::string& name)
{
#ifdef _WIN32
    int length = static_cast<int>(name.size());
    int wideLength = MultiByteToWideChar(CP_ACP, 0, name.data(), length, nullptr, 0);
    if (wideLength <= 0) return name;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), length, &wide[0], wideLength);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                         nullptr, nullptr);
    if (utf8Length <= 0) return name;
    std::string utf8(static_cast<size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr,
                        nullptr);
    return utf8;
#else
    return name;
#endif
}
