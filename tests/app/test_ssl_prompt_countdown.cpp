// The SSL prompts' time limit runs on the program's one-second tick: an
// unanswered prompt is still open after 59 seconds and closes as cancelled
// on the 60th, whatever was typed or ticked in it; seconds that pass while
// no prompt is open count for no later prompt.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/ssl_prompts.h"
#include "irc/ssl/ssl_checks.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

QDialog* open_dialog(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<QDialog*>(w);
        if (d && d->objectName() == name && d->isVisible())
            return d;
    }
    return nullptr;
}

struct Countdown {
    int open_after_59 = -1;  // 1 open, 0 closed, -1 never seen
    int open_after_60 = -1;
};

// Opens a prompt with `run`; once it shows, `fill` types into it and the
// seconds are given one by one.
Countdown count_down(const char* name, const std::function<void(QDialog*)>& fill,
                     const std::function<int()>& run, int& result)
{
    Countdown seen;
    QTimer::singleShot(20, [&] {
        QDialog* d = open_dialog(name);
        if (!d) {
            ADD_FAILURE() << "no prompt open";
            return;
        }
        EXPECT_EQ(ssl_prompts_open(), 1);
        fill(d);
        for (int second = 1; second <= kSslPromptSeconds; ++second) {
            ssl_prompts_tick();
            if (second == kSslPromptSeconds - 1)
                seen.open_after_59 = d->isVisible() ? 1 : 0;
        }
        seen.open_after_60 = d->isVisible() ? 1 : 0;
    });
    result = run();
    return seen;
}

struct SslPromptCountdown : ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
    void SetUp() override { window_test_reset(); }
};

TEST_F(SslPromptCountdown, AnUnansweredPromptClosesAsCancelledOnItsSixtiethSecond)
{
    SslCertRecord record;
    record.host = "irc.test";
    record.port = 6697;
    record.fingerprint = std::string(40, 'B');
    struct Case {
        const char* what;
        const char* name;
        std::function<void(QDialog*)> fill;
        std::function<int()> run;
    };
    std::string typed;
    const Case cases[] = {
        {"certificate, box ticked", kSslPromptName,
         [](QDialog* d) { QTest::mouseClick(d->findChild<QCheckBox*>(kSslPromptRemember), Qt::LeftButton); },
         [&record] { return ssl_cert_prompt(record, std::make_shared<std::atomic<int>>(0)); }},
        {"pass phrase, text typed", kSslPassphraseName,
         [](QDialog* d) { QTest::keyClicks(d->findChild<QLineEdit*>(), "secret"); },
         [&typed] { return ssl_passphrase_prompt(typed); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Seconds with no prompt open are nobody's.
        for (int i = 0; i < 30; ++i)
            ssl_prompts_tick();
        int result = -1;
        const Countdown seen = count_down(c.name, c.fill, c.run, result);
        EXPECT_EQ(seen.open_after_59, 1);
        EXPECT_EQ(seen.open_after_60, 0);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ssl_prompts_open(), 0);
    }
    EXPECT_TRUE(typed.empty());
}

} // namespace
