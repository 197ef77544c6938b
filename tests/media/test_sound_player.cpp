// The player against a real sound server: a PulseAudio daemon with a null
// sink, started by this program in a runtime folder of its own, so waves,
// songs and MIDI files really play and their end events fire. Without any
// sound server the whole program is run once more and /splay must fail with
// its message.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>

#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "core/numbered_texts.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/close.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/printed_lines.h"
#include "model/tip_events.h"
#include "platform/platform_utils.h"
#include "support/test_wire.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "media/media_files.h"
#include "media/mixer.h"
#include "media/sound_events.h"
#include "media/sound_player.h"
#include "model/connection.h"
#include "platform/platform_test_env.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

using namespace media_test;

namespace {

// One sound server for the whole program, with its own runtime folder.
class PulseServer : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (std::getenv("KEST_MEDIA_NO_SERVER")) {
            // The run without a sound server: nothing answers at this socket.
            ::setenv("PULSE_SERVER", "unix:/nonexistent/kest-no-server", 1);
            return;
        }
        if (!dir_.isValid())
            return;
        const std::string rt = dir_.path().toStdString();
        socket_ = rt + "/native";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("XDG_RUNTIME_DIR", rt.c_str(), 1);
            ::setenv("PULSE_RUNTIME_PATH", (rt + "/pulse").c_str(), 1);
            ::setenv("HOME", rt.c_str(), 1);
            const std::string proto = "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1";
            std::freopen("/dev/null", "w", stderr);
            std::freopen("/dev/null", "w", stdout);
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                     "--use-pid-file=no", "-L", "module-null-sink sink_name=kestnull", "-L", proto.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !std::filesystem::exists(socket_); ++i)
            ::usleep(50 * 1000);
        ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    }
    void TearDown() override
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool up() const { return pid_ > 0 && std::filesystem::exists(socket_); }
    const std::string& socket() const { return socket_; }

private:
    QTemporaryDir dir_;
    std::string socket_;
    pid_t pid_ = -1;
};

PulseServer* g_pulse = static_cast<PulseServer*>(::testing::AddGlobalTestEnvironment(new PulseServer));

struct Noted {
    std::vector<std::string> events;
};
Noted g_noted;

class SoundPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_pulse->up()) << "pulseaudio did not start";
        test_app();
        app_install_subsystems();
        frame_proc_install();
        conn_ = conn_new(nullptr);
        ASSERT_TRUE(conn_);
        event_startup_hold = 0;
        remote_files_free_all();
        g_noted.events.clear();
        script_register_command("noted", [](CommandCall& call) {
            g_noted.events.emplace_back(call.rest());
            return 1;
        });
        const std::string script = settings_.path() + "sounds.kst";
        spit(script, "on *:WAVEEND:noted WAVEEND $nopath($filename)\non *:MIDIEND:noted MIDIEND $nopath($filename)\n"
                     "on *:SONGEND:noted SONGEND $nopath($filename)\non *:MP3END:noted MP3END\n");
        ASSERT_TRUE(remote_file_load(script, kRemoteScript, 9999, nullptr));
        opt_set(OPT_REMOTE_EVENTS, 1);
        opt_set(OPT_SOUNDS_ENABLED, 1);
        dir_ = settings_.path();
        write_file(dir_ + "short.wav", wave_bytes(22050, 300));
        write_file(dir_ + "other.wav", wave_bytes(22050, 200));
        ASSERT_FALSE(lame(settings_.path(), "song.mp3", dir_ + "short.wav", "-b 32").empty());
        saved_waves_ = main_settings.waves_dir;
        main_settings.waves_dir = dir_ + "waves";
        std::filesystem::create_directories(dir_ + "waves/deep");
        write_file(dir_ + "waves/deep/found.wav", wave_bytes(22050, 200));
    }
    void TearDown() override
    {
        sound_stop(0, 1);
        pump_for(20);
        sound_player_uninstall();
        main_settings.waves_dir = saved_waves_;
        remote_files_free_all();
        frame_proc_reset();
        if (conn_)
            conn_free(conn_);
    }
    int splay(const std::string& args)
    {
        return script_exec_line(nullptr, ("splay " + args).c_str(), nullptr, 1, nullptr, nullptr, conn_);
    }
    std::string ident(const std::string& text)
    {
        std::string out = text;
        ident_eval_text(nullptr, &out, nullptr, nullptr, 0, 0, -1, nullptr, conn_);
        return out;
    }
    bool wait_events(std::size_t n) { return pump_until([n] { return g_noted.events.size() >= n; }, 15000); }

    HookGuard hooks_;
    Connection* conn_ = nullptr;
    TempSettingsDir settings_{"kest_sounds_"};
    std::string dir_;
    std::string saved_waves_;
};

}  // namespace

