#include "store/Autostart.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "markup/TextEncoding.h"
#include "platform/Utf.h"
#include "platform/XdgDirs.h"

namespace store {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view EntryName = "marlune.desktop";
constexpr std::string_view GroupHeader = "[Desktop Entry]";

// Characters that make an Exec argument need quotes.
constexpr std::string_view ReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

// One argument of an Exec line: quoted when needed, '%' doubled (field codes), then the string
// escapes of the file format (a backslash is written twice).
std::string ExecValueOf(const std::string& path)
{
    std::string argument;
    const bool quote = path.find_first_of(ReservedInExec) != std::string::npos;
    if (quote) {
        argument += '"';
    }
    for (const char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            argument += '\\';
        }
        argument += c;
        if (c == '%') {
            argument += '%';
        }
    }
    if (quote) {
        argument += '"';
    }
    std::string value;
    for (const char c : argument) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

// The string escapes of a value undone (\s \n \t \r \\; others stay as written).
std::string UnescapeValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
        }
    }
    return out;
}

// Splits an Exec command line into its arguments ("%%" read as "%"); nullopt when a quote is unended.
std::optional<std::vector<std::string>> SplitExec(std::string_view line)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i == line.size()) {
            return arguments;
        }
        std::string argument;
        if (line[i] == '"') {
            ++i;
            bool ended = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    ended = true;
                    break;
                }
                if (c == '\\' && i < line.size()
                    && (line[i] == '"' || line[i] == '`' || line[i] == '$' || line[i] == '\\')) {
                    argument += line[i++];
                } else {
                    argument += c;
                }
            }
            if (!ended) {
                return std::nullopt;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
                argument += line[i++];
            }
        }
        std::string plain;
        for (std::size_t k = 0; k < argument.size(); ++k) {
            plain += argument[k];
            if (argument[k] == '%' && k + 1 < argument.size() && argument[k + 1] == '%') {
                ++k;
            }
        }
        arguments.push_back(std::move(plain));
    }
}

std::string Trim(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    const std::size_t end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

// True when the entry starts exactly this executable and is not hidden.
bool EntryStarts(const fs::path& entry, const std::string& executable)
{
    std::ifstream in(entry, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line;
    bool inGroup = false;
    std::optional<std::string> exec;
    bool hidden = false;
    while (std::getline(in, line)) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        if (trimmed[0] == '[') {
            inGroup = trimmed == GroupHeader;
            continue;
        }
        const std::size_t equals = trimmed.find('=');
        if (!inGroup || equals == std::string::npos) {
            continue;
        }
        const std::string key = Trim(std::string_view(trimmed).substr(0, equals));
        const std::string value = Trim(std::string_view(trimmed).substr(equals + 1));
        if (key == "Exec" && !exec) {
            exec = UnescapeValue(value);
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    if (!exec || hidden) {
        return false;
    }
    const auto arguments = SplitExec(*exec);
    return arguments && arguments->size() == 1 && arguments->front() == executable;
}

} // namespace

std::filesystem::path AutostartEntryPath()
{
    const fs::path config = platform::ConfigHome();
    if (config.empty()) {
        return {};
    }
    return config / "autostart" / EntryName;
}

bool SetAutostart(AutostartAction action)
{
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec || executable.empty()) {
        return false;
    }
    return SetAutostart(action, executable);
}

bool SetAutostart(AutostartAction action, const std::filesystem::path& executable)
{
    const fs::path entry = AutostartEntryPath();
    if (entry.empty()) {
        return false;
    }
    std::error_code ec;
    switch (action) {
    case AutostartAction::Query:
        return EntryStarts(entry, executable.string());
    case AutostartAction::Add: {
        const std::string path = executable.string();
        // A desktop entry is UTF-8 text: a path that is not cannot be named in it.
        if (path.empty() || !platform::IsValidUtf8(path)) {
            return false;
        }
        fs::create_directories(entry.parent_path(), ec);
        if (ec) {
            return false;
        }
        const std::string text = std::string(GroupHeader) + "\nType=Application\nName=Marlune\nExec="
                                 + ExecValueOf(path) + "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
        return markup::WriteFileAtomically(entry, text);
    }
    case AutostartAction::Remove:
        return fs::remove(entry, ec) && !ec;
    }
    return false;
}

} // namespace store
