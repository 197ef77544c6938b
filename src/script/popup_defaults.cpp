#include "script/popup_defaults.h"

#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/popups.h"

namespace {

// Lines in the popup grammar: leading dots give the submenu level, "-" a
// separator, "caption:commands" an item. In the nick list and query
// popups $1 is the nick; "#" is the window's channel.
const std::vector<std::string> kStatus = {
    "Kanala Gir...:/join $$?=\"Kanal adı:\"",
    "Nick Değiştir...:/nick $$?=\"Yeni nick:\"",
    "Uzakta",
    ".Uzaktayım...:/away $$?=\"Sebep:\"",
    ".Geri Döndüm:/away",
    "-",
    "Sunucu Bilgisi",
    ".Günün Mesajı (MOTD):/motd",
    ".Kullanıcı Sayıları (LUSERS):/lusers",
    ".Sunucu Saati:/time",
    "-",
    "Kanal Listesi:/list",
};

const std::vector<std::string> kChannel = {
    "Topic Göster:/topic #",
    "Topic Değiştir...:/topic # $$?=\"Yeni topic:\"",
    "-",
    "Kanal Modları:/mode #",
    "Ban Listesi:/mode # +b",
    "Kullanıcı Listesi:/names #",
    "-",
    "Yeniden Gir:/hop",
    "Kanaldan Çık:/part #",
};

const std::vector<std::string> kQuery = {
    "Bilgi (Whois):/whois $$1",
    "Kanala Davet Et...:/invite $$1 $$?=\"Kanal adı:\"",
    "-",
    "CTCP",
    ".Version:/ctcp $$1 VERSION",
    ".Ping:/ctcp $$1 PING",
    ".Saat:/ctcp $$1 TIME",
    "-",
    "Ignore:/ignore $$1",
};

const std::vector<std::string> kNicklist = {
    "Bilgi (Whois):/whois $$1",
    "Özel Sohbet (Query):/query $$1",
    "-",
    "Yetki",
    ".Op Ver:/mode # +o $$1",
    ".Op Al:/mode # -o $$1",
    ".Voice Ver:/mode # +v $$1",
    ".Voice Al:/mode # -v $$1",
    "At ve Yasakla",
    ".Kick:/kick # $$1",
    ".Sebepli Kick...:/kick # $$1 $$?=\"Sebep:\"",
    ".Ban:/ban # $$1 2",
    ".Kick ve Ban:/ban -k # $$1 2",
    "-",
    "CTCP",
    ".Version:/ctcp $$1 VERSION",
    ".Ping:/ctcp $$1 PING",
    ".Saat:/ctcp $$1 TIME",
    "-",
    "Ignore:/ignore $$1",
};

// The first line, without commands and with nothing under it, is the
// menu's title.
const std::vector<std::string> kMenubar = {
    "Komutlar",
    "Kanala Gir...:/join $$?=\"Kanal adı:\"",
    "Özel Sohbet Aç...:/query $$?=\"Nick:\"",
    "Bilgi (Whois)...:/whois $$?=\"Nick:\"",
    "-",
    "Nick Değiştir...:/nick $$?=\"Yeni nick:\"",
    "Uzaktayım...:/away $$?=\"Sebep:\"",
    "Geri Döndüm:/away",
};

const std::vector<std::string> kNone;

// Whether section "pfiles" names a popup file for any fixed kind.
bool any_listed()
{
    for (int kind = 0; kind <= 4; ++kind) {
        std::string key = "n" + std::to_string(kind);
        std::string value;
        ini_read("pfiles", key.c_str(), "", value, 1074, main_ini_path);
        if (!value.empty())
            return true;
    }
    return false;
}

}  // namespace

const std::vector<std::string>& popup_default_lines(int kind)
{
    switch (kind) {
    case kPopupFileStatus: return kStatus;
    case kPopupFileChannel: return kChannel;
    case kPopupFileQuery: return kQuery;
    case kPopupFileNicklist: return kNicklist;
    case kPopupFileMenubar: return kMenubar;
    default: return kNone;
    }
}

int popup_files_write_defaults()
{
    if (settings_dir.empty() || any_listed())
        return 0;
    const std::string path = settings_dir + "popups.ini";
    if (file_exists(path, 1 | 2))
        return 0;
    int ok = 1;
    for (int kind = 0; kind <= 4 && ok; ++kind) {
        StringNode* lines = nullptr;
        for (const std::string& line : popup_default_lines(kind)) {
            StringNode* head = strlist_append(lines, std::string_view(line), 0);
            if (!head) {
                strlist_free(&lines);
                return 0;
            }
            lines = head;
        }
        ok = ini_save_list_file(path, popup_kind_section(kind), lines);
        strlist_free(&lines);
    }
    return ok;
}
