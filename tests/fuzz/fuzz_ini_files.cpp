// The ini layer on an arbitrary settings file: read values, key lists and
// section lists, a numbered list, write a key, replace and remove a section.
// The bytes choose the section and key names too (up to the first two LF).
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "core/ini.h"
#include "core/string_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& dir = fuzz::setup();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string section = "options", key = "n0";
    if (std::size_t a = bytes.find('\n'); a != std::string::npos && a < 64) {
        section = bytes.substr(0, a);
        if (std::size_t b = bytes.find('\n', a + 1); b != std::string::npos && b - a < 64)
            key = bytes.substr(a + 1, b - a - 1);
    }
    const std::string path = dir + "fuzz.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string value;
    ini_read(section.c_str(), key.c_str(), "none", value, 4150, path);
    ini_read(section.c_str(), nullptr, nullptr, value, 4150, path);
    ini_read(nullptr, nullptr, nullptr, value, 4150, path);
    StringNode* list = ini_read_numbered_list(section.c_str(), "n", nullptr, path, 1);
    ini_write(section.c_str(), key.c_str(), bytes.substr(0, 300).c_str(), path);
    ini_write_numbered_list(list, section.c_str(), "n", 0, path);
    if (list)
        strlist_free(&list);
    StringNode* whole = ini_load_list_file(path, "[urls]", 1, 0);
    if (whole) {
        ini_save_list_file(path, "[urls]", whole);
        strlist_free(&whole);
    }
    ini_remove_section(path, ("[" + section + "]").c_str());
    ini_write(section.c_str(), nullptr, nullptr, path);
    return 0;
}
