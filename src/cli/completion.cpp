#include "completion.h"

#include <algorithm>
#include <functional>

namespace qf::cli {

namespace {

struct Flag {
    std::vector<std::string> shortNames; // without the dash: "v"
    std::vector<std::string> longNames;  // without the dashes: "variant"
    std::string value;                   // the value's name; empty for a flag that takes none
    std::string help;                    // on one line
};

struct Command {
    std::string name;
    std::string help;
    std::vector<Flag> flags;
};

std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::vector<Flag> FlagsOf(const CLI::App& app)
{
    std::vector<Flag> flags;
    for (const CLI::Option* option :
         app.get_options([](const CLI::Option* o) { return !o->get_positional(); }))
        flags.push_back({option->get_snames(), option->get_lnames(), option->get_type_name(),
                         OneLine(option->get_description())});
    return flags;
}

std::vector<Command> CommandsOf(const CLI::App& app, const std::map<std::string, std::string>& summaries)
{
    std::vector<Command> commands;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        const auto summary = summaries.find(command->get_name());
        commands.push_back(
            {command->get_name(),
             summary != summaries.end() ? summary->second : OneLine(command->get_description()),
             FlagsOf(*command)});
    }
    return commands;
}

std::string Joined(const std::vector<std::string>& words, const std::string& prefix, const char* separator)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : separator) + prefix + word;
    return text;
}

std::vector<std::string> Spellings(const Flag& flag)
{
    std::vector<std::string> names;
    for (const std::string& name : flag.shortNames)
        names.push_back("-" + name);
    for (const std::string& name : flag.longNames)
        names.push_back("--" + name);
    return names;
}

// text inside single quotes in any of the three shells.
std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Every value-taking flag once, by its spellings, across all commands.
std::vector<Flag> ValueFlags(const std::vector<Command>& commands)
{
    std::vector<Flag> flags;
    for (const Command& command : commands) {
        for (const Flag& flag : command.flags) {
            const bool seen = std::any_of(flags.begin(), flags.end(),
                                          [&](const Flag& f) { return f.longNames == flag.longNames; });
            if (!flag.value.empty() && !seen)
                flags.push_back(flag);
        }
    }
    return flags;
}

std::string Bash(const std::string& program, const std::vector<Flag>& top,
                 const std::vector<Command>& commands, const CompletionTables& tables)
{
    std::string function = "_" + program;
    std::replace(function.begin(), function.end(), '-', '_');
    std::vector<std::string> names;
    names.reserve(commands.size());
    for (const Command& command : commands)
        names.push_back(command.name);
    std::vector<std::string> topWords = names;
    for (const Flag& flag : top) {
        const std::vector<std::string> spellings = Spellings(flag);
        topWords.insert(topWords.end(), spellings.begin(), spellings.end());
    }

    std::string s =
        "# bash completion for " + program + "\n# Written by " + program
        + " --completion bash when the program is built.\n\n" + function + "()\n{\n"
        + "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= word flags\n"
        + "    for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n" + "        case $word in\n            "
        + Joined(names, "", "|") + ") command=$word; break ;;\n        esac\n    done\n    case $prev in\n";
    for (const Flag& flag : ValueFlags(commands)) {
        s += "        " + Joined(Spellings(flag), "", "|") + ")\n";
        if (const auto choices = tables.choices.find(flag.value); choices != tables.choices.end()) {
            std::vector<std::string> words;
            for (const auto& [word, help] : choices->second)
                words.push_back(word);
            s += "            COMPREPLY=($(compgen -W " + Quoted(Joined(words, "", " ")) + " -- \"$cur\"))\n";
        } else if (flag.value == "DIR") {
            s += "            compopt -o filenames 2>/dev/null\n"
                 "            COMPREPLY=($(compgen -d -- \"$cur\"))\n";
        }
        s += "            return ;;\n";
    }
    s += "    esac\n    case $command in\n";
    for (const Command& command : commands) {
        std::vector<std::string> spellings;
        for (const Flag& flag : command.flags) {
            const std::vector<std::string> more = Spellings(flag);
            spellings.insert(spellings.end(), more.begin(), more.end());
        }
        s += "        " + command.name + ") flags=" + Quoted(Joined(spellings, "", " ")) + " ;;\n";
    }
    s += "        *) COMPREPLY=($(compgen -W " + Quoted(Joined(topWords, "", " "))
         + " -- \"$cur\")); return ;;\n    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$flags\" -- \"$cur\"))\n"
           "        return\n    fi\n"
           "    # Folders, and the files the commands read.\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    local IFS=$'\\n'\n"
           "    COMPREPLY=($(compgen -d -- \"$cur\"";
    for (const std::string& extension : tables.inputExtensions) {
        std::string pattern = "!*.";
        for (char c : extension)
            pattern += std::isalpha(static_cast<unsigned char>(c))
                           ? std::string("[") + static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                                 + static_cast<char>(std::toupper(static_cast<unsigned char>(c))) + "]"
                           : std::string(1, c);
        s += "; compgen -f -X " + Quoted(pattern) + " -- \"$cur\"";
    }
    s += "))\n}\ncomplete -F " + function + " " + program + "\n";
    return s;
}

// Text inside the brackets of a zsh _arguments entry.
std::string ZshHelp(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '[' || c == ']' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out;
}

