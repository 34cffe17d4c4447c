#include "manual.h"

#include "exit_codes.h"

#include <algorithm>
#include <map>
#include <vector>

namespace qf::cli {

namespace {

std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::string out;
    for (const char c : text)
        if (c != ' ' || (!out.empty() && out.back() != ' '))
            out += c;
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string OptionListing(const CLI::App& app)
{
    struct Entry {
        std::string value, description;
        std::vector<std::string> commands;
    };
    std::vector<std::string> order;
    std::map<std::string, Entry> entries;
    const std::vector<const CLI::App*> commands = app.get_subcommands([](const CLI::App*) { return true; });
    for (const CLI::App* command : commands) {
        for (const CLI::Option* option : command->get_options([](const CLI::Option*) { return true; })) {
            if (option->get_positional() || option == command->get_help_ptr())
                continue;
            const std::string names = option->get_name(false, true);
            const auto [at, added] = entries.try_emplace(names);
            if (added) {
                order.push_back(names);
                at->second.value = option->get_type_size() == 0 ? std::string() : option->get_type_name();
                at->second.description = OneLine(option->get_description());
            }
            at->second.commands.push_back(command->get_name());
        }
    }
    std::string out;
    for (const std::string& names : order) {
        const Entry& entry = entries.at(names);
        std::string takenBy;
        for (const std::string& command : entry.commands)
            takenBy += (takenBy.empty() ? "" : ", ") + command;
        if (entry.commands.size() == commands.size())
            takenBy = "all commands";
        out += names + "\t" + entry.value + "\t" + entry.description + "\t" + takenBy + "\n";
    }
    return out;
}

} // namespace

std::string ManualListing(const CLI::App& app, std::string_view what)
{
    if (what == "options")
        return OptionListing(app);
    if (what != "exit-status")
        return {};
    std::string out;
    for (const ExitCodeInfo& info : kExitCodes)
        out += std::to_string(info.code) + "\t" + std::string(info.meaning) + "\t" + std::string(info.more)
               + "\n";
    return out;
}

} // namespace qf::cli
