#include "core/numbered_texts.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

struct StringTableEntry {
    int number;
    const char* text;
};

const StringTableEntry kStringTable[] = {
#include "resources/string_table.inc"
};

// Entries sorted by number, built on first use. Should a number appear twice,
// its first line wins.
const std::vector<StringTableEntry>& own_index()
{
    static const std::vector<StringTableEntry> index = [] {
        std::vector<StringTableEntry> sorted(std::begin(kStringTable), std::end(kStringTable));
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const StringTableEntry& a, const StringTableEntry& b) { return a.number < b.number; });
        sorted.erase(std::unique(sorted.begin(), sorted.end(),
                                 [](const StringTableEntry& a, const StringTableEntry& b) { return a.number == b.number; }),
                     sorted.end());
        return sorted;
    }();
    return index;
}

const char* own_text(int id)
{
    const std::vector<StringTableEntry>& index = own_index();
    const auto it = std::lower_bound(index.begin(), index.end(), id,
                                     [](const StringTableEntry& e, int number) { return e.number < number; });
    if (it == index.end() || it->number != id)
        return nullptr;
    return it->text;
}

std::unique_ptr<std::unordered_map<int, std::string>> language_texts;

const char* language_text(int id)
{
    if (!language_texts)
        return nullptr;
    const auto it = language_texts->find(id);
    return it == language_texts->end() ? nullptr : it->second.c_str();
}

char rotating_buffers[5][kLongTextSize];
int next_buffer = 0;

} // namespace

const char* text_load_string(int id, std::string* dest)
{
    const char* found = language_text(id);
    if (found == nullptr)
        found = own_text(id);

    // The work copy holds at most kLongText characters and stops at a zero byte.
    std::string work;
    buf_copy(work, kLongTextSize, found);

    if (dest != nullptr) {
        *dest = std::move(work);
        return dest->c_str();
    }

    if (next_buffer < 0 || next_buffer > 4)
        next_buffer = 0;
    char* buffer = rotating_buffers[next_buffer];
    ++next_buffer;
    std::memset(buffer, 0, kLongTextSize);
    std::memcpy(buffer, work.data(), std::min(work.size(), kLongText));
    return buffer;
}

void text_set_language_table(std::unordered_map<int, std::string> texts)
{
    language_texts = std::make_unique<std::unordered_map<int, std::string>>(std::move(texts));
}

void text_clear_language_table()
{
    language_texts.reset();
}

bool text_language_table_loaded()
{
    return language_texts != nullptr;
}

std::string text_fill_pattern(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    auto it = args.begin();
    for (std::size_t i = 0; i < pattern.size() && out.size() < kLongText; ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd' || pattern[i + 1] == 'u')) {
            if (it != args.end())
                out += *it++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    if (out.size() > kLongText)
        out.resize(kLongText);
    return out;
}

std::string text_fill_id(int id, std::initializer_list<std::string_view> args)
{
    std::string pattern;
    text_load_string(id, &pattern);
    return text_fill_pattern(pattern, args);
}
