#include "media/sound_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMetaObject>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "app/frame_proc.h"
#include <unistd.h>
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "model/connection.h"
#include "script/exec/script_types.h"

namespace {

std::list<SoundPlayEntry> g_pending;
int g_start_position = 0;

// One playback device: what the program knows as the "kestwave",
// "kestmidi" and "kestsong" aliases.
struct Device {
    QMediaPlayer* player = nullptr;
    QAudioOutput* output = nullptr;
    bool open = false;
    int generation = 0;      // bumped by every close: a late end of a closed sound is ignored
    long seek_on_load = 0;   // a start position to apply once the media is loaded
    double volume = 1.0;
};
Device g_devices[3];

int device_index(int playing_code)
{
    return playing_code >= kPlayingWave && playing_code <= kPlayingSong ? playing_code - kPlayingWave : -1;
}

void device_close(int playing_code)
{
    const int i = device_index(playing_code);
    if (i < 0)
        return;
    Device& d = g_devices[i];
    ++d.generation;
    d.open = false;
    d.seek_on_load = 0;
    if (d.player) {
        d.player->stop();
        d.player->setSource(QUrl());
    }
}

void remove_code(int code)
{
    g_pending.remove_if([code](const SoundPlayEntry& e) { return e.code == code; });
}

// The end of a device's sound: the frame's end-of-playback steps run after
// the player's own signal has returned.
void device_ended(int playing_code, int generation)
{
    const int i = device_index(playing_code);
    QMetaObject::invokeMethod(
        g_devices[i].player,
        [playing_code, generation, i] {
            if (!g_devices[i].open || g_devices[i].generation != generation)
                return;
            frame_media_notify(1, playing_code);
        },
        Qt::QueuedConnection);
}

// A sound the decoder could not play after all: its device closes and the
// queue goes on, without an end event.
void device_failed(int playing_code, int generation)
{
    const int i = device_index(playing_code);
    QMetaObject::invokeMethod(
        g_devices[i].player,
        [playing_code, generation, i] {
            if (!g_devices[i].open || g_devices[i].generation != generation)
                return;
            device_close(playing_code);
            remove_code(playing_code);
            if (!g_pending.empty() && g_pending.front().code <= 5)
                sound_play_file(g_pending.front().path, 3, g_pending.front().conn);
        },
        Qt::QueuedConnection);
}

Device& device(int playing_code)
{
    Device& d = g_devices[device_index(playing_code)];
    if (!d.player) {
        d.player = new QMediaPlayer();
        d.output = new QAudioOutput(d.player);
        d.output->setVolume(static_cast<float>(d.volume));
        d.player->setAudioOutput(d.output);
        QObject::connect(d.player, &QMediaPlayer::mediaStatusChanged, [playing_code](QMediaPlayer::MediaStatus s) {
            Device& dv = g_devices[device_index(playing_code)];
            if (!dv.open)
                return;
            if (s == QMediaPlayer::LoadedMedia && dv.seek_on_load > 0) {
                dv.player->setPosition(dv.seek_on_load);
                dv.seek_on_load = 0;
            } else if (s == QMediaPlayer::EndOfMedia) {
                device_ended(playing_code, dv.generation);
            } else if (s == QMediaPlayer::InvalidMedia) {
                device_failed(playing_code, dv.generation);
            }
        });
        QObject::connect(d.player, &QMediaPlayer::errorOccurred, [playing_code](QMediaPlayer::Error e, const QString&) {
            Device& dv = g_devices[device_index(playing_code)];
            if (dv.open && e != QMediaPlayer::NoError)
                device_failed(playing_code, dv.generation);
        });
    }
    return d;
}

// Opens and plays a file on its device; false when it cannot play.
bool device_open_play(int playing_code, const std::string& path, long from)
{
    if (!sound_output_available())
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || ::access(path.c_str(), R_OK) != 0)
        return false;
    Device& d = device(playing_code);
    ++d.generation;
    d.open = true;
    d.seek_on_load = from > 0 ? from : 0;
    d.player->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (d.player->error() != QMediaPlayer::NoError) {
        device_close(playing_code);
        return false;
    }
    if (from > 0)
        d.player->setPosition(from);
    d.player->play();
    return true;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool exists_file(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The first file of that name in the folder or below it.
std::string search_tree(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return std::string();
    std::filesystem::recursive_directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it.depth() > 64) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->path().filename() == name && it->is_regular_file(ec))
            return it->path().string();
    }
    return std::string();
}

