// Backup to CD from the main window onto the simulated CD-R writer: File > Backup, tick
// "Backup to CD", back up in the CD dialog until "Backup is complete"; the disc holds
// recipebackup.001, which restores the same data through File > Restore; a second backup
// adds a second session that isoinfo reads at its start.
#include "RunCommand.h"
#include "backup/TfmBackup.h"
#include "backup/TfmCDBurn.h"
#include "backup/TfmRestore.h"
#include "gui/GuiSupport.h"
#include "workspace/GuiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace larderly::test {
namespace {

namespace fs = std::filesystem;
using larderly::testing::RunCommand;

class CdBackupEndToEndTest : public GuiTest {
protected:
    void SetUp() override {
        setenv("LARDERLY_ASPI_LIBRARY",
               (std::string(LARDERLY_BIN_DIR) + "/libvirtualdrive.so").c_str(), 1);
        image_ = home_.Home() + "disc.img";
        setenv("LARDERLY_VDRIVE_IMAGE", image_.c_str(), 1);
        setenv("LARDERLY_VDRIVE_MEDIA", "cdr", 1);
        unsetenv("LARDERLY_VDRIVE_FAULTS");
    }
    void TearDown() override {
        unsetenv("LARDERLY_VDRIVE_IMAGE");
        unsetenv("LARDERLY_VDRIVE_MEDIA");
        unsetenv("LARDERLY_ASPI_LIBRARY");
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
        for (int waited = 0; !done() && waited < ms; waited += 20)
            QTest::qWait(20);
        return done();
    }

    // File > Backup with "Backup to CD" ticked; in the CD dialog the first drive is picked
    // and the backup runs until the burn has ended. Gives the CD dialog's log.
    std::string BackupToCd() {
        std::string log;
        bool cdShown = false;
        QTimer::singleShot(0, [&] {
            auto* backup = qobject_cast<TfmBackup*>(QApplication::activeModalWidget());
            if (!backup) {
                ADD_FAILURE() << "no backup dialog";
                return;
            }
            backup->cboxCD->setChecked(true);
            backup->edtFolder->setText("/no/such/folder"); // ignored on the way to the CD
            QTimer::singleShot(0, [&] {
                auto* cd = qobject_cast<TfmCDBurn*>(QApplication::activeModalWidget());
                if (!cd) {
                    ADD_FAILURE() << "no CD dialog";
                    return;
                }
                cdShown = true;
                // The drive's own waits (spin-up, readiness polls) pass at once.
                cd->Backup().SetSleeper(
                    [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
                EXPECT_EQ(cd->cbDrives->count(), 1);
                QTest::keyClick(cd->cbDrives, Qt::Key_Home);
                prompts_.answer(PromptAnswer::Ok, "Backup is complete");
                ClickButton(cd->btnBackup);
                EXPECT_TRUE(WaitFor([&] { return !cd->Running(); }));
                log = S(cd->Memo1->toPlainText());
                cd->done(0);
            });
            ClickButton(backup->btnBackup);
            backup->done(0);
        });
        TriggerEnabledAction(main_->Backup1);
        EXPECT_TRUE(cdShown);
        EXPECT_TRUE(prompts_.done()) << log;
        return log;
    }

    // The start of each recorded track, from the simulated disc's record.
    std::vector<uint32_t> TrackStarts() {
        std::ifstream in(image_ + ".state");
        std::vector<uint32_t> starts;
        for (std::string line; std::getline(in, line);) {
            std::istringstream f(line);
            std::string word;
            uint32_t number = 0, session = 0, start = 0;
            if (f >> word && word == "track" && f >> number >> session >> start)
                starts.push_back(start);
        }
        return starts;
    }

    std::string image_;
};

TEST_F(CdBackupEndToEndTest, BackupToCdRestoresAndAddsASecondSession) {
    Seed(home_.Home(),
         {{"Apple Pie", {"Desserts"}, {"Bake it."}}, {"Bean Soup", {"Soups"}, {"Boil it."}}});
    Start();
    const std::vector<std::string> titles = ListTitles();

    const std::string log = BackupToCd();
    EXPECT_NE(log.find(">>> SELECTING 0:0:0,"), std::string::npos) << log;
    EXPECT_NE(log.find(">>> Backup DONE, Successful!"), std::string::npos) << log;

    // The disc holds the archive; it restores the data through the restore dialog.
    const auto listing = RunCommand("isoinfo -J -f -i " + image_);
    EXPECT_NE(listing.out.find("/recipebackup.001"), std::string::npos) << listing.out;
    const std::string fromDisc = home_.Home() + "fromdisc";
    fs::create_directories(fromDisc);
    ASSERT_EQ(RunCommand("isoinfo -J -i " + image_ + " -x '/recipebackup.001;1' > " + fromDisc +
                         "/recipebackup.001")
                  .status,
              0);
    EXPECT_GT(fs::file_size(fromDisc + "/recipebackup.001"), 0u);
    EXPECT_FALSE(fs::exists(home_.Home() + "temp/recipebackup.001"))
        << "the archive in temp/ goes once it is on the disc";

    ExecSql(home_.Data() + "tbl102.nx1", "DELETE FROM tblRecipes");
    QTimer::singleShot(0, [&] {
        auto* restore = qobject_cast<TfmRestore*>(QApplication::activeModalWidget());
        ASSERT_NE(restore, nullptr);
        restore->edtFolder->setText(Q(fromDisc));
        prompts_.answer(PromptAnswer::Yes, "All existing data will be overwritten")
            .answer(PromptAnswer::Ok, "Tables Restored!");
        ClickButton(restore->btnRestore);
        restore->done(0);
    });
    TriggerEnabledAction(main_->Restore1);
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(ListTitles(), titles);
    EXPECT_EQ(Stored(home_.Home()).size(), 2u);

    // A second backup is a second session, read at its start.
    BackupToCd();
    const std::vector<uint32_t> starts = TrackStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], 0u);
    const auto second =
        RunCommand("isoinfo -J -f -T " + std::to_string(starts[1]) + " -i " + image_);
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("/recipebackup.001"), std::string::npos) << second.out;
}

} // namespace
} // namespace larderly::test
