#include "media/event_speech.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cctype>
#include <cstdio>

#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/lists/notify_entries.h"
#include "irc/lists/notify_list.h"
#include "media/agent_settings.h"
#include "model/connection.h"
#include "model/tip_events.h"
#include "model/window_record.h"

namespace {

std::deque<std::string> g_waiting;
QProcess* g_speaker = nullptr;
std::string g_last_channel;  // the window of the last spoken channel text
int g_event_listener = 0;
int g_wanted_listener = 0;

// Which switch of the [agent] lists lets a kind speak.
struct KindSwitch {
    int kind;
    int list;  // 0 channel, 1 private, 2 other
    int index;
    int option;  // the announcement's tip option it arrives under (0 any)
};
extern const KindSwitch kKindSwitches[];
extern const std::size_t kKindSwitchCount;

bool is_word_char(unsigned char c)
{
    return std::isalnum(c) || c >= 0x80;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool starts_tag(const std::string& s, std::size_t at, const char* tag)
{
    const std::size_t n = std::char_traits<char>::length(tag);
    if (s.size() - at < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != tag[i])
            return false;
    return true;
}

// The length of a speech tag at `at`, 0 when there is none.
std::size_t tag_length(const std::string& s, std::size_t at)
{
    for (const char* t : {"\\spd=", "\\pit=", "\\vol=", "\\pau="}) {
        if (!starts_tag(s, at, t))
            continue;
        std::size_t i = at + 5;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i;
        if (i > at + 5 && i < s.size() && s[i] == '\\')
            return i + 1 - at;
        return 0;
    }
    for (const char* t : {"\\chr=", "\\ctx="}) {
        if (!starts_tag(s, at, t))
            continue;
        for (const char* w : {"\"normal\"", "\"monotone\"", "\"whisper\"", "\"address\"", "\"email\"", "\"unknown\""}) {
            const std::size_t n = std::char_traits<char>::length(w);
            if (starts_tag(s, at + 5, w) && at + 5 + n < s.size() && s[at + 5 + n] == '\\')
                return 5 + n + 1;
        }
        return 0;
    }
    for (const char* t : {"\\emp\\", "\\rst\\"})
        if (starts_tag(s, at, t))
            return 5;
    return 0;
}

bool speak_switch(int kind, int option)
{
    for (std::size_t i = 0; i < kKindSwitchCount; ++i) {
        const KindSwitch& k = kKindSwitches[i];
        if (k.kind != kind || (k.option && k.option != option))
            continue;
        const int* list = k.list == 0 ? agent_settings.channel : k.list == 1 ? agent_settings.priv : agent_settings.other;
        return list[k.index] != 0;
    }
    return false;
}

std::string nick_said(const std::string& nick)
{
    return agent_settings.speech[kSpeechLowerNicks] ? lower(nick) : nick;
}

std::string channel_said(const std::string& chan, bool without_prefix)
{
    std::string c = without_prefix && !chan.empty() ? chan.substr(1) : chan;
    return agent_settings.speech[kSpeechLowerChannels] ? lower(c) : c;
}

// The sentence of an event, before the text preparation; "" none.
std::string compose(int kind, const TipEventText& ev, WindowRecord* window)
{
    const std::string nick = nick_said(ev.nick);
    switch (kind) {
    case 1:
    case 2:
    case 45: {
        const std::string where = window ? window->name : ev.target;
        const bool same = where == g_last_channel;
        g_last_channel = where;
        const std::string chan = channel_said(ev.target, true);
        if (kind == 1)
            return text_fill_id(321, {nick, chan}) + ev.text;
        if (agent_settings.speech[kSpeechChannelOnce] && same)
            return text_fill_id(324, {nick}) + ev.text;
        return (kind == 2 ? text_fill_id(323, {nick}) : text_fill_id(322, {nick, chan})) + ev.text;
    }
    case 3:
        return text_fill_id(323, {nick}) + ev.text;
    case 4:
    case 46:
        return text_fill_id(324, {nick}) + ev.text;
    case 5:
        return text_fill_id(325, {nick, channel_said(ev.target, true)}) + ev.text;
    case 6:
        return text_fill_id(326, {nick}) + ev.text;
    case 7:
        return text_fill_id(327, {nick}) + ev.text;
    case 8:
        return ev.target.empty() ? text_fill_id(329, {nick}) + lower(ev.text)
                                 : text_fill_id(328, {nick, channel_said(ev.target, true)}) + lower(ev.text);
    case 9:
    case 10:
        return text_fill_id(kind == 9 ? 330 : 331, {channel_said(ev.target, true)});
    case 11:
        return text_fill_id(332, {nick, channel_said(ev.target, true)});
    case 12:
        return text_fill_id(333, {channel_said(ev.target, true)});
    case 13:
        return text_fill_id(334, {nick, channel_said(ev.target, true)});
    case 14:
        return text_fill_id(335, {channel_said(ev.target, true), nick});
    case 15:
        return text_fill_id(336, {nick_said(ev.text), channel_said(ev.target, true), nick});
    case 17:
        return ev.alt ? text_fill_id(337, {nick_said(ev.target)}) : text_fill_id(338, {nick, nick_said(ev.target)});
    case 18:
        return text_fill_id(339, {nick, channel_said(ev.target, true)});
    case 19:
        return text_fill_id(ev.alt ? 340 : 341, {ev.target});
    case 20:
        return text_fill_id(ev.alt ? 342 : 343, {ev.target});
    case 21:
        return text_fill_id(ev.alt ? 344 : 345, {nick});
    case 34:
        return text_fill_id(357, {nick, channel_said(ev.target, true), ev.text});
    case 35:
        return text_fill_id(358, {ev.text});
    case 39:
        return text_fill_id(365, {nick, ev.text});
    case 40:
    case 41:
        return ev.text.empty() ? text_fill_id(368, {nick, channel_said(ev.target, true)})
                               : text_fill_id(kind == 40 ? 366 : 367, {nick, channel_said(ev.target, true), ev.text});
    case 44:
        return ev.alt ? text_fill_id(371, {}) : text_fill_id(372, {ev.text});
    default:
        return std::string();
    }
}

// Whether the text is mostly symbols (the share of characters that are
// neither blank, letter nor digit reaches the configured percent).
bool mostly_symbols(const std::string& text)
{
    if (text.empty())
        return false;
    std::size_t symbols = 0;
    for (unsigned char c : text)
        if (c != ' ' && !is_word_char(c))
            ++symbols;
    return symbols * 100 >= static_cast<std::size_t>(agent_settings.speech[kSpeechSymbolShare]) * text.size();
}

void speak_next();

void speaker_finished()
{
    if (!g_waiting.empty())
        g_waiting.pop_front();
    speak_next();
}

void speak_next()
{
    if (g_waiting.empty() || (g_speaker && g_speaker->state() != QProcess::NotRunning))
        return;
    const std::string program = speech_program();
    if (program.empty()) {
        g_waiting.clear();
        return;
    }
    if (!g_speaker) {
        g_speaker = new QProcess();
        g_speaker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        g_speaker->setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(g_speaker, &QProcess::finished, [] { speaker_finished(); });
        QObject::connect(g_speaker, &QProcess::errorOccurred, [](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                speaker_finished();
        });
    }
    QStringList args;
    for (const std::string& a : speech_arguments(g_waiting.front(), std::string()))
        args << QString::fromStdString(a);
    g_speaker->start(QString::fromStdString(program), args);
}

// Puts the speed, pitch and volume prefix in front and queues the text.
void queue_text(int speed, const std::string& prepared)
{
    const int* sp = agent_settings.speech;
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\spd=%03d\\\\pit=%d\\\\vol=%d\\", speed, sp[kSpeechPitch],
                  static_cast<int>(sp[kSpeechVolume] / 100.0 * 65535));
    g_waiting.push_back((prefix + prepared).substr(0, kLongText));
    speak_next();
}

// The espeak-ng voice of a language id.
const char* voice_of(int lang);

}  // namespace

