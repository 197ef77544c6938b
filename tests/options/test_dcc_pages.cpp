// The DCC requests, completion and file-server pages of the options
// dialog on their real widgets: filled from the options, changed and
// applied, with the bounds the pages keep.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QComboBox>
#include <QDialog>

#include <string>

#include "core/options.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/pages_dcc.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/test_support.h"

namespace {

class DccPages : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_dccpages"};
    QDialog* dialog = nullptr;
    OptionsEdit edit;

    void SetUp() override
    {
        platform_test_app();
        options_reset();
        pages_dcc_install();
        dialog = new QDialog;
        for (const auto& [tmpl, first] : {std::pair{240, 500}, std::pair{260, 533}, std::pair{262, 518}}) {
            const OptionsPageDef* def = options_page_find(first);
            ASSERT_TRUE(def && def->page_template) << first;
            ASSERT_EQ(def->page_template->id, tmpl);
            dlg_template_register(*def->page_template);
            ASSERT_EQ(dlg_clone_page(*dialog, tmpl), 0);
        }
        edit.dialog = dialog;
    }
    void TearDown() override
    {
        delete dialog;
        pages_dcc_uninstall();
        options_reset();
    }
    void fill(int first) { options_page_find(first)->fill(edit); }
    void apply(int first) { options_page_find(first)->apply(edit); }
};

TEST_F(DccPages, RequestRadiosShowOneChoiceAndStoreIt)
{
    const struct {
        OptionId option;
        int radios[3];
    } settings_[] = {
        {OPT_DCC_SEND_REQUESTS, {501, 503, 502}},
        {OPT_DCC_CHAT_REQUESTS, {509, 510, 512}},
    };
    for (const auto& s : settings_) {
        for (int stored : {0, 1, 2, 3, -1}) {
            opt_set(s.option, stored);
            fill(500);
            const int shown = stored < 0 || stored > 2 ? 0 : stored;
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(dlg_checked(dialog, s.radios[i]), i == shown) << stored << " " << s.radios[i];
            for (int chosen = 0; chosen < 3; ++chosen) {
                for (int i = 0; i < 3; ++i)
                    dlg_set_checked(dialog, s.radios[i], i == chosen);
                apply(500);
                EXPECT_EQ(opt(s.option), chosen);
            }
        }
    }
    // The other setting is not moved by one's radios.
    opt_set(OPT_DCC_CHAT_REQUESTS, 2);
    fill(500);
    dlg_set_checked(dialog, 501, 0);
    dlg_set_checked(dialog, 503, 1);
    apply(500);
    EXPECT_EQ(opt(OPT_DCC_SEND_REQUESTS), 1);
    EXPECT_EQ(opt(OPT_DCC_CHAT_REQUESTS), 2);
}

TEST_F(DccPages, FileExistsComboShowsOutOfRangeAsAsk)
{
    for (int stored : {0, 1, 2, 3, 4, -1}) {
        opt_set(OPT_DCC_FILE_EXISTS, stored);
        fill(500);
        EXPECT_EQ(dlg_combo_index(dialog, 506), stored < 0 || stored > 3 ? 0 : stored);
        qobject_cast<QComboBox*>(dlg_item(dialog, 506))->setCurrentIndex(3);
        apply(500);
        EXPECT_EQ(opt(OPT_DCC_FILE_EXISTS), 3);
    }
}

TEST_F(DccPages, CompletionBoxesAndBoundedNumbers)
{
    const struct {
        int control;
        OptionId option;
    } boxes[] = {
        {535, OPT_DCC_BEEP_SEND_END}, {536, OPT_DCC_BEEP_GET_END},     {537, OPT_DCC_BEEP_CHAT_END},
        {539, OPT_DCC_CLOSE_SEND_ON_END}, {540, OPT_DCC_CLOSE_GET_ON_END}, {541, OPT_DCC_CLOSE_CHAT_ON_END},
        {551, OPT_DCC_FILL_FILES},    {553, OPT_DCC_PASSIVE},
    };
    for (const auto& b : boxes)
        for (int stored : {0, 1}) {
            opt_set(b.option, stored);
            fill(533);
            EXPECT_EQ(dlg_checked(dialog, b.control), stored) << b.control;
            dlg_set_checked(dialog, b.control, !stored);
            apply(533);
            EXPECT_EQ(opt(b.option), !stored) << b.control;
        }
    const struct {
        int control;
        OptionId option;
        const char* typed;
        int stored;
    } numbers[] = {
        {544, OPT_DCC_GET_CHAT_TIMEOUT, "4", 5},  {544, OPT_DCC_GET_CHAT_TIMEOUT, "5", 5},
        {544, OPT_DCC_GET_CHAT_TIMEOUT, "60", 60}, {546, OPT_DCC_SEND_TIMEOUT, "0", 5},
        {546, OPT_DCC_SEND_TIMEOUT, "120", 120},  {548, OPT_FSERVE_IDLE_LIMIT, "", 5},
        {550, OPT_DCC_MAX_SENDS, "0", 1},         {550, OPT_DCC_MAX_SENDS, "1", 1},
        {550, OPT_DCC_MAX_SENDS, "20", 20},
    };
    for (const auto& n : numbers) {
        fill(533);
        dlg_set_text(dialog, n.control, n.typed);
        apply(533);
        EXPECT_EQ(opt(n.option), n.stored) << n.control << " " << n.typed;
    }
}

TEST_F(DccPages, FileServerLimitsAndSendRate)
{
    const struct {
        const char* rate;
        int stored;
    } rates[] = {{"0", 0}, {"-5", 0}, {"1", 512}, {"100", 512}, {"511", 512}, {"512", 512}, {"513", 513},
                 {"", 0}};
    for (const auto& r : rates) {
        fill(518);
        dlg_set_text(dialog, 527, r.rate);
        apply(518);
        EXPECT_EQ(opt(OPT_DCC_MAX_SEND_RATE), r.stored) << r.rate;
        fill(518);
        EXPECT_EQ(dlg_text(dialog, 527), std::to_string(r.stored));
    }
    const struct {
        int control;
        OptionId option;
        const char* typed;
        int stored;
    } numbers[] = {
        {519, OPT_FSERVE_MAX_TRANSFERS, "0", 1}, {519, OPT_FSERVE_MAX_TRANSFERS, "10", 10},
        {521, OPT_FSERVE_GETS_PER_PEER, "0", 1}, {521, OPT_FSERVE_GETS_PER_PEER, "20", 20},
        {521, OPT_FSERVE_GETS_PER_PEER, "21", 20},
    };
    for (const auto& n : numbers) {
        fill(518);
        dlg_set_text(dialog, n.control, n.typed);
        apply(518);
        EXPECT_EQ(opt(n.option), n.stored) << n.control << " " << n.typed;
    }
}

}  // namespace
