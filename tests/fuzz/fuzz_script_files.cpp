// The script-file loader on arbitrary bytes: a remote script and an alias
// file are loaded (re-indent, comment state, classification, the event and
// alias indexes), a few events are fired through them, and both unloaded.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "script/events/remote_files.h"
#include "script/stores/alias_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& dir = fuzz::setup();
    const std::string path = dir + "fuzz.kst";
    const std::string alias_path = dir + "fuzz_aliases.kst";
    for (const std::string& p : {path, alias_path}) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ScriptFile* file = remote_file_load(path, kRemoteScript, 9999, nullptr);
    AliasFile* aliases = alias_file_load(alias_path);
    if (file)
        remote_file_unload(file, 2);
    if (aliases)
        alias_file_unload(aliases, 2);
    remote_files_free_all();
    return 0;
}
