// The highlight entry dialog run modally over a channel window: the test
// answers it with keys and clicks on its real controls and reads back the
// entry it hands over, which the highlight list loads as it would from the
// settings file.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>

#include "app/highlight_dialog.h"
#include "model/window_record.h"
#include "display/highlight.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

int beeps = 0;

class HighlightDialogTest : public ::testing::Test {
    HookGuard hooks_;

protected:
    void SetUp() override
    {
        window_test_reset();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        channel = window_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        window_test_pump();
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
    }
    void TearDown() override { window_test_reset(); }

    // Runs the dialog on the exchange text; `answer` acts on the open
    // dialog (the test fails and the dialog is cancelled when none opens).
    int run(std::string& exchange, std::function<void(QDialog*)> answer)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QDialog* d = highlight_edit_dialog_open();
            if (!d)
                return;
            seen = true;
            answer(d);
            // Whatever the answer left open is cancelled.
            if (QDialog* left = highlight_edit_dialog_open(); left && left->isVisible())
                left->reject();
        });
        const int r = highlight_edit_dialog(channel->hwnd.get(), exchange);
        window_test_pump();
        opened = seen;
        return r;
    }

    template <class T>
    static T* item(QDialog* d, int id)
    {
        T* w = qobject_cast<T*>(dlg_item(d, id));
        EXPECT_TRUE(w) << id;
        return w;
    }
    static void click(QDialog* d, int id) { QTest::mouseClick(item<QPushButton>(d, id), Qt::LeftButton); }
    static void type(QWidget* w, const QString& text)
    {
        w->setFocus();
        QTest::keyClicks(w, text);
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
    bool opened = false;
};

TEST_F(HighlightDialogTest, AnEntryFillsTheControlsAndComesBackAsItWas)
{
    std::string exchange = "one,two*\t3,1,1,5,\"beep\",\"look here\",\"one,two*\",1,0,1,100";
    const int r = run(exchange, [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Gözalıcıyı Düzenle"));
        EXPECT_EQ(item<QLineEdit>(d, 101)->text(), "one,two*");
        EXPECT_EQ(item<QComboBox>(d, 102)->currentText(), QString::fromUtf8("Nickde ve Mesajda"));
        EXPECT_TRUE(item<QCheckBox>(d, 103)->isChecked());
        EXPECT_FALSE(item<QCheckBox>(d, 104)->isChecked());
        EXPECT_EQ(item<QComboBox>(d, 105)->currentIndex(), 3);
        EXPECT_EQ(item<QPushButton>(d, 106)->text(), "Beep");
        EXPECT_TRUE(item<QCheckBox>(d, 108)->isChecked());
        EXPECT_EQ(item<QComboBox>(d, 110)->currentText(), "5");
        EXPECT_EQ(item<QLineEdit>(d, 109)->text(), "look here");
        EXPECT_TRUE(item<QCheckBox>(d, 111)->isChecked());
        EXPECT_EQ(item<QComboBox>(d, 112)->currentText(), "60");
        click(d, 1);
    });
    EXPECT_TRUE(opened);
    ASSERT_EQ(r, 1);
    EXPECT_EQ(exchange, "one,two*\t3,1,1,5,\"beep\",\"look here\",\"one,two*\",1,0,1,60");
}

TEST_F(HighlightDialogTest, ANewEntryIsTypedAndCheckedIn)
{
    std::string exchange;
    const int r = run(exchange, [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Gözalıcı (Highlight) Ekle"));
        EXPECT_EQ(item<QPushButton>(d, 106)->text(), "Ses Yok");
        type(item<QLineEdit>(d, 101), "bob,b?b");
        item<QComboBox>(d, 102)->setCurrentIndex(1);  // the nick only
        QTest::mouseClick(item<QCheckBox>(d, 104), Qt::LeftButton);
        QComboBox* colour = item<QComboBox>(d, 105);
        EXPECT_EQ(colour->count(), 17);
        EXPECT_EQ(colour->itemText(16), "color 16");
        colour->setCurrentIndex(5);
        click(d, 106);  // no sound -> beep
        EXPECT_EQ(item<QPushButton>(d, 106)->text(), "Beep");
        QTest::mouseClick(item<QCheckBox>(d, 108), Qt::LeftButton);
        QComboBox* count = item<QComboBox>(d, 110);
        count->setCurrentText(QString());
        type(count, "1200");
        type(item<QLineEdit>(d, 109), "say \"hi\", now");
        QTest::mouseClick(item<QCheckBox>(d, 111), Qt::LeftButton);
        QComboBox* seconds = item<QComboBox>(d, 112);
        seconds->setCurrentText(QString());
        type(seconds, "1");
        click(d, 1);
    });
    ASSERT_EQ(r, 1);
    EXPECT_EQ(exchange, "bob,b?b\t5,1,2,999,\"beep\",\"say hi now\",\"bob,b?b\",0,1,1,3");
    // The list loads it as an entry of the settings file.
    HighlightEntry e;
    ASSERT_TRUE(highlight_parse(exchange.substr(exchange.find('\t') + 1), e));
    ASSERT_EQ(e.words.size(), 2u);
    EXPECT_EQ(e.words[1].kind, kHighlightWildcard);
    EXPECT_EQ(e.part, 2);
    EXPECT_EQ(e.color, 5);
    EXPECT_EQ(e.sound, 1);
    EXPECT_EQ(e.flash_count, 999);
    EXPECT_EQ(e.message, "say hi now");
    EXPECT_EQ(e.tip_seconds, 3);
}

TEST_F(HighlightDialogTest, WithoutWordsOkKeepsTheDialogAndCancelChangesNothing)
{
    std::string exchange = "bob\t0,0,0,0,\"\",\"\",\"bob\",0,0,0,3";
    const std::string before = exchange;
    const int r = run(exchange, [](QDialog* d) {
        QLineEdit* words = item<QLineEdit>(d, 101);
        words->selectAll();
        type(words, " , ");
        click(d, 1);
        EXPECT_EQ(highlight_edit_dialog_open(), d) << "still open";
        EXPECT_TRUE(words->text().isEmpty());
        EXPECT_EQ(beeps, 1);
        // A second dialog cannot open over it.
        std::string other;
        EXPECT_EQ(highlight_edit_dialog(nullptr, other), 0);
        // The sound button goes round: none, beep, (a file), none.
        click(d, 106);
        EXPECT_EQ(item<QPushButton>(d, 106)->text(), "Beep");
        click(d, 2);
    });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(exchange, before);
}

TEST_F(HighlightDialogTest, AnExchangeWithoutAnEntryClosesAtOnce)
{
    for (const char* bad : {"no tab here", "\t0,0,0,0,\"\",\"\",\"\",0,0,0,3", "words\t"}) {
        SCOPED_TRACE(bad);
        beeps = 0;
        std::string exchange = bad;
        EXPECT_EQ(run(exchange, [](QDialog*) { ADD_FAILURE() << "no dialog should show"; }), 0);
        EXPECT_FALSE(opened);
        EXPECT_EQ(beeps, 1);
        EXPECT_EQ(exchange, bad);
    }
}

}  // namespace