// A play of one kind: the codes and the device of the kind.
struct KindCodes {
    int queued;
    int playing;
};

KindCodes codes_of(int kind)
{
    if (kind == kSoundWave)
        return {kPendingWave, kPlayingWave};
    if (kind == kSoundMidi)
        return {kPendingMidi, kPlayingMidi};
    return {kPendingSong, kPlayingSong};
}

}  // namespace

const std::string& sound_folder_of_kind(int kind)
{
    switch (kind) {
    case kSoundMidi:
        return main_settings.midis_dir;
    case kSoundMp3:
        return main_settings.mp3s_dir;
    case kSoundWma:
        return main_settings.wmas_dir;
    case kSoundOgg:
        return main_settings.oggs_dir;
    default:
        return main_settings.waves_dir;
    }
}

Connection* sound_end_close(int code, std::string& file)
{
    std::string path;
    sound_pending_find(code, &path);
    file = path;
    device_close(code);
    return sound_pending_take(code);
}

void sound_end_step(int code)
{
    sound_queue_advance(code);
}

std::list<SoundPlayEntry>& sound_pending()
{
    return g_pending;
}

bool sound_output_available()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

int sound_file_kind(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return kSoundNone;
    const std::string ext = lower(name.substr(dot));
    if (ext == ".wav")
        return kSoundWave;
    if (ext == ".mid")
        return kSoundMidi;
    if (ext == ".mp3")
        return kSoundMp3;
    if (ext == ".wma")
        return kSoundWma;
    if (ext == ".ogg")
        return kSoundOgg;
    return kSoundNone;
}

void sound_set_start_position(int ms)
{
    g_start_position = ms;
}

int sound_play_file(const std::string& path, int type, Connection* conn)
{
    if (!opt(OPT_SOUNDS_ENABLED)) {
        if (type != -1)
            return 1;
    }
    if (type == -1)
        type = 0;
    const int from = g_start_position;
    g_start_position = 0;
    if (path.empty())
        return 0;
    const int kind = sound_file_kind(path);
    if (kind == kSoundNone)
        return 0;
    const KindCodes c = codes_of(kind);
    if (type == 2 && !g_pending.empty()) {
        g_pending.push_back({path, c.queued, false, conn});
        return 1;
    }
    if (g_devices[device_index(c.playing)].open) {
        if (type == 1)
            return 1;
        if (type == 2) {
            g_pending.push_back({path, c.queued, false, conn});
            return 1;
        }
        remove_code(c.playing);
        device_close(c.playing);
    }
    if (type == 3 && !g_pending.empty()) {
        g_pending.front().code = c.playing;
    } else {
        g_pending.push_back({path, c.playing, false, conn});
    }
    if (device_open_play(c.playing, path, kind >= kSoundMp3 ? from : 0))
        return 1;
    remove_code(c.playing);
    return 0;
}