std::string agent_apply_lexicon(const std::string& text, bool whole_words, const Lexicon* lexicon)
{
    std::string s = text;
    for (const auto& [word, said] : lexicon ? *lexicon : agent_settings.lexicon) {
        if (word.empty())
            continue;
        const std::string low_word = lower(word);
        std::size_t at = 0;
        while (at < s.size()) {
            const std::size_t found = lower(s).find(low_word, at);
            if (found == std::string::npos)
                break;
            const std::size_t end = found + word.size();
            const bool touches = (found > 0 && std::isalpha(static_cast<unsigned char>(s[found - 1]))) ||
                                 (end < s.size() && std::isalpha(static_cast<unsigned char>(s[end])));
            if (whole_words && touches) {
                at = found + 1;
                continue;
            }
            if (s.size() - word.size() + said.size() > kLongText)
                break;
            s.replace(found, word.size(), said);
            at = found + said.size();
        }
    }
    return s;
}

std::string agent_prepare_text(const std::string& text, bool whole_words, bool lower_case, const Lexicon* lexicon)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            if (const std::size_t n = tag_length(text, i)) {
                i += n;
                continue;
            }
        }
        if (c == '^' || c == '_' || c == '`' || c == '|') {
            out += ' ';
        } else if (c == 0x03) {
            // colour code with up to two digits, a comma and two more
            std::size_t j = i + 1, d = 0;
            while (d < 2 && j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++d;
            if (d && j + 1 < text.size() && text[j] == ',' && std::isdigit(static_cast<unsigned char>(text[j + 1]))) {
                ++j;
                d = 0;
                while (d < 2 && j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++d;
            }
            i = j;
            continue;
        } else if (c != 0x02 && c != 0x1f && c != 0x16 && c != 0x0f) {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out = agent_apply_lexicon(out, whole_words, lexicon);
    return lower_case ? lower(out) : out;
}

std::string agent_clean_text(const std::string& text)
{
    std::string out;
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return out;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '.') {
            std::size_t run = 0;
            while (i < text.size() && text[i] == '.') ++i, ++run;
            out.append(run < 3 ? run : 3, '.');
            continue;
        }
        out += static_cast<char>(c);
        ++i;
        if (c != ' ' && !is_word_char(c))
            while (i < text.size() && (text[i] == '!' || text[i] == '?' || text[i] == '.' || text[i] == ','))
                ++i;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

int agent_speak_event(int kind, const TipEventText& ev, Connection* conn, WindowRecord* window)
{
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!conn_is_live(conn))
        return 0;
    if (speech_program().empty()) {
        // Nothing can speak: speech goes off, as when no voice can be loaded.
        agent_settings.enable = 0;
        return 0;
    }
    const int* sp = agent_settings.speech;
    const int waiting = static_cast<int>(g_waiting.size());
    if (waiting >= sp[kSpeechMostLines])
        return 0;
    const int speed = waiting >= sp[kSpeechFastLines] ? sp[kSpeechFastSpeed] : sp[kSpeechSpeed];
    if (kind < 1 || kind > 46)
        return 0;
    const std::string sentence = compose(kind, ev, window);
    if (sentence.empty())
        return 0;
    const std::string prepared = agent_clean_text(
        agent_prepare_text(sentence, agent_settings.other[7] != 0, sp[kSpeechLowerMessages] != 0));
    if (prepared.empty() || (sp[kSpeechDropSymbols] && mostly_symbols(prepared)))
        return 0;
    queue_text(speed, prepared);
    return 1;
}

int agent_speak_text(const std::string& text, bool whole_words, const Lexicon& lexicon)
{
    if (speech_program().empty())
        return 0;
    const std::string prepared = agent_clean_text(
        agent_prepare_text(text, whole_words, agent_settings.speech[kSpeechLowerMessages] != 0, &lexicon));
    if (prepared.empty())
        return 0;
    queue_text(agent_settings.speech[kSpeechSpeed], prepared);
    return 1;
}

const std::deque<std::string>& speech_waiting()
{
    return g_waiting;
}

void speech_stop()
{
    g_waiting.clear();
    if (g_speaker) {
        g_speaker->disconnect();
        g_speaker->kill();
        g_speaker->waitForFinished(1000);
        delete g_speaker;
        g_speaker = nullptr;
    }
    g_last_channel.clear();
}

std::vector<std::string> speech_arguments(const std::string& prefixed, const std::string& wave)
{
    int speed = 150, pitch = 60, volume = 65535;
    std::string text = prefixed;
    if (std::sscanf(prefixed.c_str(), "\\spd=%d\\\\pit=%d\\\\vol=%d\\", &speed, &pitch, &volume) == 3) {
        const std::size_t end = prefixed.find('\\', prefixed.find("vol="));
        text = end == std::string::npos ? std::string() : prefixed.substr(end + 1);
    }
    // The synthesizer's ranges: 80..450 words a minute, pitch 0..99,
    // amplitude 0..200 (100 the normal loudness).
    speed = speed < 80 ? 80 : speed > 450 ? 450 : speed;
    pitch = pitch < 0 ? 0 : pitch > 99 ? 99 : pitch;
    const int amplitude = static_cast<int>(volume * 100L / 65535);
    std::vector<std::string> args = {"-v", voice_of(agent_settings.lang), "-s", std::to_string(speed),
                                     "-p", std::to_string(pitch), "-a", std::to_string(amplitude)};
    if (!wave.empty()) {
        args.push_back("-w");
        args.push_back(wave);
    }
    args.push_back("--");
    args.push_back(text);
    return args;
}

std::string speech_program()
{
    return QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).toStdString();
}

