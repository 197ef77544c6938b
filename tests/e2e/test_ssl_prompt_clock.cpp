// The certificate prompt of an SSL link that nobody answers, with the
// program's one-second tick in the test's hand: the link layer and the
// prompt run in this process against the private IRC server's SSL listener
// (a self-signed certificate, so the program asks), and each call of the
// tick is one second of the program's clock. The prompt closes as cancelled
// on its sixtieth second, the connect time-out does not end the attempt
// while the user is being asked, and a cancelled prompt ends the attempt
// without a retry.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <string>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/ssl_prompts.h"
#include "app/subsystems.h"
#include "app/tick.h"
#include "core/options.h"
#include "e2e/harness.h"
#include "e2e/net_support.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_checks.h"
#include "irc/ssl/ssl_link.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"

using namespace e2e;

namespace {

QDialog* visible_prompt()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<QDialog*>(w);
        if (d && d->objectName() == kSslPromptName && d->isVisible())
            return d;
    }
    return nullptr;
}

// What the test saw tick by tick while the prompt was open.
struct PromptWatch {
    int ticks = 0;                 // ticks given while a prompt was open
    bool open_on_last_but_one = false;
    bool closed_on_last = false;
    bool attempt_ended_early = false; // the link gave up or armed a retry while asking
};

struct SslPromptClock : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        platform_test_app();
        app_wire_windows();
        tick_install();
        frame_proc_install();
        irc_link_install();
        app_wire_irc_link();
        // The SSL parts as the program wires them.
        ssl_prompt_hooks.cert_prompt = ssl_cert_prompt;
        if (!ssl_load_library())
            GTEST_SKIP() << "the SSL library is not available";
        ASSERT_TRUE(certs.ok()) << read_file(dir.path() / "ca.log");
        ASSERT_TRUE(certs.make("self", "127.0.0.1", "", 30, true)) << read_file(dir.path() / "self.log");
        server.enable_ssl(certs.cert("self"), certs.key("self"));
        ASSERT_TRUE(server.start()) << server.log();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        conn->stored_identity[0] = "Kest User";
        conn->stored_identity[1] = "me@example.org";
        conn->stored_identity[2] = "sslclock";
        conn->stored_identity[5] = "127.0.0.1";
        conn->stored_identity[9] = "6667";
    }
    void TearDown() override
    {
        if (conn_is_live(conn)) {
            conn->quitting = 1;
            conn_kill_connect_timer(conn);
            conn->waiting_retry = 0;
            conn_close(std::string(), conn);
            conn_free(conn);
        }
        opt_set(OPT_CONNECT_TIMEOUT, timeout_was);
        opt_set(OPT_RETRY_ON_FAIL, retry_was);
        server.stop();
    }

    HookGuard hooks_;  // every seam back as it was when the test ends
    SavedValues<SslSettings> ssl_saved_{ssl_settings};
    const int timeout_was = opt(OPT_CONNECT_TIMEOUT);
    const int retry_was = opt(OPT_RETRY_ON_FAIL);
    e2e::TempDir dir{"kest-ssl-clock"};
    CertMaker certs{dir.path()};
    IrcServer server;
    Connection* conn = nullptr;
};

} // namespace

TEST_F(SslPromptClock, AnUnansweredPromptClosesOnItsSixtiethSecondAndTheAttemptEndsWithoutRetry)
{
    ssl_settings.show = 1;                 // ask about invalid certificates
    ssl_settings.ca.clear();
    opt_set(OPT_RETRY_ON_FAIL, 1);
    opt_set(OPT_CONNECT_TIMEOUT, 10);      // far below the prompt's minute
    irc_request_host = "127.0.0.1:+" + std::to_string(server.ssl_port());
    ASSERT_EQ(conn_begin_connect(conn), 1);

    // The prompt waits in a loop of its own; the ticks come from this timer,
    // one per run, while a prompt is open.
    PromptWatch seen;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QDialog* prompt = visible_prompt();
        if (!prompt || seen.ticks >= kSslPromptSeconds)
            return;
        frame_tick();
        ++seen.ticks;
        if (!conn_is_live(conn) || !conn->connecting || conn->waiting_retry || conn->connect_timer_id)
            seen.attempt_ended_early = true;
        if (seen.ticks == kSslPromptSeconds - 1)
            seen.open_on_last_but_one = prompt->isVisible();
        if (seen.ticks == kSslPromptSeconds)
            seen.closed_on_last = !prompt->isVisible();
    });
    driver.start(2);
    ASSERT_TRUE(pump_until([&] { return seen.ticks >= kSslPromptSeconds && conn->socket == -1; }, 4 * kWaitMs))
        << "ticks " << seen.ticks << ", connecting " << conn->connecting;
    driver.stop();

    EXPECT_FALSE(seen.attempt_ended_early) << "the connect time-out ended the attempt while the prompt was open";
    EXPECT_TRUE(seen.open_on_last_but_one);
    EXPECT_TRUE(seen.closed_on_last);
    // Cancelled: the SSL state says failed, and no retry is armed.
    EXPECT_EQ(link_state(conn).ssl_state, 3);
    EXPECT_EQ(conn->connecting, 0);
    EXPECT_EQ(conn->connected, 0);
    EXPECT_EQ(conn->waiting_retry, 0);
    EXPECT_EQ(conn->connect_timer_id, 0);
    // Further seconds start nothing again.
    for (int i = 0; i < 15; ++i) {
        frame_tick();
        pump_for(5);
    }
    EXPECT_EQ(conn->connecting, 0);
    EXPECT_EQ(conn->waiting_retry, 0);
    EXPECT_EQ(conn->socket, -1);
    EXPECT_EQ(visible_prompt(), nullptr);
    // Nothing was remembered as accepted.
    EXPECT_EQ(ssl_cache_has(certs.fingerprint("self")), 0);
}
