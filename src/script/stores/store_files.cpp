#include "script/stores/store_files.h"

#include <algorithm>
#include <cstdio>

#include "core/files.h"
#include "core/text_limits.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"

int store_file_arg(const std::vector<std::string>& tokens, std::size_t index, std::string& path,
                   std::size_t* last)
{
    if (index >= tokens.size() || tokens[index].empty())
        return 0;
    std::string raw;
    const int end = arg_get_quoted(tokens, index, raw, kMediumText, 0);
    if (end < 0)
        return -1;
    if (last)
        *last = static_cast<std::size_t>(end);
    if (raw.empty() || !file_resolve_path(raw, path))
        return -1;
    return 1;
}

std::string store_shown_path(const std::string& path)
{
    return file_relative_to_settings_dir(path);
}

void store_echo(QWidget* window, const std::string& text)
{
    if (script_echo_line)
        script_echo_line(window, text, kColourInfo);
}

std::string store_temp_beside(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return folder + file_temp_name();
}

int store_replace_file(const std::string& temp, const std::string& target)
{
    if (std::rename(temp.c_str(), target.c_str()) == 0)
        return 1;
    std::remove(temp.c_str());
    return 0;
}

bool store_next_line(std::string_view data, std::size_t& pos, std::string& line, std::size_t limit)
{
    if (pos >= data.size())
        return false;
    std::size_t end = pos;
    const std::size_t stop = std::min(data.size(), pos + limit);
    while (end < stop && data[end] != '\n')
        ++end;
    line.assign(data.substr(pos, end - pos));
    if (!line.empty() && line.back() == '\r' && end < data.size() && data[end] == '\n')
        line.pop_back();
    pos = end < data.size() && data[end] == '\n' ? end + 1 : end;
    return true;
}
