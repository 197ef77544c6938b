#include "script/stores/store_files.h"

#include <algorithm>

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