int speech_to_file(const std::string& prefixed, const std::string& wave, int ms)
{
    const std::string program = speech_program();
    if (program.empty())
        return 0;
    QProcess p;
    QStringList args;
    for (const std::string& a : speech_arguments(prefixed, wave))
        args << QString::fromStdString(a);
    p.start(QString::fromStdString(program), args);
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(1000);
        return 0;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? 1 : 0;
}

void agent_notify_event(int kind, const NotifyEntry* entry, Connection* conn)
{
    if (!conn_is_live(conn) || !event_announce_wanted(TIPOPT_NOTIFY))
        return;
    TipEventText ev;
    if (kind == 21) {
        if (!entry)
            return;
        ev.nick = entry->seen_nick.empty() ? notify_entries::nick_part(entry->nick) : entry->seen_nick;
        ev.alt = entry->online ? 1 : 0;
    } else {
        for (const NotifyEntry* e = notify_head(conn); e; e = e->next)
            if (e->online)
                ev.text += (ev.text.empty() ? "" : ", ") + (e->seen_nick.empty() ? notify_entries::nick_part(e->nick) : e->seen_nick);
        ev.alt = ev.text.empty() ? 1 : 0;
    }
    tip_event.fire(TIPOPT_NOTIFY, ev, kind, conn, nullptr);
}

