// The program as the desktop's handler of irc: links.
#include "app/irc_link_association.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/files.h"
#include "core/options.h"

const char* const kIrcLinkDesktopFile = "kest-irc.desktop";

namespace {

// The program's path as one quoted argument of an Exec line: the quoting
// rule escapes '"', '`', '$' and '\' with a backslash, the string rule then
// doubles every backslash, and a literal '%' is written "%%". Control
// characters cannot be written at all: empty.
std::string exec_argument(const std::string& path)
{
    std::string out = "\"";
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return {};
        switch (c) {
        case '"':
        case '`':
        case '$':
            out += "\\\\";
            out += c;
            break;
        case '\\':
            out += "\\\\\\\\";
            break;
        case '%':
            out += "%%";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// Makes the entry the default handler with the desktop's own tool, when it
// is installed; it runs on its own and is not waited for.
void set_default_handler()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty() || !QCoreApplication::instance())
        return;
    auto* run = new QProcess(QCoreApplication::instance());
    run->setProgram(tool);
    run->setArguments({QStringLiteral("default"), QString::fromUtf8(kIrcLinkDesktopFile),
                       QStringLiteral("x-scheme-handler/irc")});
    run->setStandardOutputFile(QProcess::nullDevice());
    run->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(run, &QProcess::finished, run, &QObject::deleteLater);
    QObject::connect(run, &QProcess::errorOccurred, run, &QObject::deleteLater);
    run->start();
}

// A regular file's whole text, for files of up to 1 MB; empty otherwise.
std::string read_small(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return {};
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > (1u << 20))
        return {};
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string shell_applications_dir()
{
    std::string base;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        base = std::string(home) + "/.local/share";
    }
    if (base.back() != '/')
        base += '/';
    return base + "applications/";
}

std::string shell_irc_desktop_entry(const std::string& program)
{
    const std::string arg = exec_argument(program);
    if (program.empty() || arg.empty())
        return {};
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kest\n"
           "Comment=IRC links\n"
           "Exec=" + arg + " %u\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "MimeType=x-scheme-handler/irc;\n";
}

std::string shell_mimeapps_without_own(const std::string& text)
{
    const std::string own = kIrcLinkDesktopFile;
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool last = end == std::string::npos;
        if (last)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::string key = "x-scheme-handler/irc=";
        std::string body = line;
        if (!body.empty() && body.back() == '\r')
            body.pop_back();
        if (body.compare(0, key.size(), key) == 0) {
            // Only the program's own entry leaves the list.
            std::string kept;
            bool dropped = false;
            std::size_t at = key.size();
            while (at <= body.size()) {
                std::size_t semi = body.find(';', at);
                if (semi == std::string::npos)
                    semi = body.size();
                const std::string item = body.substr(at, semi - at);
                if (item == own)
                    dropped = true;
                else if (!item.empty())
                    kept += item + ";";
                at = semi + 1;
            }
            if (dropped) {
                if (!kept.empty())
                    out += key + kept + "\n";
                continue;
            }
        }
        out += line;
        if (!last)
            out += '\n';
    }
    return out;
}

std::string shell_mimeapps_path()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/mimeapps.list";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + "/.config/mimeapps.list";
}

void shell_unregister_links()
{
    const std::string dir = shell_applications_dir();
    if (dir.empty())
        return;
    const std::string entry = dir + kIrcLinkDesktopFile;
    if (file_exists(entry, 1))
        file_delete_via_temp(entry);
    // The program's own choice as default or added handler goes with it;
    // other programs' handlers stay as they are.
    for (const std::string& list : {shell_mimeapps_path(), dir + "mimeapps.list"}) {
        std::error_code ec;
        if (list.empty() || !std::filesystem::is_regular_file(list, ec))
            continue;
        const auto size = std::filesystem::file_size(list, ec);
        if (ec || size > (1u << 20))
            continue;
        std::ifstream in(list, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string changed = shell_mimeapps_without_own(text);
        if (changed != text)
            file_safe_save(list, changed, 0);
    }
}

int shell_mimeapps_own_default(const std::string& text)
{
    const std::string key = "x-scheme-handler/irc=";
    const std::string own = std::string(kIrcLinkDesktopFile);
    bool in_defaults = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            in_defaults = line == "[Default Applications]";
            continue;
        }
        if (!in_defaults || line.compare(0, key.size(), key) != 0)
            continue;
        const std::size_t first_end = line.find(';', key.size());
        return line.substr(key.size(), first_end == std::string::npos ? std::string::npos
                                                                      : first_end - key.size()) == own
                   ? 1
                   : 0;
    }
    return 0;
}

int shell_register_irc_protocol()
{
    // The program's own path as the system gives it (a backslash in it is
    // a plain character, not a folder separator).
    const std::string program = file_program_path();
    std::error_code ec;
    if (program.empty() || !std::filesystem::is_regular_file(program, ec)) {
        shell_unregister_links();
        return 1;
    }
    const std::string text = shell_irc_desktop_entry(program);
    const std::string dir = shell_applications_dir();
    const std::string entry = dir + kIrcLinkDesktopFile;
    if (!text.empty() && !dir.empty() && read_small(entry) == text) {
        // In place already: the handler is set again only when another
        // program took it meanwhile.
        if (!shell_mimeapps_own_default(read_small(shell_mimeapps_path())))
            set_default_handler();
        return 0;
    }
    shell_unregister_links();
    if (text.empty() || dir.empty() || (!std::filesystem::create_directories(dir, ec) && ec))
        return 1;
    if (!file_safe_save(entry, text, 0))
        return 1;
    set_default_handler();
    return 0;
}

void irc_link_association_check()
{
    if (opt(OPT_CHAT_LINKS))
        shell_register_irc_protocol();
}
