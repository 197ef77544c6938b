// The frame's placement in "windows"/"main": written from the real main
// window by the exit's save and by /saveini's main-window step, and nothing
// without a frame.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QPointer>

#include <sstream>
#include <string>
#include <vector>

#include "app/frame_window.h"
#include "app/startup.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

std::vector<int> fields(const std::string& line)
{
    std::vector<int> out;
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ','))
        out.push_back(std::stoi(item));
    return out;
}

class MainWindowPosition : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        ASSERT_TRUE(temp_.made());
        saved_frame_ = frame_window;
        frame_window = nullptr;
        installed_before_ = settings_saving.has_priority(kSettingsSaveMainWindow);
        frame_window_install();
    }

    void TearDown() override
    {
        if (!installed_before_)
            frame_window_uninstall();
        delete frame_.data();
        frame_window = saved_frame_;
        options_reset();
    }

    std::string stored()
    {
        std::string out;
        ini_read("windows", "main", "", out, 200, main_ini_path);
        return out;
    }

    // A shown main window of 700 by 500.
    void make_frame()
    {
        frame_ = new QMainWindow();
        frame_->resize(700, 500);
        frame_->show();
        frame_window = frame_.data();
    }

    TempSettingsDir temp_{"kest_placement_"};
    QPointer<QMainWindow> saved_frame_;
    QPointer<QMainWindow> frame_;
    bool installed_before_ = false;
};

TEST_F(MainWindowPosition, WithoutAFrameNothingIsWritten)
{
    ini_save_main_window_pos();
    EXPECT_EQ(slurp(main_ini_path), "");
    settings_save_all();
    EXPECT_EQ(stored(), "");
}

TEST_F(MainWindowPosition, TheFramesSizeAndStateAreWritten)
{
    make_frame();
    spit(main_ini_path, "[windows]\nmain=5,6,7,8,2,0,1\n");
    ini_save_main_window_pos();
    std::vector<int> f = fields(stored());
    ASSERT_EQ(f.size(), 7u) << stored();
    EXPECT_EQ(f[1], 700);
    EXPECT_EQ(f[3], 500);
    EXPECT_EQ(f[4], 0);  // normal
    EXPECT_EQ(f[5], 0);  // the stored sixth and seventh fields are kept
    EXPECT_EQ(f[6], 1);

    // Maximised: state 2 with the normal rectangle.
    frame_->showMaximized();
    spit(main_ini_path, "");
    ini_save_main_window_pos();
    f = fields(stored());
    ASSERT_EQ(f.size(), 7u) << stored();
    EXPECT_EQ(f[4], 2);
    EXPECT_EQ(f[1], 700);
    EXPECT_EQ(f[3], 500);
}

// /saveini reaches the frame through its main-window step.
TEST_F(MainWindowPosition, SaveAllWritesThePlacement)
{
    make_frame();
    settings_save_all();
    std::vector<int> f = fields(stored());
    ASSERT_EQ(f.size(), 7u) << stored();
    EXPECT_EQ(f[1], 700);
    EXPECT_EQ(f[3], 500);

    // Installing again adds no second listener.
    const std::size_t saves = settings_saving.size();
    frame_window_install();
    EXPECT_EQ(settings_saving.size(), saves);
}

}  // namespace
