#include "cli/command_line_json.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

// Allowed values from a validator's help text: "a|b|c" (as trakmon's own
// checks write them) or "{a,b,c}" (as CLI::IsMember writes them).
static nlohmann::json choicesOf(const std::string& validatorText)
{
    nlohmann::json choices = nlohmann::json::array();
    std::string text = validatorText;
    char separator = '|';
    if (text.size() > 2 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, text.size() - 2);
        separator = ',';
    } else if (text.find('|') == std::string::npos) {
        return choices;
    }
    if (text.find(' ') != std::string::npos) return choices;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) choices.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return choices;
}

static nlohmann::json optionJson(const CLI::Option& option, bool isHelp)
{
    nlohmann::json names = nlohmann::json::array();
    for (const std::string& name : option.get_snames()) names.push_back("-" + name);
    for (const std::string& name : option.get_lnames()) names.push_back("--" + name);

    // A flag takes no value. CLI11 writes the type and each validator's text
    // as "TYPE:v1:v2".
    bool flag = option.get_expected_max() == 0;
    std::string typeName = flag ? "" : option.get_type_name();
    size_t colon = typeName.find(':');
    std::string type = typeName.substr(0, colon);
    nlohmann::json choices = nlohmann::json::array();
    while (colon != std::string::npos && choices.empty()) {
        size_t next = typeName.find(':', colon + 1);  // npos: to the end
        choices = choicesOf(typeName.substr(colon + 1, next - colon - 1));
        colon = next;
    }
    return {{"names", names},
            {"positional", option.get_positional() ? option.get_name(true, false) : ""},
            {"flag", flag},
            {"type", type},
            {"valueText", option.get_option_text()},
            {"choices", choices},
            {"default", option.get_default_str()},
            {"required", option.get_required()},
            {"help", isHelp},
            {"description", option.get_description()}};
}

static nlohmann::json optionsJson(const CLI::App& app)
{
    nlohmann::json options = nlohmann::json::array();
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty()) continue;  // hidden
        options.push_back(optionJson(*option, option == app.get_help_ptr()));
    }
    return options;
}

std::string commandLineJson(const CLI::App& app)
{
    nlohmann::json commands = nlohmann::json::array();
    for (const CLI::App* command : app.get_subcommands(std::function<bool(const CLI::App*)>())) {
        if (command->get_group().empty()) continue;  // hidden
        commands.push_back({{"name", command->get_name()},
                            {"description", command->get_description()},
                            {"options", optionsJson(*command)}});
    }
    nlohmann::json definition = {{"name", app.get_name()},
                                 {"description", app.get_description()},
                                 {"options", optionsJson(app)},
                                 {"commands", commands}};
    return definition.dump(2);
}
