// Whole-program tests of the service other programs reach by its name: the
// running program answers on a socket named after the service of its
// settings, runs commands sent to it, and keeps its settings across a
// restart; with the server off nothing answers to the name. The language
// settings' old form is converted at start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/command_line.h"
#include "e2e/harness.h"
#include "platform/local_ipc.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

// One request to a service: the answer (-1 when nobody answered) and the text.
std::pair<int, std::string> ask(const std::string& service, int kind, const std::string& payload)
{
    int answer = -1;
    std::string reply;
    if (!ipc_request(service, kind, payload, &answer, &reply, 3000))
        return {-1, std::string()};
    return {answer, reply};
}

// Waits until the program's own socket answers with the service name of
// its settings (the program is up and its deferred start has run).
bool wait_up(const KestProgram& kest, const std::string& service)
{
    ::setenv("XDG_RUNTIME_DIR", (kest.settings().parent_path() / "run").c_str(), 1);
    const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (Clock::now() < end) {
        if (ask(kHandOverService, IPC_EVALUATE, "$ddename") == std::make_pair(1, service))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(FrameServiceE2e, AnotherProgramAsksRunsAndTheNameSurvivesARestart)
{
    const std::string service = "kestsvc" + std::to_string(::getpid());
    KestProgram kest;
    kest.set("dde", "ServiceName", service);
    kest.set("dde", "CheckName", "on");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_up(kest, service)) << kest.output();

    EXPECT_EQ(ask(service, IPC_PROBE, ""), std::make_pair(1, std::string()));
    EXPECT_EQ(ask(service, IPC_DDE, "REQUEST\nVERSION\n"), std::make_pair(1, std::string("Kest ") + KEST_VERSION));
    EXPECT_EQ(ask(service, IPC_DDE, "REQUEST\nCONNECTED\n"), std::make_pair(1, std::string("not connected")));
    // A command sent to the service sets the title text; the title and the
    // service name read back through an evaluation.
    EXPECT_EQ(ask(service, IPC_DDE, "EXECUTE\nCOMMAND\n/titlebar away for lunch"), std::make_pair(1, std::string()));
    EXPECT_EQ(ask(service, IPC_DDE, "REQUEST\nEVALUATE\n$titlebar + $ddename"),
              std::make_pair(1, "away for lunch + " + service));
    // Other kinds of request are not the service's.
    EXPECT_EQ(ask(service, IPC_RUN_COMMAND, "/titlebar other").first, 0);
    EXPECT_EQ(ask(service, IPC_DDE, "REQUEST\nEVALUATE\n$titlebar").second, "away for lunch");
    // A broken request gets no data and the program goes on.
    EXPECT_EQ(ask(service, IPC_DDE, std::string(kIpcMaxPayload + 1, 'z')).first, -1);
    EXPECT_EQ(ask(service, IPC_DDE, "\n\n\n").first, 0);
    EXPECT_TRUE(kest.process().running());

    ASSERT_EQ(kest.stop(), 0);
    // Gone with the program; its settings were written back.
    EXPECT_EQ(ask(service, IPC_PROBE, "").first, -1);
    const std::string ini = read_file(kest.settings() / "kest.ini");
    EXPECT_NE(ini.find("ServiceName=" + service), std::string::npos) << ini;
    EXPECT_NE(ini.find("CheckName=on"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ServerStatus=on"), std::string::npos) << ini;

    // Started again it answers under the same name.
    ASSERT_TRUE(kest.start_again({"-noconnect"}));
    ASSERT_TRUE(wait_up(kest, service)) << kest.output();
    EXPECT_EQ(ask(service, IPC_DDE, "REQUEST\nEVALUATE\n$ddename"), std::make_pair(1, service));
    ASSERT_EQ(kest.stop(), 0);
}

TEST(FrameServiceE2e, WithTheServerOffNothingAnswersToTheName)
{
    const std::string service = "kestoff" + std::to_string(::getpid());
    KestProgram kest;
    kest.set("dde", "ServiceName", service);
    kest.set("dde", "ServerStatus", "off");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_up(kest, service)) << kest.output();
    EXPECT_EQ(ask(service, IPC_PROBE, "").first, -1);
    // The program's own socket does not answer the service's requests either.
    EXPECT_EQ(ask(kHandOverService, IPC_DDE, "REQUEST\nVERSION\n").first, 0);
    EXPECT_EQ(ask(kHandOverService, IPC_EVALUATE, "$ddename"), std::make_pair(1, service));
    ASSERT_EQ(kest.stop(), 0);
}

// The language settings' old form is converted by the start-up's settings
// load and does not come back.
TEST(FrameServiceE2e, TheOldLanguageSectionIsConvertedAtStart)
{
    const std::string service = "kestlang" + std::to_string(::getpid());
    KestProgram kest;
    kest.set("dde", "ServiceName", service);
    kest.set("sjis", "enabled", "yes");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_up(kest, service)) << kest.output();
    ASSERT_EQ(kest.stop(), 0);
    const std::string ini = read_file(kest.settings() / "kest.ini");
    EXPECT_EQ(ini.find("[sjis]"), std::string::npos) << ini;
    const std::size_t lang = ini.find("[language]");
    ASSERT_NE(lang, std::string::npos) << ini;
    const std::string section = ini.substr(lang, ini.find("\n[", lang + 1) - lang);
    EXPECT_NE(section.find("sjis=1"), std::string::npos) << section;
    EXPECT_NE(section.find("multibyte=1"), std::string::npos) << section;
}

}  // namespace
