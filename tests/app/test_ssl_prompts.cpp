// The certificate prompt of SSL links: what it shows, and each way of
// answering it (accept, accept and remember, cancel, the link going away).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/ssl_prompts.h"
#include "irc/ssl/ssl_checks.h"
#include "support/window_fixture.h"
#include "support/hook_guard.h"

namespace {

SslCertRecord record()
{
    SslCertRecord r;
    r.subject[0] = "Kest Org";
    r.subject[2] = "wrong.example";
    r.issuer[2] = "Kest Test CA";
    r.start[0] = 1, r.start[1] = 2, r.start[2] = 2026;
    r.end[0] = 3, r.end[1] = 4, r.end[2] = 2027;
    r.fingerprint = std::string(40, 'A');
    r.host = "irc.test";
    r.port = 6697;
    r.valid_name = 0;
    r.trusted = 0;
    return r;
}

// Runs `answer` on the prompt once it is open, then returns the prompt's result.
int prompt_with(const std::function<void(QDialog*)>& answer, std::shared_ptr<std::atomic<int>> cancel = nullptr)
{
    QTimer::singleShot(50, [answer] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QDialog*>(w);
            if (d && d->objectName() == kSslPromptName && d->isVisible()) {
                answer(d);
                return;
            }
        }
        ADD_FAILURE() << "no prompt open";
    });
    if (!cancel)
        cancel = std::make_shared<std::atomic<int>>(0);
    return ssl_cert_prompt(record(), cancel);
}

QPushButton* button(QDialog* d, QDialogButtonBox::StandardButton which)
{
    return d->findChild<QDialogButtonBox*>()->button(which);
}

struct SslPrompt : ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
    void SetUp() override { window_test_reset(); }
};

TEST_F(SslPrompt, EachAnswerGivesItsResult)
{
    struct Case {
        const char* what;
        bool tick;
        QDialogButtonBox::StandardButton press;
        int result;
    };
    const Case cases[] = {
        {"accepted", false, QDialogButtonBox::Ok, 1},
        {"accepted and remembered", true, QDialogButtonBox::Ok, 2},
        {"cancelled", false, QDialogButtonBox::Cancel, 0},
        {"cancelled with the box ticked", true, QDialogButtonBox::Cancel, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int got = prompt_with([&c](QDialog* d) {
            EXPECT_EQ(d->windowTitle().toStdString(), "irc.test Bağlanılıyor (+6697)");
            if (c.tick)
                QTest::mouseClick(d->findChild<QCheckBox*>(kSslPromptRemember), Qt::LeftButton);
            QTest::mouseClick(button(d, c.press), Qt::LeftButton);
        });
        EXPECT_EQ(got, c.result);
    }
}

TEST_F(SslPrompt, TheViewButtonShowsTheDetailsOfTheCertificate)
{
    int got = prompt_with([](QDialog* d) {
        auto* details = d->findChild<QLabel*>(kSslPromptDetails);
        ASSERT_TRUE(details);
        EXPECT_TRUE(details->isHidden());
        QPushButton* view = nullptr;
        for (QPushButton* b : d->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Bak"))
                view = b;
        ASSERT_TRUE(view);
        QTest::mouseClick(view, Qt::LeftButton);
        EXPECT_FALSE(details->isHidden());
        const std::string text = details->text().toStdString();
        EXPECT_NE(text.find("Organizasyon: Kest Org"), std::string::npos) << text;
        EXPECT_NE(text.find("Host: Kest Test CA"), std::string::npos) << text;
        EXPECT_NE(text.find("Geçerli Kılınan 01/02/2026  03/04/2027"), std::string::npos) << text;
        QTest::mouseClick(view, Qt::LeftButton);  // and back
        EXPECT_TRUE(details->isHidden());
        QTest::mouseClick(button(d, QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    EXPECT_EQ(got, 0);
}

// The link went while the prompt was open: it closes itself as cancelled,
// whatever the box says.
TEST_F(SslPrompt, ALinkThatGoesClosesItsPrompt)
{
    auto cancel = std::make_shared<std::atomic<int>>(0);
    int got = prompt_with(
        [cancel](QDialog* d) {
            QTest::mouseClick(d->findChild<QCheckBox*>(kSslPromptRemember), Qt::LeftButton);
            cancel->store(1);
        },
        cancel);
    EXPECT_EQ(got, 0);
}

} // namespace
