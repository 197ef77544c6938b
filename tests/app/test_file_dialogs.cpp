// The shared file dialog: what a choice leaves in the shared state, the
// remembered folder that a cancel forgets, the modes that must exist or
// may be missing, the one-at-a-time rule, the filters a remembered pattern
// picks and the picture variant's preview. The real dialog is answered by
// typing into its name field and pressing its accept button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/file_dialogs.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Acts on the file dialog as soon as it shows; whether it showed.
std::shared_ptr<bool> when_shown(std::function<void(QFileDialog*)> act)
{
    auto shown = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, shown, act] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) {
            if (++*tries > 400) {
                poll->stop();
                poll->deleteLater();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        *shown = true;
        act(d);
    });
    poll->start();
    return shown;
}

void type_and_accept(QFileDialog* d, const QString& typed)
{
    auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(edit);
    // Typed as a user types: with the focus in the field, which the
    // dialog then leaves as it is.
    d->activateWindow();
    edit->setFocus();
    QApplication::processEvents();
    edit->setText(typed);
    static_cast<QDialog*>(d)->accept();
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        root = fs::temp_directory_path() / ("kest-filedlg-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "here");
        fs::create_directories(root / "there");
        touch("here/a.txt");
        touch("here/b.wav");
        touch("there/c.txt");
        here = root.string() + "/here/";
        there = root.string() + "/there/";
        filedlg_state() = FileDialogState();
    }
    void TearDown() override
    {
        filedlg_state() = FileDialogState();
        fs::remove_all(root);
    }
    void touch(const std::string& rel)
    {
        std::ofstream(root / rel) << "x";
    }
    fs::path root;
    std::string here, there;
};