void event_speech_install()
{
    tip_event.add_once(g_event_listener, kTipEventSpeech,
                       [](int option, const TipEventText& ev, int kind, Connection* conn, WindowRecord* window) {
                           if (!speak_switch(kind, option))
                               return;
                           if (!agent_speak_enabled(win_is_record(window) ? window : nullptr))
                               return;
                           agent_speak_event(kind, ev, conn, window);
                       });
    event_notice_wanted.add_once(g_wanted_listener, kNoticeWantedSpeech, [](int) {
        if (agent_settings.enable)
            return true;
        for (WindowRecord* w = win_list; w; w = w->next)
            if (w->speech == 1)
                return true;
        return false;
    });
}

void event_speech_uninstall()
{
    tip_event.drop(g_event_listener);
    event_notice_wanted.drop(g_wanted_listener);
    speech_stop();
}

namespace {

const KindSwitch kKindSwitches[] = {
    {1, 0, 0, 0}, {2, 0, 0, 0}, {45, 0, 0, 0},
    {3, 1, 0, 0}, {4, 1, 0, 0}, {46, 1, 0, 0},
    {5, 0, 1, 0}, {6, 1, 1, 0}, {7, 2, 1, 0},
    {8, 0, 2, TIPOPT_CHAN_CTCP}, {8, 1, 2, 0},
    {9, 0, 3, 0}, {10, 0, 3, 0}, {11, 0, 3, 0}, {12, 0, 3, 0}, {13, 0, 3, 0},
    {14, 0, 4, 0}, {15, 0, 4, 0},
    {17, 1, 3, TIPOPT_PRIV_NICK}, {17, 0, 7, 0},
    {18, 2, 5, 0},
    {19, 2, 0, 0}, {20, 2, 0, 0},
    {21, 2, 2, 0}, {44, 2, 2, 0},
    {34, 0, 5, 0}, {35, 0, 5, 0},
    {39, 0, 8, 0},
    {40, 0, 6, 0}, {41, 0, 6, 0},
};
const std::size_t kKindSwitchCount = sizeof(kKindSwitches) / sizeof(kKindSwitches[0]);

struct LangVoice {
    int lang;
    const char* voice;
};
const LangVoice kLangVoices[] = {
    {1025, "ar"}, {1040, "it"}, {1069, "eu"}, {1041, "ja"}, {2052, "cmn"}, {1042, "ko"}, {1028, "yue"},
    {1044, "nb"}, {1050, "hr"}, {1045, "pl"}, {1029, "cs"}, {2070, "pt"}, {1030, "da"}, {1046, "pt-BR"},
    {1043, "nl"}, {1048, "ro"}, {2057, "en-GB"}, {1049, "ru"}, {1033, "en-US"}, {1051, "sk"}, {1035, "fi"},
    {1060, "sl"}, {1036, "fr"}, {3082, "es"}, {1031, "de"}, {1053, "sv"}, {1032, "el"}, {1054, "th"},
    {1037, "he"}, {1055, "tr"}, {1038, "hu"},
};

const char* voice_of(int lang)
{
    for (const LangVoice& v : kLangVoices)
        if (v.lang == lang)
            return v.voice;
    return "en-US";
}

}  // namespace
