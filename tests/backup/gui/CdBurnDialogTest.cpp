// The backup to CD dialog on the offscreen platform against the simulated CD-R writer: the
// drive list, a backup that ends with "Backup is complete", closing refused while it runs,
// a drive fault, no drive and no transport at all.
#include "backup/TfmCDBurn.h"
#include "burn/ScsiTransport.h"
#include "gui/GuiSupport.h"
#include "platform/DayNumber.h"
#include "platform/Settings.h"
#include "workspace/GuiFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <thread>

namespace larderly {
namespace {

namespace fs = std::filesystem;

class CdBurnDialogTest : public test::GuiTest {
protected:
    void SetUp() override {
        std::string library = std::string(LARDERLY_BIN_DIR) + "/libvirtualdrive.so";
        if (!fs::exists(library)) GTEST_SKIP() << "the simulated writer is not built";
        setenv("LARDERLY_ASPI_LIBRARY", library.c_str(), 1);
        image_ = home_.Home() + "disc.img";
        setenv("LARDERLY_VDRIVE_IMAGE", image_.c_str(), 1);
        setenv("LARDERLY_VDRIVE_MEDIA", "cdr", 1);
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        test::Seed(home_.Home(), {{"Apple Pie", {"Desserts"}, {"Bake it."}},
                                  {"Bean Soup", {"Soups"}, {"Boil it."}}});
        Start();
    }
    void TearDown() override {
        unsetenv("LARDERLY_VDRIVE_IMAGE");
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        unsetenv("LARDERLY_ASPI_LIBRARY");
    }