TEST(FileDialogNames, TheNameFieldSplitsIntoQuotedNamesOrOneName)
{
    struct Case {
        const char* field;
        std::vector<std::string> names;
    } cases[] = {
        {"a.txt", {"a.txt"}},
        {"  spaced name.txt  ", {"spaced name.txt"}},
        {"\"a.txt\" \"b c.wav\"", {"a.txt", "b c.wav"}},
        {"\"only.txt\"", {"only.txt"}},
        {"\"\" \"x\"", {"x"}},
        {"\"open", {}},
        {"", {}},
        {"   ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(filedlg_split_names(c.field), c.names);
    }
}

TEST(FileDialogNames, TheSelectionListKeepsBareNamesInsideTheFolderAndStopsAtItsLength)
{
    bool too_many = false;
    EXPECT_EQ(filedlg_collect({"/d/a.txt", "/e/b.txt", "/d/sub/c.txt"}, "/d/", true, &too_many),
              "a.txt\t/e/b.txt\tsub/c.txt");
    EXPECT_FALSE(too_many);
    // The folder itself is not a choice; without several, only the first.
    EXPECT_EQ(filedlg_collect({"/d/", "/d", "/d/a.txt", "/d/b.txt"}, "/d", true, nullptr), "a.txt\tb.txt");
    EXPECT_EQ(filedlg_collect({"/d/a.txt", "/d/b.txt"}, "/d/", false, nullptr), "a.txt");
    // A folder that only starts the same is not the folder.
    EXPECT_EQ(filedlg_collect({"/dd/a.txt"}, "/d/", true, nullptr), "/dd/a.txt");

    // 4,150 characters fit exactly; one more and the entry is left out.
    const std::string first(4000, 'a');
    const std::string fits(149, 'b');
    EXPECT_EQ(filedlg_collect({"/d/" + first, "/d/" + fits}, "/d/", true, &too_many).size(), 4150u);
    EXPECT_FALSE(too_many);
    const std::string over(150, 'b');
    EXPECT_EQ(filedlg_collect({"/d/" + first, "/d/" + over}, "/d/", true, &too_many), first);
    EXPECT_TRUE(too_many);
}

TEST_F(FileDialogs, SelectedFileAnswersTheCountThePathsAndNothingPastTheEnd)
{
    FileDialogState& s = filedlg_state();
    s.selection_folder = here;
    s.selection_list = "a.txt\t" + there + "c.txt";
    struct Case {
        int n;
        std::string want;
    } cases[] = {
        {0, "2"}, {1, here + "a.txt"}, {2, there + "c.txt"}, {3, ""}, {-1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        std::string out = "stale";
        filedlg_selected_file(c.n, out);
        EXPECT_EQ(out, c.want);
    }
    s.selection_list.clear();
    std::string out;
    filedlg_selected_file(0, out);
    EXPECT_EQ(out, "0");
    filedlg_selected_file(1, out);
    EXPECT_EQ(out, "");
}

TEST_F(FileDialogs, AChoiceIsRememberedAndACancelForgetsIt)
{
    filedlg_state().remembered_folder = here;
    std::string opened_in;
    auto shown = when_shown([&](QFileDialog* d) {
        opened_in = d->directory().absolutePath().toStdString() + "/";
        type_and_accept(d, "a.txt");
    });
    ASSERT_EQ(filedlg_open(nullptr, 1, "Pick", nullptr, 4), 1);
    EXPECT_TRUE(*shown);
    EXPECT_EQ(opened_in, here);
    EXPECT_EQ(filedlg_state().remembered_folder, here);
    EXPECT_EQ(filedlg_state().chosen_name, "a.txt");
    EXPECT_EQ(filedlg_state().selection_folder, here);

    // The next dialog opens where the last one was left.
    shown = when_shown([&](QFileDialog* d) {
        opened_in = d->directory().absolutePath().toStdString() + "/";
        d->reject();
    });
    EXPECT_EQ(filedlg_open(nullptr, 1, "Pick", nullptr, 4), 0);
    EXPECT_TRUE(*shown);
    EXPECT_EQ(opened_in, here);
    // The cancel cleared everything, so the one after starts elsewhere.
    EXPECT_EQ(filedlg_state().remembered_folder, "");
    EXPECT_EQ(filedlg_state().chosen_name, "");
    EXPECT_EQ(filedlg_state().selection_list, "");
    shown = when_shown([&](QFileDialog* d) {
        opened_in = d->directory().absolutePath().toStdString() + "/";
        d->reject();
    });
    filedlg_open(nullptr, 1, "Pick", nullptr, 4);
    EXPECT_TRUE(*shown);
    EXPECT_NE(opened_in, here);
}

TEST_F(FileDialogs, AMissingFileIsRefusedUnlessTheModeAllowsIt)
{
    struct Case {
        int mode;
        const char* typed;
        int result;
        const char* list;
    } cases[] = {
        {1, "a.txt", 1, "a.txt"},
        {1, "gone.txt", 0, ""},
        {11, "gone.txt", 1, "gone.txt"},
        {3, "new.txt", 1, "new.txt"},
        {101, "\"a.txt\" \"gone.txt\"", 0, ""},
        {111, "\"a.txt\" \"gone.txt\"", 1, "a.txt\tgone.txt"},
        // One name only without the multi-select flag.
        {11, "\"a.txt\" \"b.wav\"", 1, "a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.typed);
        filedlg_state().remembered_folder = here;
        bool still_open = false;
        auto shown = when_shown([&](QFileDialog* d) {
            type_and_accept(d, QString::fromUtf8(c.typed));
            still_open = d->isVisible();
            if (still_open)
                d->reject();
        });
        EXPECT_EQ(filedlg_open(nullptr, c.mode, "t", nullptr, 4), c.result);
        EXPECT_TRUE(*shown);
        EXPECT_EQ(still_open, c.result == 0);
        EXPECT_EQ(filedlg_state().selection_list, c.list);
    }
    // A full path elsewhere stays whole; the count and the paths follow.
    filedlg_state().remembered_folder = here;
    when_shown([&](QFileDialog* d) { type_and_accept(d, QString::fromStdString("\"b.wav\" \"" + there + "c.txt\"")); });
    ASSERT_EQ(filedlg_open(nullptr, 111, "t", nullptr, 4), 1);
    std::string out;
    filedlg_selected_file(0, out);
    EXPECT_EQ(out, "2");
    filedlg_selected_file(1, out);
    EXPECT_EQ(out, here + "b.wav");
    filedlg_selected_file(2, out);
    EXPECT_EQ(out, there + "c.txt");
    EXPECT_EQ(filedlg_state().chosen_name, "b.wav");
}

TEST_F(FileDialogs, ModesOutsideTheTableAndASecondDialogAreRefused)
{
    for (int mode : {2, 7, 9, 20, 21, 200, -1}) {
        SCOPED_TRACE(mode);
        filedlg_state().remembered_folder = here;
        filedlg_state().selection_list = "kept";
        // Refused at once: no dialog to answer, and nothing changed.
        EXPECT_EQ(filedlg_open(nullptr, mode, "t", nullptr, 4), 0);
        EXPECT_EQ(filedlg_state().remembered_folder, here);
        EXPECT_EQ(filedlg_state().selection_list, "kept");
        EXPECT_FALSE(filedlg_state().busy);
    }

    // While one dialog is open a second is refused at once, and the first
    // still answers.
    filedlg_state().remembered_folder = here;
    int second = -5;
    std::vector<std::string> second_chosen{"stale"};
    int second_run = -5;
    when_shown([&](QFileDialog* d) {
        second = filedlg_open(nullptr, 1, "again", nullptr, 4);
        second_run = file_dialog_run(nullptr, kFileDialogFile, there, "again", "", second_chosen);
        type_and_accept(d, "a.txt");
    });
    EXPECT_EQ(filedlg_open(nullptr, 1, "first", nullptr, 4), 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(second_run, -1);
    EXPECT_TRUE(second_chosen.empty());
    EXPECT_EQ(filedlg_state().chosen_name, "a.txt");
    EXPECT_FALSE(filedlg_state().busy);
}

TEST_F(FileDialogs, ARememberedPatternPicksTheFilterAndTheCaptionFollowsTheMode)
{
    struct Case {
        std::string remembered;
        int mode;
        const char* caption;
        QString filter;  // the filter shown first
        QString button;
    } cases[] = {
        {here + "*.ico", 1, nullptr, "*.ico", ""},
        {here + "*.*", 1, nullptr, QString::fromUtf8("Bütün Dosyalar (*)"), ""},
        {here, 1, nullptr, QString::fromUtf8("Bilinen Dosyalar"), ""},
        {here + "a.txt", 3, nullptr, QString::fromUtf8("Bilinen Dosyalar"), "&Kaydet"},
        {here + "a.txt", 3, "Yaz", QString::fromUtf8("Bilinen Dosyalar"), "Yaz"},
        {here + "a.txt", 1, "Aç", QString::fromUtf8("Bilinen Dosyalar"), QString::fromUtf8("Aç")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remembered + " " + std::to_string(c.mode));
        filedlg_state().remembered_folder = c.remembered;
        QString filter, button, name;
        auto shown = when_shown([&](QFileDialog* d) {
            filter = d->selectedNameFilter();
            button = d->labelText(QFileDialog::Accept);
            if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit"))
                name = edit->text();
            d->reject();
        });
        filedlg_open(nullptr, c.mode, "t", c.caption, 4);
        EXPECT_TRUE(*shown);
        EXPECT_TRUE(filter.startsWith(c.filter)) << filter.toStdString();
        if (!c.button.isEmpty())
            EXPECT_EQ(button, c.button);
        if (c.remembered.ends_with("a.txt"))
            EXPECT_EQ(name, "a.txt");
    }
}

TEST_F(FileDialogs, TheFolderBrowserLeavesTheFolderOrNothing)
{
    filedlg_state().remembered_folder = root.string() + "/";
    when_shown([&](QFileDialog* d) {
        EXPECT_EQ(d->fileMode(), QFileDialog::Directory);
        d->setDirectory(QString::fromStdString(there));
        QMetaObject::invokeMethod(d, "accept");
    });
    EXPECT_EQ(filedlg_open(nullptr, 0, "Klasör", nullptr, 4), 1);
    EXPECT_EQ(filedlg_state().remembered_folder, there);

    when_shown([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(folderdlg_browse(nullptr, "Klasör"), 1);
    EXPECT_EQ(filedlg_state().remembered_folder, "");
    filedlg_state().remembered_folder = there;
    when_shown([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(filedlg_open(nullptr, 0, "Klasör", nullptr, 4), 0);
}

TEST_F(FileDialogs, ThePicturePreviewFindsAPictureUnderAnotherExtension)
{
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(QString::fromStdString(here + "pic.png")));
    filedlg_state().remembered_folder = here;
    struct Case {
        const char* name;
        bool shows;
    } cases[] = {{"pic.png", true}, {"pic.bmp", true}, {"pic", true}, {"a.txt", false}, {"none.jpg", false}};
    std::vector<bool> seen;
    when_shown([&](QFileDialog* d) {
        auto* preview = d->findChild<QLabel*>("139");
        ASSERT_TRUE(preview);
        for (const Case& c : cases) {
            emit d->currentChanged(QString::fromStdString(here + c.name));
            seen.push_back(!preview->pixmap().isNull());
        }
        d->reject();
    });
    filedlg_open(nullptr, 6, "Resim", nullptr, 4);
    ASSERT_EQ(seen.size(), std::size(cases));
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], cases[i].shows) << cases[i].name;
}

}  // namespace