int sound_resolve_file(const std::string& name_in, std::string& path, int mode, std::string* base_out,
                       std::string* ext_out, Connection*)
{
    path.clear();
    if (base_out)
        base_out->clear();
    if (ext_out)
        ext_out->clear();
    if (name_in.empty() || file_is_device(name_in))
        return 0;
    std::string name = name_in;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::size_t dot = file.rfind('.');
    std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
    if (base_out)
        *base_out = base;
    if (ext_out)
        *ext_out = ext;
    if (name.find_first_of("*?") != std::string::npos)
        return 0;
    if (!base.empty() && ext.empty())
        ext = ".wav";
    if (base.empty() && ext.empty())
        return 0;
    const int kind = sound_file_kind(ext);
    if (kind == kSoundNone)
        return 0;
    // A request names a file in the sound folders, never a path.
    if (mode == 2 && (!folder.empty() || base == ".." || base == "."))
        return 0;
    if (ext_out)
        *ext_out = ext;
    const std::string leaf = base + ext;
    if (mode == 1 && !folder.empty() && folder[0] == '/') {
        if (exists_file(folder + leaf)) {
            path = folder + leaf;
            return 1;
        }
        return 0;
    }
    const std::string& kind_folder = sound_folder_of_kind(kind);
    std::string where = mode == 1 ? join(kind_folder, folder + leaf) : join(kind_folder, leaf);
    if (!kind_folder.empty() && exists_file(where)) {
        path = where;
        return 1;
    }
    if (folder.empty()) {
        where = search_tree(kind_folder, leaf);
        if (!where.empty()) {
            path = where;
            return 1;
        }
    }
    where = join(settings_dir, mode == 1 ? folder + leaf : leaf);
    if (exists_file(where)) {
        path = where;
        return 1;
    }
    return 0;
}

void sound_stop(int kinds, int mode)
{
    bool close[3] = {false, false, false};
    bool again = true;
    while (again) {
        again = false;
        for (auto it = g_pending.begin(); it != g_pending.end(); ++it) {
            const int code = it->code;
            bool match;
            if (code == kPendingWave || code == kPlayingWave)
                match = kinds == 0 || (kinds & 1);
            else if (code == kPendingMidi || code == kPlayingMidi)
                match = kinds == 0 || (kinds & 2);
            else if (code == kPendingSong || code == kPlayingSong)
                match = kinds == 0 || (kinds & 4);
            else
                match = true;
            if (!match)
                continue;
            if (code >= kPlayingWave && code <= kPlayingSong)
                close[code - kPlayingWave] = true;
            g_pending.erase(it);
            again = mode == 1;
            break;
        }
        if (mode == 2)
            break;
    }
    for (int i = 0; i < 3; ++i)
        if (close[i])
            device_close(kPlayingWave + i);
    if (!g_pending.empty() && g_pending.front().code <= 5)
        sound_play_file(g_pending.front().path, 3, g_pending.front().conn);
}

Connection* sound_pending_take(int code)
{
    Connection* last = nullptr;
    bool any = false;
    for (auto it = g_pending.begin(); it != g_pending.end();) {
        if (it->code == code) {
            last = it->conn;
            any = true;
            it = g_pending.erase(it);
        } else {
            ++it;
        }
    }
    return any && conn_is_live(last) ? last : conn_current();
}

bool sound_pending_find(int code, std::string* path)
{
    for (const SoundPlayEntry& e : g_pending)
        if (e.code == code) {
            if (path)
                *path = e.path;
            return true;
        }
    return false;
}

void sound_queue_advance(int code)
{
    if (sound_pending_find(code))
        return;
    if (!g_pending.empty() && g_pending.front().code <= 5)
        sound_play_file(g_pending.front().path, 3, g_pending.front().conn);
}

bool sound_device_open(int playing_code)
{
    const int i = device_index(playing_code);
    return i >= 0 && g_devices[i].open;
}

long sound_device_position(int playing_code)
{
    const int i = device_index(playing_code);
    if (i < 0 || !g_devices[i].open || !g_devices[i].player)
        return 0;
    return static_cast<long>(g_devices[i].player->position());
}

long sound_device_length(int playing_code)
{
    const int i = device_index(playing_code);
    if (i < 0 || !g_devices[i].open || !g_devices[i].player)
        return 0;
    return static_cast<long>(g_devices[i].player->duration());
}

bool sound_device_paused(int playing_code)
{
    for (const SoundPlayEntry& e : g_pending)
        if (e.code == playing_code)
            return e.paused;
    return false;
}

void sound_device_set_volume(int playing_code, double volume)
{
    const int i = device_index(playing_code);
    if (i < 0)
        return;
    g_devices[i].volume = std::clamp(volume, 0.0, 1.0);
    if (g_devices[i].output)
        g_devices[i].output->setVolume(static_cast<float>(g_devices[i].volume));
}