    // A dialog as the backup dialog makes it, with the drive's waits let through at once.
    std::unique_ptr<TfmCDBurn> Open() {
        auto dlg = std::make_unique<TfmCDBurn>(*main_, main_.get());
        dlg->Backup().SetSleeper(
            [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
        for (int waited = 0; !done() && waited < ms; waited += 20)
            QTest::qWait(20);
        return done();
    }

    static QStringList Log(const TfmCDBurn& dlg) { return dlg.Memo1->toPlainText().split('\n'); }
    static bool Idle(const TfmCDBurn& dlg) {
        return !dlg.Running() && dlg.btnBackup->isEnabled() && dlg.btnClose->isEnabled() &&
               dlg.cbDrives->isEnabled() && !dlg.Timer1->isActive();
    }

    std::string image_;
};

TEST_F(CdBurnDialogTest, BackupBurnsAndReportsCompletion) {
    auto dlg = Open();
    EXPECT_EQ(dlg->windowTitle(), "Backup to CD");
    EXPECT_EQ(dlg->Label1->text(), "Drive  : ");
    EXPECT_EQ(dlg->Label6->text(), " CD Progress : ");
    EXPECT_FALSE(dlg->Timer1->isActive());
    ASSERT_EQ(dlg->cbDrives->count(), 1);
    const QString drive = dlg->cbDrives->itemText(0);
    EXPECT_TRUE(drive.startsWith("0:0:0,")) << S(drive);
    EXPECT_TRUE(Log(*dlg).contains(">>> SELECTING " + drive)) << S(dlg->Memo1->toPlainText());

    prompts_.answer(PromptAnswer::Ok, "Backup is complete");
    QTest::mouseClick(dlg->btnBackup, Qt::LeftButton);

    // The burn has started; its end has not been handed over yet.
    ASSERT_TRUE(dlg->Running()) << S(dlg->Memo1->toPlainText());
    EXPECT_FALSE(dlg->btnBackup->isEnabled());
    EXPECT_FALSE(dlg->btnClose->isEnabled());
    EXPECT_FALSE(dlg->cbDrives->isEnabled());
    EXPECT_TRUE(dlg->Timer1->isActive());
    EXPECT_GE(dlg->CDProgress->maximum(), 300);
    EXPECT_EQ(ReadBackupDate(), TodayDayNumber());
    EXPECT_TRUE(ReadBackupToCD());
    const std::string archive = home_.Home() + "temp/recipebackup.001";
    EXPECT_TRUE(Log(*dlg).contains(Q(">>> INSERTING FILE \"" + archive + "\"")));

    // Neither the close button's way nor Escape ends a running backup.
    EXPECT_FALSE(dlg->close());
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible());

    ASSERT_TRUE(WaitFor([&] { return !dlg->Running(); })) << S(dlg->Memo1->toPlainText());
    EXPECT_EQ(Log(*dlg).last(), ">>> Backup DONE, Successful!") << S(dlg->Memo1->toPlainText());
    EXPECT_FALSE(fs::exists(archive)) << "the archive in temp/ goes once it is on the disc";
    EXPECT_TRUE(Log(*dlg).filter("STARTING WRITE PROCESS ON CD-R").size() == 1)
        << S(dlg->Memo1->toPlainText());
    EXPECT_EQ(prompts_.messages(), std::vector<std::string>{"Backup is complete"});
    EXPECT_TRUE(Idle(*dlg));
    EXPECT_EQ(dlg->CDProgress->value(), dlg->CDProgress->maximum());
    EXPECT_GE(fs::file_size(image_), 300u * 2048u);

    // The store is open again behind the dialog, and the dialog closes now.
    EXPECT_EQ(test::Stored(home_.Home()).size(), 2u);
    EXPECT_TRUE(dlg->close());
}

TEST_F(CdBurnDialogTest, DriveFaultIsLoggedAndTheDialogBecomesIdle) {
    setenv("LARDERLY_VDRIVE_FAULTS", "medium-error=200", 1);
    auto dlg = Open();
    ASSERT_EQ(dlg->cbDrives->count(), 1);
    QTest::mouseClick(dlg->btnBackup, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !dlg->Running(); }));
    EXPECT_EQ(Log(*dlg).last(), ">>> Backup Failed, WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]")
        << S(dlg->Memo1->toPlainText());
    EXPECT_TRUE(Idle(*dlg));
    EXPECT_TRUE(prompts_.messages().empty());
    EXPECT_TRUE(dlg->close());
}

TEST_F(CdBurnDialogTest, FailedPreparationReturnsToIdleWithoutBurning) {
    struct Case {
        const char* what;
        std::function<bool(const std::string&)> job;
        const char* message; // shown by the error handler, "" for none
    } cases[] = {
        {"job returns false", [](const std::string&) { return false; }, ""},
        {"job raises",
         [](const std::string&) -> bool {
             throw std::runtime_error("Unable to create temp folder for backup");
         },
         "Unable to create temp folder for backup"},
        {"job leaves no archive", [](const std::string&) { return true; },
         "could not be put on the disc"},
    };
    auto dlg = Open();
    ASSERT_EQ(dlg->cbDrives->count(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string folder;
        dlg->RunBackupJob = [&](const std::string& f) {
            folder = f;
            EXPECT_TRUE(dlg->Running());
            EXPECT_FALSE(dlg->btnClose->isEnabled());
            return c.job(f);
        };
        if (*c.message) prompts_.answer(PromptAnswer::Ok, c.message);
        QTest::mouseClick(dlg->btnBackup, Qt::LeftButton);
        EXPECT_EQ(folder, home_.Home() + "temp/");
        EXPECT_TRUE(Idle(*dlg));
        EXPECT_FALSE(fs::exists(image_ + ".state")) << "nothing recorded";
        EXPECT_EQ(ReadBackupDate(), -1);
    }
    EXPECT_TRUE(prompts_.done());
    EXPECT_TRUE(dlg->close());
}

TEST_F(CdBurnDialogTest, WithoutADriveBackupSaysNoCDWriterFound) {
    unsetenv("LARDERLY_VDRIVE_IMAGE"); // the simulated library then has no drive
    auto dlg = Open();
    EXPECT_EQ(dlg->cbDrives->count(), 0);
    EXPECT_TRUE(dlg->btnBackup->isEnabled());
    prompts_.answer(PromptAnswer::Ok, "No CD Writer found");
    QTest::mouseClick(dlg->btnBackup, Qt::LeftButton);
    EXPECT_TRUE(Idle(*dlg));
    EXPECT_FALSE(fs::exists(home_.Home() + "temp/recipebackup.001"));
    EXPECT_EQ(ReadBackupDate(), -1);

    // Help opens at the backup context; without a help file the user is told so. (Start-up
    // finds the copy beside the test program, so it is taken away here.)
    SetHelpFile("");
    prompts_.answer(PromptAnswer::Ok, "No help is installed");
    QTest::mouseClick(dlg->Button1, Qt::LeftButton);
    EXPECT_TRUE(dlg->close());
}

TEST_F(CdBurnDialogTest, WithoutATransportBackupIsOffAndTheDialogStillCloses) {
    if (std::system("ls /dev/sr* >/dev/null 2>&1") == 0)
        GTEST_SKIP() << "this machine has a disc drive";
    setenv("LARDERLY_ASPI_LIBRARY", "/nonexistent/libnothing.so", 1);
    InstallTransport(nullptr);
    auto dlg = Open();
    EXPECT_FALSE(dlg->btnBackup->isEnabled());
    EXPECT_EQ(dlg->cbDrives->count(), 0);
    EXPECT_EQ(S(Log(*dlg).last()), AspiErrorLine());
    EXPECT_NE(AspiErrorLine().find("support page, https://"), std::string::npos);
    EXPECT_FALSE(dlg->Running());
    EXPECT_TRUE(dlg->close());
    dlg.reset();
    InstallTransport(nullptr); // the next test loads its library afresh
}

} // namespace
} // namespace larderly
