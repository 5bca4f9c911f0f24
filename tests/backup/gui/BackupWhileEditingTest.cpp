// A backup made from the File menu while a recipe is being edited: the tables are closed
// and reopened around it, the edit goes on, and its save lands in the reopened tables.
#include "workspace/GuiFixture.h"

#include "backup/TfmBackup.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace larderly::test {
namespace {

class BackupWhileEditingTest : public GuiTest {};

TEST_F(BackupWhileEditingTest, BackupDuringAnEditKeepsTheEditAndItsSave) {
    Seed(home_.Home(), {{"Stew", {}, {"text of Stew"}}});
    TfmMain& m = Start();
    QApplication::setActiveWindow(&m);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    ClickButton(m.fmRecipes->btnEdit);
    ASSERT_TRUE(m.fmRecipes->Editing());
    m.fmRecipes->edtTitle->setFocus();
    QTest::keyClick(m.fmRecipes->edtTitle, Qt::Key_End);
    QTest::keyClicks(m.fmRecipes->edtTitle, " pot");
    ASSERT_TRUE(m.Backup1->isEnabled());

    const std::string folder = home_.Home() + "backups";
    std::filesystem::create_directories(folder);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfmBackup*>(QApplication::activeModalWidget());
        if (!d) {
            ADD_FAILURE() << "the backup dialog did not open";
            return;
        }
        seen = true;
        d->edtFolder->clear();
        QTest::keyClicks(d->edtFolder, QString::fromStdString(folder));
        prompts_.answer(PromptAnswer::Ok, BackupText::kBackupComplete);
        ClickButton(d->btnBackup);
        d->done(0);
    });
    // File > Backup by keyboard.
    QTest::keyClick(&m, Qt::Key_F, Qt::AltModifier);
    QMenu* file = m.MainMenu1->findChild<QMenu*>("File1");
    ASSERT_TRUE(file->isVisible());
    QTest::keyClick(file, Qt::Key_B);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(prompts_.done());
    EXPECT_GT(std::filesystem::file_size(folder + "/recipebackup.001"), 0u);

    // The edit goes on where it was and saves into the reopened tables.
    EXPECT_TRUE(m.fmRecipes->Editing());
    EXPECT_EQ(m.fmRecipes->edtTitle->text(), "Stew pot");
    ClickButton(m.fmRecipes->btnSave);
    EXPECT_FALSE(m.fmRecipes->Editing());
    EXPECT_EQ(CurrentTitle(), "Stew pot");
    main_.reset();
    const auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].title, "Stew pot");
    EXPECT_EQ(stored[0].text, std::vector<std::string>{"text of Stew"});
}

} // namespace
} // namespace larderly::test