TEST_F(SoundPlayer, EachKindPlaysToItsEndAndFiresItsEvents)
{
    struct Case {
        std::string file;
        int playing;
        std::vector<std::string> events;
    };
    write_file(dir_ + "note.mid", std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xe0MTrk\0\0\0\x0d", 22) +
                                      std::string("\0\x90\x3c\x64\x83\x60\x80\x3c\0\0\xff\x2f\0", 13));
    const Case cases[] = {
        {"short.wav", kPlayingWave, {"WAVEEND short.wav"}},
        {"song.mp3", kPlayingSong, {"SONGEND song.mp3", "MP3END"}},
        {"note.mid", kPlayingMidi, {"MIDIEND note.mid"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        g_noted.events.clear();
        ASSERT_EQ(splay("\"" + dir_ + c.file + "\""), kScriptDone);
        EXPECT_TRUE(sound_device_open(c.playing));
        std::string path;
        EXPECT_TRUE(sound_pending_find(c.playing, &path));
        EXPECT_EQ(path, dir_ + c.file);
        ASSERT_TRUE(wait_events(c.events.size()));
        EXPECT_EQ(g_noted.events, c.events);
        // Closed with its entry gone; nothing fires twice.
        EXPECT_FALSE(sound_device_open(c.playing));
        EXPECT_FALSE(sound_pending_find(c.playing));
        pump_for(200);
        EXPECT_EQ(g_noted.events.size(), c.events.size());
    }
}

TEST_F(SoundPlayer, QueueWaitsForTheSongAndPlayNowSupersedesWithoutAnEvent)
{
    ASSERT_EQ(splay("\"" + dir_ + "song.mp3\""), kScriptDone);
    ASSERT_EQ(splay("-q \"" + dir_ + "short.wav\""), kScriptDone);
    ASSERT_EQ(sound_pending().size(), 2u);
    EXPECT_EQ(sound_pending().back().code, kPendingWave);
    EXPECT_FALSE(sound_device_open(kPlayingWave));
    // The wave starts once the song ended, after its two events.
    ASSERT_TRUE(wait_events(3));
    EXPECT_EQ(g_noted.events, (std::vector<std::string>{"SONGEND song.mp3", "MP3END", "WAVEEND short.wav"}));

    // Play now on a busy device closes the first sound without its end event.
    g_noted.events.clear();
    ASSERT_EQ(splay("\"" + dir_ + "short.wav\""), kScriptDone);
    ASSERT_EQ(splay("\"" + dir_ + "other.wav\""), kScriptDone);
    ASSERT_TRUE(wait_events(1));
    pump_for(400);
    EXPECT_EQ(g_noted.events, (std::vector<std::string>{"WAVEEND other.wav"}));
    // Play type 1 on a busy device does nothing and reports success.
    ASSERT_EQ(sound_play_file(dir_ + "short.wav", 0, nullptr), 1);
    EXPECT_EQ(sound_play_file(dir_ + "other.wav", 1, nullptr), 1);
    std::string path;
    sound_pending_find(kPlayingWave, &path);
    EXPECT_EQ(path, dir_ + "short.wav");
}

TEST_F(SoundPlayer, SplayWordsAndSwitches)
{
    // Clear with nothing else empties the queue and leaves what plays.
    ASSERT_EQ(splay("\"" + dir_ + "song.mp3\""), kScriptDone);
    ASSERT_EQ(splay("-q \"" + dir_ + "short.wav\""), kScriptDone);
    ASSERT_EQ(splay("-q \"" + dir_ + "other.wav\""), kScriptDone);
    ASSERT_EQ(splay("-c"), kScriptDone);
    ASSERT_EQ(sound_pending().size(), 1u);
    EXPECT_EQ(sound_pending().front().code, kPlayingSong);
    // Pause and resume set and clear the paused flag; seek while paused stays paused.
    ASSERT_EQ(splay("pause"), kScriptDone);
    EXPECT_TRUE(sound_device_paused(kPlayingSong));
    ASSERT_EQ(splay("seek 0"), kScriptDone);
    EXPECT_TRUE(sound_device_paused(kPlayingSong));
    ASSERT_EQ(splay("resume"), kScriptDone);
    EXPECT_FALSE(sound_device_paused(kPlayingSong));
    // Stop closes it without an end event.
    ASSERT_EQ(splay("stop"), kScriptDone);
    EXPECT_FALSE(sound_device_open(kPlayingSong));
    EXPECT_TRUE(sound_pending().empty());
    pump_for(300);
    EXPECT_TRUE(g_noted.events.empty());

    // With no song playing "pause" is a file name: pause.wav, which is not there.
    EXPECT_EQ(splay("pause"), kScriptFailed);
    // No name, a bad quote, a missing file.
    EXPECT_EQ(splay(""), kScriptFailed);
    EXPECT_EQ(splay("\"unclosed.wav"), kScriptFailed);
    EXPECT_EQ(splay("\"" + dir_ + "missing.wav\""), kScriptFailed);
    // A name without extension is found as a wave in the wave folder, below it too.
    EXPECT_EQ(splay("found"), kScriptDone);
    std::string path;
    EXPECT_TRUE(sound_pending_find(kPlayingWave, &path));
    EXPECT_EQ(path, dir_ + "waves/deep/found.wav");
}

TEST_F(SoundPlayer, SoundSwitchOffPlaysOnlyForcedPreviews)
{
    opt_set(OPT_SOUNDS_ENABLED, 0);
    EXPECT_EQ(splay("\"" + dir_ + "short.wav\""), kScriptDone);
    EXPECT_FALSE(sound_device_open(kPlayingWave));
    EXPECT_EQ(sound_play_file(dir_ + "short.wav", 0, nullptr), 1);
    EXPECT_FALSE(sound_device_open(kPlayingWave));
    EXPECT_EQ(sound_play_file(dir_ + "short.wav", -1, nullptr), 1);
    EXPECT_TRUE(sound_device_open(kPlayingWave));
    // Files of no sound kind and empty paths cannot play.
    opt_set(OPT_SOUNDS_ENABLED, 1);
    EXPECT_EQ(sound_play_file(dir_ + "sounds.kst", 0, nullptr), 0);
    EXPECT_EQ(sound_play_file("", 0, nullptr), 0);
}

TEST_F(SoundPlayer, ResolvingKeepsRequestsInsideTheSoundFolders)
{
    struct Case {
        std::string name;
        int mode;
        std::string want; // relative to the settings folder, empty for none
    };
    const Case cases[] = {
        {"found", 1, "waves/deep/found.wav"},
        {"found.wav", 2, "waves/deep/found.wav"},
        {"short", 2, "short.wav"},                 // the settings folder last
        {"../short.wav", 2, ""},                   // a request never names a path
        {"deep/found.wav", 2, ""},
        {"*.wav", 1, ""},
        {"found.txt", 1, ""},
        {"", 1, ""},
        {"nothing.wav", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path;
        EXPECT_EQ(sound_resolve_file(c.name, path, c.mode, nullptr, nullptr, nullptr), c.want.empty() ? 0 : 1);
        EXPECT_EQ(path, c.want.empty() ? std::string() : dir_ + c.want);
    }
    std::string path;
    EXPECT_EQ(sound_resolve_file(dir_ + "short.wav", path, 1, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(path, dir_ + "short.wav");
}

TEST_F(SoundPlayer, MixerLinesScaleAndClamp)
{
    struct Case {
        std::string command;
        int line;
        long volume;
        long mute;
    };
    const Case cases[] = {
        {"vol -v 70000", kMixerMaster, 65535, 0},
        {"vol -w 1000", kMixerWave, 1000, 0},
        {"vol -w -1", kMixerWave, 1000, 0},     // a negative value changes nothing
        {"vol -pu", kMixerWave, 1000, 1},
        {"vol -pu2 500", kMixerWave, 500, 0},
        {"vol -mu1", kMixerMidi, 65535, 1},
        {"vol -mu7", kMixerMidi, 65535, 1},     // another number leaves the mute
        {"vol 300", kMixerWave, 500, 0},        // no switches: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(script_exec_line(nullptr, c.command.c_str(), nullptr, 1, nullptr, nullptr, conn_), kScriptDone);
        long v = -5, m = -5;
        ASSERT_EQ(mixer_control(v, 0, c.line, 0), 1);
        ASSERT_EQ(mixer_get_mute(m, c.line), 1);
        EXPECT_EQ(v, c.volume);
        EXPECT_EQ(m, c.mute);
    }
    EXPECT_EQ(ident("$vol(midi).mute"), "$true");
    EXPECT_EQ(ident("$vol(wave)"), "500");
    EXPECT_EQ(ident("$vol(master)"), "65535");
    mixer_uninstall();
}

TEST_F(SoundPlayer, EventSoundsRoundTripThroughWaves)
{
    spit(main_ini_path, "[waves]\nquery=short.wav\njoin=" + dir_ + "other.wav\nchat=\n");
    sound_load_event_settings();
    EXPECT_EQ(sound_event_file(kSoundEventQuery), dir_ + "short.wav");
    EXPECT_EQ(sound_event_file(kSoundEventJoin), dir_ + "other.wav");
    // An empty "chat" takes the query file.
    EXPECT_EQ(sound_event_file(kSoundEventChat), dir_ + "short.wav");
    EXPECT_EQ(sound_event_file(kSoundEventKick), "");
    sound_set_event_file(kSoundEventKick, "/elsewhere/kick.wav");
    sound_set_event_file(kSoundEventQuery, "");
    sound_save_event_settings();
    const std::string ini = media_test::read_file(main_ini_path);
    EXPECT_NE(ini.find("join=other.wav"), std::string::npos);
    EXPECT_NE(ini.find("kick=/elsewhere/kick.wav"), std::string::npos);
    EXPECT_EQ(ini.find("query="), std::string::npos);
    sound_load_event_settings();
    EXPECT_EQ(sound_event_file(kSoundEventKick), "/elsewhere/kick.wav");
    EXPECT_EQ(sound_event_file(kSoundEventQuery), "");
}

// Without any sound server /splay fails with its message and nothing stays
// pending. The sound server of this program cannot be taken away once the
// media layer saw it, so the test runs itself once more without one.
TEST(SoundNoServer, SplayFailsCleanlyWithItsMessage)
{
    if (!std::getenv("KEST_MEDIA_NO_SERVER")) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string cmd = "KEST_MEDIA_NO_SERVER=1 QT_QPA_PLATFORM=offscreen timeout 120 '" + self +
                                "' --gtest_filter=SoundNoServer.* >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return;
    }
    HookGuard hooks;
    test_app();
    app_install_subsystems();
    Connection* conn = conn_new(nullptr);
    ASSERT_TRUE(conn);
    opt_set(OPT_SOUNDS_ENABLED, 1);
    TempSettingsDir settings("kest_nosound_");
    const std::string wave = settings.path() + "quiet.wav";
    write_file(wave, wave_bytes(22050, 200));
    EXPECT_FALSE(sound_output_available());
    script_error_clear();
    EXPECT_EQ(script_exec_line(nullptr, ("splay \"" + wave + "\"").c_str(), nullptr, 1, nullptr, nullptr, conn),
              kScriptFailed);
    EXPECT_TRUE(sound_pending().empty());
    EXPECT_FALSE(sound_device_open(kPlayingWave));
    // The player itself answers 0; a forced preview too.
    EXPECT_EQ(sound_play_file(wave, -1, conn), 0);
    EXPECT_TRUE(sound_pending().empty());
    script_error_clear();
    conn_free(conn);
}

namespace {

// Server lines reach a registered link; each event's sound plays as its
// value says, and an event without a sound of its own plays nothing.
class EventSounds : public SoundPlayer {
protected:
    void SetUp() override
    {
        SoundPlayer::SetUp();
        ASSERT_TRUE(wire_.ok());
        wire_.attach(conn_);
        conn_->server_name = "irc.x";
        conn_->live_identity[2] = "me";
        conn_->live_identity[3] = "me_";
        irc_state_new_link(conn_);
        status_ = buffer_window_open(conn_, "Status", kWinStatus);
        irc_dispatch_line(":srv.x 001 me :Welcome me!u@h", conn_);
        pump_for(50);
        g_beeps = 0;
        beep_play_hook = [](int) { ++g_beeps; };
        for (int e = 0; e < kSoundEventCount; ++e)
            sound_set_event_file(e, std::string());
        write_file(dir_ + "join.wav", wave_bytes(22050, 200));
        write_file(dir_ + "kick.wav", wave_bytes(22050, 200));
        write_file(dir_ + "query.wav", wave_bytes(22050, 200));
        write_file(dir_ + "notice.wav", wave_bytes(22050, 200));
        write_file(dir_ + "invite.wav", wave_bytes(22050, 200));
        write_file(dir_ + "bye.wav", wave_bytes(22050, 200));
        sound_set_event_file(kSoundEventJoin, dir_ + "join.wav");
        sound_set_event_file(kSoundEventPart, "beep");
        sound_set_event_file(kSoundEventKick, dir_ + "kick.wav");
        sound_set_event_file(kSoundEventQuery, dir_ + "query.wav");
        sound_set_event_file(kSoundEventNotice, dir_ + "notice.wav");
        sound_set_event_file(kSoundEventInvite, dir_ + "invite.wav");
        sound_set_event_file(kSoundEventDisconnect, dir_ + "bye.wav");
    }
    void TearDown() override
    {
        for (int e = 0; e < kSoundEventCount; ++e)
            sound_set_event_file(e, std::string());
        if (status_)
            buffer_window_free(status_);
        conn_->socket = -1;
        SoundPlayer::TearDown();
    }
    // The wave that started playing, or "" (stopped again for the next line).
    std::string played()
    {
        std::string path;
        sound_pending_find(kPlayingWave, &path);
        sound_stop(0, 1);
        pump_for(20);
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    static inline int g_beeps = 0;
    TestWire wire_;
    WindowRecord* status_ = nullptr;
};

}  // namespace

TEST_F(EventSounds, ServerLinesPlayTheirEventsSoundsAndNothingElse)
{
    // The tips of these events are off: the sounds do not depend on them.
    ASSERT_FALSE(tip_wanted(TIPOPT_CHAN_JOINPART));
    // Only event sounds beep here.
    const int beep_private = opt(OPT_BEEP_PRIVATE_MESSAGES), beep_channel = opt(OPT_BEEP_CHANNEL_MESSAGES);
    opt_set(OPT_BEEP_PRIVATE_MESSAGES, 0);
    opt_set(OPT_BEEP_CHANNEL_MESSAGES, 0);
    struct Case {
        const char* line;
        const char* wave;  // "" none
        int beeps;
    };
    const Case cases[] = {
        {":me!u@h JOIN #c", "join.wav", 0},
        {":bob!u@h JOIN #c", "join.wav", 0},
        {":bob!u@h PRIVMSG #c :hello all", "", 0},      // a channel message has no sound
        {":bob!u@h PRIVMSG me :hello you", "query.wav", 0},
        {":bob!u@h NOTICE me :psst", "notice.wav", 0},
        {":srv.x NOTICE me :server says", "", 0},       // a server notice is not a notice from someone
        {":bob!u@h INVITE me #d", "invite.wav", 0},
        {":bob!u@h MODE #c +o bob", "", 0},
        {":bob!u@h PART #c :later", "", 1},             // "beep" beeps and plays no file
        {":me!u@h JOIN #e", "join.wav", 0},
        {":op!u@h KICK #e me :out", "kick.wav", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        g_beeps = 0;
        irc_dispatch_line(c.line, conn_);
        EXPECT_EQ(played(), c.wave);
        EXPECT_EQ(g_beeps, c.beeps);
    }
    // Sounds switched off: the same line plays nothing, twice.
    opt_set(OPT_SOUNDS_ENABLED, 0);
    for (int i = 0; i < 2; ++i) {
        irc_dispatch_line(":carl!u@h JOIN #c", conn_);
        EXPECT_EQ(played(), "");
    }
    opt_set(OPT_SOUNDS_ENABLED, 1);
    // No sound set for join any more: nothing plays.
    sound_set_event_file(kSoundEventJoin, std::string());
    irc_dispatch_line(":dave!u@h JOIN #c", conn_);
    EXPECT_EQ(played(), "");
    opt_set(OPT_BEEP_PRIVATE_MESSAGES, beep_private);
    opt_set(OPT_BEEP_CHANNEL_MESSAGES, beep_channel);
}

TEST_F(EventSounds, LostLinkPlaysTheDisconnectSoundAndLogonTheConnectSound)
{
    // The protocol's disconnect notice is this part's.
    ASSERT_EQ(irc_disconnect_notice, &sound_disconnect_notice);
    irc_disconnect_notice(conn_);
    EXPECT_EQ(played(), "bye.wav");
    write_file(dir_ + "hello.wav", wave_bytes(22050, 200));
    sound_set_event_file(kSoundEventConnect, dir_ + "hello.wav");
    irc_logged_on.fire(conn_);
    EXPECT_EQ(played(), "hello.wav");
    // Play type 0: the connect sound replaces a wave that plays.
    ASSERT_EQ(splay("\"" + dir_ + "short.wav\""), kScriptDone);
    irc_logged_on.fire(conn_);
    EXPECT_EQ(played(), "hello.wav");
}

TEST_F(EventSounds, MissingRequestedSoundFiresNoSoundAndAHaltShowsNothing)
{
    opt_set(OPT_SOUND_ACCEPT_REQUESTS, 1);
    opt_set(OPT_SOUND_WARN_MISSING, 1);
    const std::string script = settings_.path() + "nosound.kst";
    spit(script, "on *:NOSOUND:{ noted NOSOUND $nick $filename | if ($filename == quiet.wav) halt }\n");
    ASSERT_TRUE(remote_file_load(script, kRemoteScript, 9999, nullptr));
    PrintedLines printed;
    irc_dispatch_line(":bob!u@h PRIVMSG me :\x01SOUND absent.wav\x01", conn_);
    EXPECT_EQ(g_noted.events, (std::vector<std::string>{"NOSOUND bob absent.wav"}));
    const std::vector<std::string> shown = printed.in();
    EXPECT_NE(std::find(shown.begin(), shown.end(), text_fill_id(1602, {"absent.wav"})), shown.end());

    g_noted.events.clear();
    printed.lines.clear();
    irc_dispatch_line(":bob!u@h PRIVMSG me :\x01SOUND quiet.wav\x01", conn_);
    EXPECT_EQ(g_noted.events, (std::vector<std::string>{"NOSOUND bob quiet.wav"}));
    EXPECT_TRUE(printed.in().empty());

    // A file that is there plays and fires no NOSOUND.
    g_noted.events.clear();
    write_file(dir_ + "waves/here.wav", wave_bytes(22050, 200));
    irc_dispatch_line(":bob!u@h PRIVMSG me :\x01SOUND here.wav\x01", conn_);
    EXPECT_TRUE(g_noted.events.empty());
    EXPECT_EQ(played(), "here.wav");
}