// /splay [-cqwmp] [file [position]] | stop | skip | pause | resume | seek position
int cmd_splay(CommandCall& call)
{
    std::vector<std::string> words(call.tokens.begin() + (call.tokens.empty() ? 0 : 1), call.tokens.end());
    std::string flags;
    if (!words.empty() && words[0].size() > 0 && words[0][0] == '-') {
        flags = lower(words[0].substr(1));
        words.erase(words.begin());
    }
    const bool queue = flags.find('q') != std::string::npos;
    int kinds = 0;
    if (flags.find('w') != std::string::npos)
        kinds |= 1;
    if (flags.find('m') != std::string::npos)
        kinds |= 2;
    if (flags.find('p') != std::string::npos)
        kinds |= 4;
    if (flags.find('c') != std::string::npos) {
        g_pending.remove_if([kinds](const SoundPlayEntry& e) {
            if (e.code < kPendingWave || e.code > kPendingSong)
                return false;
            return kinds == 0 || (kinds & (1 << (e.code - 1)));
        });
        if (words.empty())
            return kScriptDone;
    }
    g_start_position = 0;
    int position = 0;
    bool have_position = false;
    if (!words.empty()) {
        const std::string& last = words.back();
        std::size_t k = (last[0] == '-' || last[0] == '+') ? 1 : 0;
        if (k < last.size() && last.size() - k <= 9 &&
            std::all_of(last.begin() + static_cast<long>(k), last.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
            position = std::max(0, std::atoi(last.c_str()));
            have_position = true;
            words.pop_back();
        }
    }
    if (words.empty())
        return script_error(nullptr, "splay", {}, 3);
    const std::string word = lower(words[0]);
    if (words.size() == 1 && (word == "stop" || word == "skip")) {
        sound_stop(kinds, word == "stop" ? 1 : 2);
        return kScriptDone;
    }
    if (words.size() == 1 && (word == "pause" || word == "resume" || word == "seek")) {
        auto song = std::find_if(g_pending.begin(), g_pending.end(),
                                 [](const SoundPlayEntry& e) { return e.code == kPlayingSong; });
        Device& d = g_devices[device_index(kPlayingSong)];
        if (song != g_pending.end() && d.open && d.player) {
            if (word == "pause") {
                d.player->pause();
                song->paused = true;
            } else if (word == "resume") {
                d.player->play();
                song->paused = false;
            } else {
                d.player->setPosition(have_position ? position : 0);
                if (!song->paused)
                    d.player->play();
            }
            return kScriptDone;
        }
    }
    // The file name: the rest of the words, or the quoted value.
    std::string name;
    for (const std::string& w : words)
        name += (name.empty() ? "" : " ") + w;
    if (!name.empty() && name[0] == '"') {
        const std::size_t close = name.find('"', 1);
        if (close == std::string::npos || close == 1 || close - 1 > 1024)
            return script_error(nullptr, "splay", {}, 3);
        name = name.substr(1, close - 1);
    }
    if (name.size() > 1024)
        return script_error(nullptr, "splay", {}, 3);
    std::string path;
    if (!sound_resolve_file(name, path, 1, nullptr, nullptr, call.conn)) {
        if (!file_resolve_file_path(name, path))
            return script_error(nullptr, "splay", {}, 3);
        if (!exists_file(path))
            return script_error(nullptr, "splay", name, 1);
    }
    g_start_position = have_position ? position : 0;
    if (!sound_play_file(path, queue ? 2 : 0, call.conn)) {
        script_error(nullptr, text_fill_id(942, {name}), {}, 6);
        return kScriptFailed;
    }
    return kScriptDone;
}

void sound_player_install()
{
    script_register_command_family("cmd_splay", cmd_splay);
}

void sound_player_uninstall()
{
    for (int code = kPlayingWave; code <= kPlayingSong; ++code)
        device_close(code);
    g_pending.clear();
    g_start_position = 0;
}
