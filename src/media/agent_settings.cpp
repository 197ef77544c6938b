#include "media/agent_settings.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "model/window_record.h"

AgentSettings agent_settings;

namespace {

int g_load_listener = 0;
int g_save_listener = 0;
constexpr int kSettingsSaveAgent = 67;

struct LocaleLang {
    const char* prefix;
    int id;
};
extern const LocaleLang kLocaleLangs[];
extern const std::size_t kLocaleLangCount;

std::string read_agent(const char* key)
{
    std::string out;
    ini_read("agent", key, "", out, 1024, main_ini_path);
    return out;
}

// Comma-separated integers; a missing or empty item keeps its default.
template <std::size_t N>
void read_ints(const char* key, int (&values)[N])
{
    const std::string text = read_agent(key);
    std::size_t at = 0;
    for (std::size_t i = 0; i < N && at <= text.size(); ++i) {
        const std::size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!item.empty()) {
            char* end = nullptr;
            const long v = std::strtol(item.c_str(), &end, 10);
            if (end && *end == '\0')
                values[i] = static_cast<int>(v);
        }
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
}

template <std::size_t N>
void write_ints(const char* key, const int (&values)[N])
{
    std::string text;
    for (std::size_t i = 0; i < N; ++i)
        text += (i ? "," : "") + std::to_string(values[i]);
    ini_write("agent", key, text.c_str(), main_ini_path);
}

}  // namespace

int agent_default_lang()
{
    const char* names[] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
    for (const char* name : names) {
        if (!name || !*name)
            continue;
        for (std::size_t i = 0; i < kLocaleLangCount; ++i)
            if (std::strncmp(name, kLocaleLangs[i].prefix, std::strlen(kLocaleLangs[i].prefix)) == 0)
                return kLocaleLangs[i].id;
        break;
    }
    return 1033;
}

void agent_load_settings()
{
    AgentSettings s;
    s.enable = std::atoi(read_agent("enable").c_str()) ? 1 : 0;
    const std::string character = read_agent("char");
    if (!character.empty())
        s.character = character.substr(0, 256);
    const std::string lang = read_agent("lang");
    s.lang = lang.empty() ? agent_default_lang() : static_cast<int>(std::strtol(lang.c_str(), nullptr, 16));
    read_ints("options", s.options);
    read_ints("speech", s.speech);
    read_ints("channel", s.channel);
    read_ints("private", s.priv);
    read_ints("other", s.other);
    const std::string pos = read_agent("pos");
    long x = 0, y = 0;
    if (std::sscanf(pos.c_str(), "%ld,%ld", &x, &y) == 2) {
        s.pos[0] = x;
        s.pos[1] = y;
    }
    StringNode* list = ini_read_numbered_list("lexicon", "n", nullptr, main_ini_path, 0);
    for (StringNode* n = list; n; n = n->next) {
        const std::size_t comma = n->text.find(',');
        if (comma == std::string::npos || comma == 0)
            continue;  // an entry without a comma (or a word) is dropped
        s.lexicon.emplace_back(n->text.substr(0, comma), n->text.substr(comma + 1));
    }
    strlist_free(&list);
    agent_settings = std::move(s);
}

void agent_save_settings()
{
    const AgentSettings& s = agent_settings;
    ini_write("agent", "enable", s.enable ? "1" : "0", main_ini_path);
    ini_write("agent", "char", s.character.c_str(), main_ini_path);
    char lang[16];
    std::snprintf(lang, sizeof lang, "0x%04x", s.lang & 0xffff);
    ini_write("agent", "lang", lang, main_ini_path);
    write_ints("options", s.options);
    write_ints("speech", s.speech);
    write_ints("channel", s.channel);
    write_ints("private", s.priv);
    write_ints("other", s.other);
    const std::string pos = std::to_string(s.pos[0]) + "," + std::to_string(s.pos[1]);
    ini_write("agent", "pos", pos.c_str(), main_ini_path);
    StringNode* list = nullptr;
    for (const auto& [word, said] : s.lexicon)
        list = strlist_append(list, std::string_view(word + "," + said), 0);
    ini_write_numbered_list(list, "lexicon", "n", 0, main_ini_path);
    strlist_free(&list);
}

int agent_speak_enabled(const WindowRecord* rec)
{
    if (rec && win_is_record(rec) && (rec->speech == 0 || rec->speech == 1))
        return rec->speech;
    return agent_settings.enable;
}

int agent_speech_on()
{
    return agent_settings.enable;
}

void agent_settings_install()
{
    settings_loaded.add_once(g_load_listener, kLoadAgent, [](SettingsLoad&) { agent_load_settings(); });
    settings_saving.add_once(g_save_listener, kSettingsSaveAgent, [] { agent_save_settings(); });
}

void agent_settings_uninstall()
{
    settings_loaded.drop(g_load_listener);
    settings_saving.drop(g_save_listener);
}

namespace {

// Locale names and the language ids of the speech languages.
const LocaleLang kLocaleLangs[] = {
    {"ar", 1025}, {"it", 1040}, {"eu", 1069}, {"ja", 1041}, {"zh_CN", 2052}, {"ko", 1042}, {"zh", 1028},
    {"nb", 1044}, {"no", 1044}, {"hr", 1050}, {"pl", 1045}, {"cs", 1029}, {"pt_PT", 2070}, {"da", 1030},
    {"pt", 1046}, {"nl", 1043}, {"ro", 1048}, {"en_GB", 2057}, {"ru", 1049}, {"en", 1033}, {"sk", 1051},
    {"fi", 1035}, {"sl", 1060}, {"fr", 1036}, {"es", 3082}, {"de", 1031}, {"sv", 1053}, {"el", 1032},
    {"th", 1054}, {"he", 1037}, {"tr", 1055}, {"hu", 1038},
};
const std::size_t kLocaleLangCount = sizeof(kLocaleLangs) / sizeof(kLocaleLangs[0]);

}  // namespace
