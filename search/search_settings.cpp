#include "search/search_settings.h"

#include <charconv>

namespace {

// A whole number of 1 to 4 digits, all of text.
bool parseCount(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

}  // namespace

bool parseSearchMode(const std::string& text, bool playOnlyAllowed, SearchMode& mode)
{
    SearchMode parsed{0, 0};
    size_t colon = text.find(':');
    if (text == "record") {
        parsed = SearchMode{1, 0};
    } else if (text == "play") {
        parsed = SearchMode{0, 1};
    } else if (colon == std::string::npos || !parseCount(text.substr(0, colon), parsed.record) ||
               !parseCount(text.substr(colon + 1), parsed.play)) {
        return false;
    }
    if (parsed.record + parsed.play == 0 || (parsed.record == 0 && !playOnlyAllowed)) return false;
    mode = parsed;
    return true;
}

std::string searchModeText(const SearchMode& mode)
{
    if (mode.play == 0) return "record only";
    if (mode.record == 0) return "play back only";
    return "overdub " + std::to_string(mode.record) + ":" + std::to_string(mode.play);
}

uint32_t playTracksFor(const SearchMode& mode, uint32_t recordTracks)
{
    if (mode.record == 0) return 0;
    uint64_t scaled = static_cast<uint64_t>(recordTracks) * mode.play;
    return static_cast<uint32_t>((scaled + mode.record / 2) / mode.record);
}

uint32_t maxRecordTracksFor(const SearchMode& mode, uint32_t maxTracks)
{
    uint32_t count = maxTracks;
    while (count > 0 && count + playTracksFor(mode, count) > maxTracks) --count;
    return count;
}