std::string Zsh(const std::string& program, const std::vector<Flag>& top,
                const std::vector<Command>& commands, const CompletionTables& tables)
{
    std::string function = "_" + program;
    std::replace(function.begin(), function.end(), '-', '_');
    std::string s = "#compdef " + program + "\n# Written by " + program
                    + " --completion zsh when the program is built.\n\n";
    s += function + "_input()\n{\n    _files -g '*.(#i)(" + Joined(tables.inputExtensions, "", "|")
         + ")(-.)'\n}\n\n";
    for (const auto& [value, words] : tables.choices) {
        s += function + "_" + Lower(value) + "()\n{\n    local -a words=(\n";
        for (const auto& [word, help] : words)
            s += "        " + Quoted(word + ":" + help) + "\n";
        s += "    )\n    _describe -t " + Lower(value) + " " + Lower(value) + " words\n}\n\n";
    }
    auto argument = [&](const Flag& flag) {
        const std::vector<std::string> spellings = Spellings(flag);
        std::string line = spellings.size() > 1 ? Quoted("(" + Joined(spellings, "", " ") + ")") + "{"
                                                      + Joined(spellings, "", ",") + "}"
                                                : spellings.front();
        line += Quoted("[" + ZshHelp(flag.help) + "]");
        if (!flag.value.empty()) {
            const std::string action = tables.choices.count(flag.value) ? function + "_" + Lower(flag.value)
                                       : flag.value == "DIR"            ? "_files -/"
                                                                        : " ";
            line += Quoted(":" + flag.value + ":" + action);
        }
        return "        " + line + " \\\n";
    };
    s += function + "()\n{\n    local curcontext=$curcontext state line ret=1\n    _arguments -C \\\n";
    for (const Flag& flag : top)
        s += argument(flag);
    s += "        '1:command:->command' \\\n        '*::argument:->argument' && ret=0\n"
         "    case $state in\n        command)\n            local -a commands=(\n";
    for (const Command& command : commands)
        s += "                " + Quoted(command.name + ":" + command.help) + "\n";
    s += "            )\n            _describe -t commands command commands && ret=0 ;;\n"
         "        argument)\n            curcontext=${curcontext%:*:*}:"
         + program
         + "-$words[1]:\n"
           "            case $words[1] in\n";
    for (const Command& command : commands) {
        s += "                " + command.name + ")\n                    _arguments \\\n";
        for (const Flag& flag : command.flags)
            s += "            " + argument(flag);
        s += "                        '*:file:" + function + "_input' && ret=0 ;;\n";
    }
    s += "            esac ;;\n    esac\n    return ret\n}\n\n" + function + " \"$@\"\n";
    return s;
}

std::string Fish(const std::string& program, const std::vector<Flag>& top,
                 const std::vector<Command>& commands, const CompletionTables& tables)
{
    std::string function = "__" + program;
    std::replace(function.begin(), function.end(), '-', '_');
    std::string s = "# fish completion for " + program + "\n# Written by " + program
                    + " --completion fish when the program is built.\n\n";
    for (const auto& [value, words] : tables.choices) {
        s += "function " + function + "_" + Lower(value) + "\n";
        for (const auto& [word, help] : words)
            s += "    printf '%s\\t%s\\n' " + Quoted(word) + " " + Quoted(help) + "\n";
        s += "end\n";
    }
    s += "function " + function + "_input\n";
    for (const std::string& extension : tables.inputExtensions)
        s += "    __fish_complete_suffix ." + extension + "\n";
    s += "end\n\ncomplete -c " + program + " -f\n";
    auto line = [&](const std::string& condition, const Flag& flag) {
        std::string l = "complete -c " + program + " -n " + Quoted(condition);
        for (const std::string& name : flag.shortNames)
            l += " -s " + name;
        for (const std::string& name : flag.longNames)
            l += " -l " + name;
        if (!flag.value.empty()) {
            l += " -x";
            if (tables.choices.count(flag.value))
                l += " -a " + Quoted("(" + function + "_" + Lower(flag.value) + ")");
            else if (flag.value == "DIR")
                l += " -a '(__fish_complete_directories)'";
        }
        return l + " -d " + Quoted(flag.help) + "\n";
    };
    for (const Flag& flag : top)
        s += line("__fish_use_subcommand", flag);
    for (const Command& command : commands)
        s += "complete -c " + program + " -n __fish_use_subcommand -a " + command.name + " -d "
             + Quoted(command.help) + "\n";
    for (const Command& command : commands) {
        const std::string condition = "__fish_seen_subcommand_from " + command.name;
        s += "complete -c " + program + " -n " + Quoted(condition) + " -k -a "
             + Quoted("(" + function + "_input)") + "\n";
        for (const Flag& flag : command.flags)
            s += line(condition, flag);
    }
    return s;
}

} // namespace

std::string CompletionScript(const CLI::App& app, std::string_view shell, const CompletionTables& tables)
{
    const std::string& program = app.get_name();
    const std::vector<Flag> top = FlagsOf(app);
    const std::vector<Command> commands = CommandsOf(app, tables.summaries);
    if (shell == "bash")
        return Bash(program, top, commands, tables);
    if (shell == "zsh")
        return Zsh(program, top, commands, tables);
    if (shell == "fish")
        return Fish(program, top, commands, tables);
    return {};
}

} // namespace qf::cli
