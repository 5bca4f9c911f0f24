// The backup and restore dialogs driven through the main window's File menu: a backup and
// a restore round trip with the list showing the restored recipes, the settings written
// only after a successful backup and shown again, folder checks, the CD hand-over, the
// diskette drive through a mapped A:, Cancel in the job window, and the restore's errors.
#include "workspace/GuiFixture.h"

#include "backup/ArchiveJob.h"
#include "backup/TfmBackup.h"
#include "backup/TfmRestore.h"
#include "backup/Tfmlha.h"
#include "gui/GuiSupport.h"
#include "platform/AppPaths.h"
#include "platform/DayNumber.h"
#include "platform/IniFile.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace larderly::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A recipe added behind the program's back after a backup.
constexpr const char* kAddZucchini =
    "INSERT INTO tblRecipes (Title, Category1, Category2, Category3, Category4) "
    "VALUES ('Zucchini Fritters', -1, -1, -1, -1)";

std::string T(const QString& s) {
    return s.toStdString();
}

// Hard-to-compress recipe text: lines of printable characters from a fixed generator.
std::vector<std::string> NoisyText(std::size_t bytes, uint32_t seed) {
    std::vector<std::string> lines;
    uint32_t x = seed;
    for (std::size_t done = 0; done < bytes; done += 64) {
        std::string line(64, ' ');
        for (char& c : line) {
            x = x * 1664525u + 1013904223u;
            c = static_cast<char>(33 + (x >> 24) % 94);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Puts a recorder in place of the program's end for the test's lifetime.
class ProgramEndRecorder {
public:
    ProgramEndRecorder() : saved_(Tfmlha::ProgramEndHandler()) {
        Tfmlha::ProgramEndHandler() = [this] { ++requests; };
    }
    ~ProgramEndRecorder() { Tfmlha::ProgramEndHandler() = saved_; }
    int requests = 0;

private:
    std::function<void()> saved_;
};

// Acts on the job window from inside its running job, at the first moment `when` holds
// (checked whenever the job lets pending events run).
class DuringJob {
public:
    DuringJob(QWidget* owner, std::function<bool(Tfmlha&)> when, std::function<void(Tfmlha&)> act)
        : when_(std::move(when)), act_(std::move(act)) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this, owner] {
            Tfmlha* w = owner->findChild<Tfmlha*>();
            if (!w || !w->Running() || !when_(*w)) return;
            timer_.stop();
            fired = true;
            caption = T(w->windowTitle());
            label1 = T(w->Label1->text());
            label2 = T(w->Label2->text());
            visible = w->isVisible();
            act_(*w);
        });
        timer_.start();
    }
    bool fired = false;
    bool visible = false;
    std::string caption, label1, label2;

private:
    QTimer timer_;
    std::function<bool(Tfmlha&)> when_;
    std::function<void(Tfmlha&)> act_;
};

bool Started(Tfmlha& w) {
    return w.mtrPercent->value() > 0;
}
bool Label2Starts(Tfmlha& w, const char* prefix) {
    return w.Label2->text().startsWith(prefix);
}
void ClickCancel(Tfmlha& w) {
    ClickButton(w.BitBtn1);
}
void PressEscape(Tfmlha& w) {
    QTest::keyClick(&w, Qt::Key_Escape);
}

class BackupDialogsTest : public GuiTest {
protected:
    std::string NewFolder(const std::string& name) {
        std::string p = home_.Home() + name;
        fs::create_directories(p);
        return p;
    }

    // Runs a menu command whose modal dialog `body` drives; the dialog is closed afterwards.
    template <typename D> void WithDialog(QAction* command, const std::function<void(D&)>& body) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            D* d = qobject_cast<D*>(w);
            if (!d) {
                ADD_FAILURE() << "the dialog did not open";
                if (w) w->close();
                return;
            }
            seen = true;
            body(*d);
            d->done(0);
        });
        TriggerEnabledAction(command);
        EXPECT_TRUE(seen);
    }
    void WithBackup(const std::function<void(TfmBackup&)>& body) {
        WithDialog<TfmBackup>(main_->Backup1, body);
    }
    void WithRestore(const std::function<void(TfmRestore&)>& body) {
        WithDialog<TfmRestore>(main_->Restore1, body);
    }

    // Backs up into `folder` through the dialog, expecting success.
    void BackupTo(const std::string& folder) {
        WithBackup([&](TfmBackup& d) {
            d.edtFolder->setText(Q(folder));
            prompts_.answer(PromptAnswer::Ok, BackupText::kBackupComplete);
            ClickButton(d.btnBackup);
        });
        ASSERT_TRUE(prompts_.done());
    }

    std::vector<std::string> StoredTitles() {
        std::vector<std::string> out;
        for (const auto& r : Stored(home_.Home()))
            out.push_back(r.title);
        return out;
    }

    std::vector<SeedRecipe> Recipes() {
        return {{"Leek Soup", {"Soups"}, {"2 leeks", "Simmer."}},
                {"Apple Pie", {"Desserts", "Baked"}, {"Bake it."}},
                {"Bread", {}, {"Flour, water, salt"}}};
    }
};

TEST_F(BackupDialogsTest, DialogsShowTheirControlsAndDefaults) {
    Start();
    WithBackup([&](TfmBackup& d) {
        EXPECT_EQ(T(d.windowTitle()), "Backup Data");
        EXPECT_TRUE(d.isModal());
        struct Row {
            const char* name;
            const char* text;
            const char* hint;
        };
        for (const Row& r : std::initializer_list<Row>{
                 {"Label1", "Backup Larderly", ""},
                 {"Label2", "Backup to:", ""},
                 {"edtFolder", "A:\\", "Do not enter File Name. Enter the Path Name only."},
                 {"SpeedButton1", "&Select Folder", "Allows you to visually Select Path"},
                 {"Label3", "Last Backup Date:", ""},
                 {"lblDate", "None", ""},
                 {"cboxCD", "Backup to CD", "Click to backup to a CD"},
                 {"btnBackup", "&Backup", "Backup Data"},
                 {"btnHelp", "&Help", "Help"},
                 {"btnClose", "&Close", "Close Backing Up Data"}}) {
            QWidget* w = d.findChild<QWidget*>(r.name);
            ASSERT_NE(w, nullptr) << r.name;
            QVariant text = w->property("text");
            EXPECT_EQ(T(text.toString()), r.text) << r.name;
            EXPECT_EQ(T(w->toolTip()), r.hint) << r.name;
            EXPECT_EQ(HelpContextOf(w),
                      std::string(r.name) == "SpeedButton1" ? kHelpCDBackup : kHelpBackup)
                << r.name;
        }
        EXPECT_EQ(d.edtFolder->maxLength(), 200);
        EXPECT_FALSE(d.cboxCD->isChecked());
    });
    WithRestore([&](TfmRestore& d) {
        EXPECT_EQ(T(d.windowTitle()), "Restore Data");
        EXPECT_EQ(T(d.Label7->text()), "Restore Larderly Data");
        EXPECT_EQ(T(d.Label2->text()), "Restore From:");
        EXPECT_EQ(T(d.edtFolder->text()), "A:\\");
        EXPECT_EQ(T(d.edtFolder->toolTip()),
                  "Enter the Path where your backup file resides. Do not enter the file name.");
        EXPECT_EQ(T(d.SpeedButton1->toolTip()), "Allows you to visually Select Path and File");
        EXPECT_EQ(T(d.lblDate->text()), "None");
        EXPECT_EQ(T(d.btnRestore->text()), "&Restore");
        EXPECT_EQ(T(d.btnRestore->toolTip()), "Restore Backup");
        EXPECT_EQ(T(d.btnClose->toolTip()), "Close Restoring Data");
        for (QWidget* w :
             {static_cast<QWidget*>(d.edtFolder), static_cast<QWidget*>(d.SpeedButton1),
              static_cast<QWidget*>(d.btnRestore)})
            EXPECT_EQ(HelpContextOf(w), kHelpRestore);
    });
}

TEST_F(BackupDialogsTest, FolderFieldIsNormalisedOnLeavingAndEnterMovesOn) {
    EXPECT_EQ(NormaliseFolderField("C;\\Backups\\Recipes\\"), "C:/Backups/Recipes");
    EXPECT_EQ(NormaliseFolderField("A:\\"), "A:/");
    EXPECT_EQ(NormaliseFolderField("/tmp/"), "/tmp");
    EXPECT_EQ(NormaliseFolderField("/"), "/");
    EXPECT_EQ(WithFinalSeparator("/tmp/bk"), "/tmp/bk/");
    EXPECT_EQ(WithFinalSeparator("A:\\"), "A:\\");

    Start();
    WithBackup([&](TfmBackup& d) {
        d.edtFolder->setText("\\tmp\\some\\where\\");
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(d.edtFolder, &out);
        EXPECT_EQ(T(d.edtFolder->text()), "/tmp/some/where");
        // Enter is taken by the field: no button runs, the dialog stays.
        QTest::keyClick(d.edtFolder, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(prompts_.asked().empty());
        // The folder browser's choice goes into the field.
        prompts_.AnswerFolder(std::string("/srv/backups"));
        ClickButton(d.SpeedButton1);
        EXPECT_EQ(T(d.edtFolder->text()), "/srv/backups");
    });
}

TEST_F(BackupDialogsTest, BackupAndRestoreRoundTripThroughTheDialogs) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    const std::string folder = NewFolder("bk");

    // Typed with backslashes and a final one: normalised, stored so, archive in the folder.
    std::string typed = folder + "\\";
    for (char& c : typed)
        if (c == '/') c = '\\';
    BackupTo(typed);
    EXPECT_TRUE(fs::exists(folder + "/" + kBackupArchiveName));
    EXPECT_FALSE(fs::exists(folder + "/recipebackup.002"));
    EXPECT_EQ(ReadBackupPath(), folder);
    EXPECT_EQ(ReadBackupDate(), TodayDayNumber());
    EXPECT_FALSE(ReadBackupToCD());
    EXPECT_EQ(IniFile(home_.SettingsFile()).ReadString("Backup", "ToCD", "?"), "0");

    // Reopened, the dialog shows the folder and today's date.
    WithBackup([&](TfmBackup& d) {
        EXPECT_EQ(T(d.edtFolder->text()), folder);
        EXPECT_EQ(T(d.lblDate->text()), BackupDateText(TodayDayNumber()));
        EXPECT_NE(T(d.lblDate->text()), "None");
    });

    // The data changes after the backup: one recipe goes, one comes.
    ExecSql(home_.Data() + "tbl102.nx1", "DELETE FROM tblRecipes WHERE Title = 'Apple Pie'");
    ExecSql(home_.Data() + "tbl102.nx1", kAddZucchini);
    ExecSql(home_.Data() + "tbl101.nx1", "DELETE FROM tblListLabel WHERE LabelName = 'Baked'");
    m.BuildRecipeList();
    m.ShowRecipeList();
    m.LabelsChanged();
    ASSERT_THAT(ListTitles(), ElementsAre("Bread", "Leek Soup", "Zucchini Fritters"));
    QComboBox* filterCategories = m.fmFilter->findChild<QComboBox*>("cbCategory1");
    ASSERT_NE(filterCategories, nullptr);
    ASSERT_EQ(filterCategories->findText("Baked"), -1);

    // Restored from the folder given with a final separator: the list shows the backup.
    WithRestore([&](TfmRestore& d) {
        EXPECT_EQ(T(d.edtFolder->text()), folder)
            << "the restore dialog starts at the last backup folder";
        EXPECT_EQ(T(d.lblDate->text()), BackupDateText(TodayDayNumber()));
        d.edtFolder->setText(Q(folder + "/"));
        prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
            .answer(PromptAnswer::Ok, JobText::kTablesRestored);
        ClickButton(d.btnRestore);
        EXPECT_TRUE(prompts_.done());
        // The question names the backup's date and folder, and Enter answers Cancel.
        const auto asked = prompts_.asked();
        const auto question =
            std::find_if(asked.begin(), asked.end(), [](const ScriptedPrompts::Asked& a) {
                return a.text.find(JobText::kRestoreQuestion) != std::string::npos;
            });
        ASSERT_NE(question, asked.end());
        EXPECT_EQ(question->text.rfind(
                      "Restore the backup of " + BackupDateText(TodayDayNumber()) + " ", 0),
                  0u)
            << question->text;
        EXPECT_NE(question->text.find(" in " + folder + "/"), std::string::npos) << question->text;
        EXPECT_EQ(question->buttons, PromptButtons::YesCancelSafe);
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open after a restore";
        EXPECT_TRUE(d.btnRestore->isEnabled());
        EXPECT_TRUE(d.btnClose->isEnabled());
    });
    EXPECT_THAT(ListTitles(), ElementsAre("Apple Pie", "Bread", "Leek Soup"));
    EXPECT_EQ(CurrentTitle(), "Apple Pie");
    EXPECT_EQ(T(m.fmRecipes->edtTitle->text()), "Apple Pie")
        << "the editor shows the list's first recipe";
    EXPECT_NE(filterCategories->findText("Baked"), -1)
        << "the pickers offer the restored categories";
    EXPECT_THAT(StoredTitles(), ElementsAre("Leek Soup", "Apple Pie", "Bread"));
    // The store is open again and works.
    EXPECT_EQ(m.Store().tblRecipes().RecordCount(), 3);
    EXPECT_EQ(ReadBackupDate(), TodayDayNumber()) << "a restore writes no settings";
}

TEST_F(BackupDialogsTest, SettingsAreWrittenOnlyAfterASuccessfulBackup) {
    Seed(home_.Home(), Recipes());
    Start();
    const std::string folder = NewFolder("bk");
    WriteBackupDate(1000);
    WriteBackupPath("/earlier");

    // A folder that does not exist, or a drive letter that names none.
    for (const std::string& missing :
         {home_.Home() + "nowhere", std::string("Q:/backups"), std::string()}) {
        WithBackup([&](TfmBackup& d) {
            d.edtFolder->setText(Q(missing));
            prompts_.answer(PromptAnswer::Ok, BackupText::kPathDoesNotExist);
            ClickButton(d.btnBackup);
            EXPECT_TRUE(prompts_.done()) << missing;
            EXPECT_TRUE(d.btnBackup->isEnabled());
        });
    }
    EXPECT_EQ(ReadBackupDate(), 1000);
    EXPECT_EQ(ReadBackupPath(), "/earlier");

    // An earlier backup that the user does not want overwritten: nothing is written.
    std::ofstream(folder + "/" + kBackupArchiveName) << "earlier backup";
    WithBackup([&](TfmBackup& d) {
        d.edtFolder->setText(Q(folder));
        prompts_.answer(PromptAnswer::No, JobText::kOverwrite);
        ClickButton(d.btnBackup);
        EXPECT_TRUE(prompts_.done());
        EXPECT_EQ(T(d.lblDate->text()), BackupDateText(1000));
    });
    EXPECT_EQ(ReadAll(folder + "/" + kBackupArchiveName), "earlier backup");
    EXPECT_EQ(ReadBackupDate(), 1000);
    EXPECT_EQ(ReadBackupPath(), "/earlier");

    // Yes replaces it; now the settings follow.
    WithBackup([&](TfmBackup& d) {
        d.edtFolder->setText(Q(folder));
        prompts_.answer(PromptAnswer::Yes, JobText::kOverwrite)
            .answer(PromptAnswer::Ok, BackupText::kBackupComplete);
        ClickButton(d.btnBackup);
        EXPECT_EQ(T(d.lblDate->text()), BackupDateText(TodayDayNumber()));
    });
    EXPECT_NE(ReadAll(folder + "/" + kBackupArchiveName), "earlier backup");
    EXPECT_EQ(ReadBackupDate(), TodayDayNumber());
    EXPECT_EQ(ReadBackupPath(), folder);
}

TEST_F(BackupDialogsTest, AnErrorRaisedByTheJobIsShownAfterTheButtonsComeBack) {
    Seed(home_.Home(), Recipes());
    Start();
    const std::string folder = NewFolder("bk");
    // A file where the temporary folder belongs: the job cannot create it.
    std::ofstream(home_.Home() + "temp") << "in the way";
    WithBackup([&](TfmBackup& d) {
        d.edtFolder->setText(Q(folder));
        prompts_.answer(PromptAnswer::Ok, JobText::kNoTempFolder);
        ClickButton(d.btnBackup);
        EXPECT_TRUE(d.btnBackup->isEnabled());
        EXPECT_TRUE(d.btnClose->isEnabled());
        EXPECT_FALSE(d.Busy());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    });
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(ReadBackupDate(), -1);
    EXPECT_FALSE(fs::exists(folder + "/" + kBackupArchiveName));
}

TEST_F(BackupDialogsTest, BackupToCDHandsOverAndIgnoresTheFolder) {
    Seed(home_.Home(), Recipes());
    Start();
    int handedOver = 0;
    WithBackup([&](TfmBackup& d) {
        d.OnBackupToCD = [&] { ++handedOver; };
        d.edtFolder->setText(Q(home_.Home() + "nowhere"));
        ClickButton(d.cboxCD);
        ClickButton(d.btnBackup);
    });
    EXPECT_EQ(handedOver, 1);
    EXPECT_TRUE(prompts_.asked().empty()) << "no folder check, no completion message";
    EXPECT_EQ(ReadBackupDate(), -1);
    EXPECT_EQ(IniFile(home_.SettingsFile()).Value("Backup", "BPath"), std::nullopt);

    // A stored CD target ticks the box when the dialog opens.
    WriteBackupToCD(true);
    WithBackup([&](TfmBackup& d) { EXPECT_TRUE(d.cboxCD->isChecked()); });
}

TEST_F(BackupDialogsTest, DisketteBackupAndRestoreThroughTheMappedDriveA) {
    // Enough hard-to-compress text for two diskettes.
    std::vector<SeedRecipe> big;
    for (int i = 0; i < 30; ++i)
        big.push_back({"Recipe " + std::to_string(100 + i), {}, NoisyText(60000, 7 + i)});
    Seed(home_.Home(), big);
    const std::string floppy = NewFolder("floppy");
    IniFile::WriteValue(home_.SettingsFile(), "Drives", "A", floppy);
    TfmMain& m = Start();

    // The default folder "A:\" is the diskette drive.
    WithBackup([&](TfmBackup& d) {
        EXPECT_EQ(T(d.edtFolder->text()), "A:\\");
        prompts_.answer(PromptAnswer::Ok, "Insert disk 1")
            .answer(PromptAnswer::Ok, "Insert disk 2")
            .answer(PromptAnswer::Ok, BackupText::kBackupComplete);
        ClickButton(d.btnBackup);
        EXPECT_TRUE(prompts_.done());
    });
    ASSERT_TRUE(fs::exists(floppy + "/recipebackup.001"));
    ASSERT_TRUE(fs::exists(floppy + "/recipebackup.002"));
    EXPECT_FALSE(fs::exists(floppy + "/recipebackup.003"));
    EXPECT_EQ(fs::file_size(floppy + "/recipebackup.001"), 1440000u);
    EXPECT_EQ(ReadBackupPath(), "A:/");

    ExecSql(home_.Data() + "tbl102.nx1", "DELETE FROM tblRecipes WHERE Title <> 'Recipe 100'");
    m.BuildRecipeList();
    m.ShowRecipeList();
    ASSERT_EQ(ListTitles().size(), 1u);

    WithRestore([&](TfmRestore& d) {
        d.edtFolder->setText("a:");
        prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
            .answer(PromptAnswer::Ok, "Insert disk 1")
            .answer(PromptAnswer::Ok, "Insert disk 2")
            .answer(PromptAnswer::Ok, JobText::kTablesRestored);
        ClickButton(d.btnRestore);
        EXPECT_TRUE(prompts_.done());
    });
    EXPECT_EQ(ListTitles().size(), 30u);
    EXPECT_EQ(CurrentTitle(), "Recipe 100");
    const auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 30u);
    EXPECT_EQ(stored[29].text, big[29].text);
}

TEST_F(BackupDialogsTest, AMissingFolderIsNamedAndCanBeCreatedFromTheMessage) {
    Seed(home_.Home(), Recipes());
    const std::string floppy = home_.Home() + "floppy-not-mounted";
    IniFile::WriteValue(home_.SettingsFile(), "Drives", "A", floppy);
    Start();
    const std::string wanted = home_.Home() + "new/backups";
    WithBackup([&](TfmBackup& d) {
        // A drive's folder is named with the letter typed, and not offered for creation.
        QTest::keyClick(d.edtFolder, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(d.edtFolder, "A:\\");
        prompts_.answer(PromptAnswer::Ok, "Path does not exist: " + floppy + " (A:/)");
        QTest::mouseClick(d.btnBackup, Qt::LeftButton);
        EXPECT_EQ(prompts_.asked().back().buttons, PromptButtons::Ok);
        EXPECT_FALSE(fs::exists(floppy));

        // An ordinary folder: No leaves it, Yes makes it and backs up there.
        QTest::keyClick(d.edtFolder, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(d.edtFolder, Q(wanted));
        prompts_.answer(PromptAnswer::No, "Path does not exist: " + wanted + "\n\nCreate");
        QTest::mouseClick(d.btnBackup, Qt::LeftButton);
        EXPECT_FALSE(fs::exists(wanted));
        prompts_.answer(PromptAnswer::Yes, "Path does not exist: " + wanted + "\n\nCreate")
            .answer(PromptAnswer::Ok, BackupText::kBackupComplete);
        QTest::mouseClick(d.btnBackup, Qt::LeftButton);
        EXPECT_TRUE(prompts_.done());
    });
    EXPECT_TRUE(fs::exists(wanted + "/" + kBackupArchiveName));
    EXPECT_EQ(ReadBackupPath(), wanted);
}

TEST_F(BackupDialogsTest, AnotherDriveLetterIsAFolderWithoutDiskettePrompts) {
    Seed(home_.Home(), Recipes());
    const std::string drive = NewFolder("driveB");
    IniFile::WriteValue(home_.SettingsFile(), "Drives", "B", drive);
    Start();
    // Typed with ";" for ":" and a backslash: "b:/" after leaving the field.
    BackupTo("b;\\");
    EXPECT_TRUE(fs::exists(drive + "/" + kBackupArchiveName));
    EXPECT_EQ(ReadBackupPath(), "b:/");
    WithRestore([&](TfmRestore& d) {
        EXPECT_EQ(T(d.edtFolder->text()), "b:/");
        prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
            .answer(PromptAnswer::Ok, JobText::kTablesRestored);
        ClickButton(d.btnRestore);
    });
    EXPECT_THAT(prompts_.messages(), ::testing::Not(::testing::Contains(HasSubstr("Insert disk"))));
}

TEST_F(BackupDialogsTest, CancelDuringABackupKeepsTheEarlierBackupAndTheSettings) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    const std::string folder = NewFolder("bk");
    BackupTo(folder);
    const std::string earlier = ReadAll(folder + "/" + kBackupArchiveName);
    WriteBackupDate(1000);
    ExecSql(home_.Data() + "tbl102.nx1", kAddZucchini);

    struct Case {
        const char* name;
        std::function<bool(Tfmlha&)> when;
        std::function<void(Tfmlha&)> act;
    };
    const std::vector<Case> cases{
        {"Cancel while the tables are compressed", Started, ClickCancel},
        {"Escape while the set is written",
         [](Tfmlha& w) { return Label2Starts(w, JobText::kWritingToDisk); }, PressEscape},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WithBackup([&](TfmBackup& d) {
            DuringJob cancel(&d, c.when, c.act);
            prompts_.answer(PromptAnswer::Yes, JobText::kOverwrite)
                .answer(PromptAnswer::Ok,
                        std::string(JobText::kBackupFailed) + "\nThe backup was cancelled.");
            ClickButton(d.btnBackup);
            EXPECT_TRUE(prompts_.done());
            EXPECT_TRUE(cancel.fired);
            EXPECT_TRUE(cancel.visible);
            EXPECT_EQ(cancel.caption, JobText::kBackupCaption);
            EXPECT_EQ(cancel.label1, JobText::kWait);
            EXPECT_EQ(d.findChild<Tfmlha*>(), nullptr)
                << "the job window is destroyed after its job";
            EXPECT_TRUE(d.btnBackup->isEnabled());
        });
        EXPECT_TRUE(ReadAll(folder + "/" + kBackupArchiveName) == earlier)
            << "the earlier backup changed";
        EXPECT_EQ(ReadBackupDate(), 1000);
        EXPECT_THAT(StoredTitles(),
                    ElementsAre("Leek Soup", "Apple Pie", "Bread", "Zucchini Fritters"));
        // The store was opened again: the program goes on working with it.
        EXPECT_EQ(m.Store().tblRecipes().RecordCount(), 4);
    }
}

TEST_F(BackupDialogsTest, CancelDuringARestoreKeepsTheData) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    const std::string folder = NewFolder("bk");
    BackupTo(folder);
    ExecSql(home_.Data() + "tbl102.nx1", kAddZucchini);
    m.BuildRecipeList();
    m.ShowRecipeList();

    struct Case {
        const char* name;
        std::function<bool(Tfmlha&)> when;
        std::function<void(Tfmlha&)> act;
    };
    const std::vector<Case> cases{
        {"Escape while the set is read", Started, PressEscape},
        {"Cancel after the first table has expanded",
         [](Tfmlha& w) { return Label2Starts(w, "Expanding "); }, ClickCancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WithRestore([&](TfmRestore& d) {
            DuringJob cancel(&d, c.when, c.act);
            prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
                .answer(PromptAnswer::Ok,
                        std::string(JobText::kRestoreFailed) + "\nThe restore was cancelled.");
            ClickButton(d.btnRestore);
            EXPECT_TRUE(prompts_.done());
            EXPECT_TRUE(cancel.fired);
            EXPECT_EQ(cancel.caption, JobText::kRestoreCaption);
            EXPECT_EQ(cancel.label1, JobText::kReadingBackup);
        });
        EXPECT_THAT(StoredTitles(),
                    ElementsAre("Leek Soup", "Apple Pie", "Bread", "Zucchini Fritters"));
        EXPECT_THAT(ListTitles(),
                    ElementsAre("Apple Pie", "Bread", "Leek Soup", "Zucchini Fritters"));
    }
}

TEST_F(BackupDialogsTest, RestoreErrors) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    const std::string empty = NewFolder("empty");
    const std::string junk = NewFolder("junk");
    std::ofstream(junk + "/" + kBackupArchiveName) << "this is no segment at all";
    const std::string backup = NewFolder("bk");
    BackupTo(backup);
    ExecSql(home_.Data() + "tbl102.nx1", kAddZucchini);
    m.BuildRecipeList();
    m.ShowRecipeList();
    const std::vector<std::string> before{"Leek Soup", "Apple Pie", "Bread", "Zucchini Fritters"};

    struct Case {
        std::string name;
        std::string field;
        std::vector<std::pair<PromptAnswer, std::string>> script;
        bool focusInField;
    };
    const std::vector<Case> cases{
        {"empty field", "", {{PromptAnswer::Ok, RestoreText::kEnterPath}}, false},
        {"no backup in the folder",
         empty,
         {{PromptAnswer::Ok, std::string(RestoreText::kNoBackupFile) + " Looked for " + empty +
                                 "/" + kBackupArchiveName + "."}},
         true},
        {"unmapped drive", "Q:\\", {{PromptAnswer::Ok, RestoreText::kNoBackupFile}}, true},
        {"overwrite declined", backup, {{PromptAnswer::Cancel, JobText::kRestoreQuestion}}, false},
        {"not a segment",
         junk,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion},
          {PromptAnswer::Cancel, "Incorrect Diskette Inserted!"},
          // The fixed first line, and the cause below it in words.
          {PromptAnswer::Ok, std::string(JobText::kRestoreFailed) + "\nThe backup in " + junk +
                                 "/ cannot be read (a part of the set is missing or cut short)"}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WithRestore([&](TfmRestore& d) {
            d.edtFolder->setText(Q(c.field));
            for (const auto& [answer, text] : c.script)
                prompts_.answer(answer, text);
            ClickButton(d.btnRestore);
            EXPECT_TRUE(prompts_.done());
            EXPECT_TRUE(d.btnRestore->isEnabled());
            if (c.focusInField && QApplication::activeWindow() == &d) {
                EXPECT_EQ(QApplication::focusWidget(), d.edtFolder);
            }
        });
        EXPECT_EQ(StoredTitles(), before);
        EXPECT_EQ(ListTitles().size(), 4u);
    }
    for (const auto& a : prompts_.asked()) {
        if (a.text == RestoreText::kEnterPath) {
            EXPECT_EQ(a.kind, PromptKind::Error) << "shown by the error handler";
        }
    }
}

TEST_F(BackupDialogsTest, ASetWithoutEveryTableEndsTheProgramAndKeepsTheData) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    // A set holding three of the four table files.
    const std::string folder = NewFolder("three");
    const std::string copies = NewFolder("copies");
    TSegArchive set;
    set.SetSegBaseName(kBackupBaseName);
    set.SetSegSize(100000000);
    set.SetSegDir(folder + "/");
    set.SetTempArchivePath(NewFolder("scratch") + "/");
    for (const char* f : {"tbl101.nx1", "tbl102.nx1", "tbl103.nx1"}) {
        fs::copy_file(home_.Data() + f, copies + "/" + f);
        set.FilesToProcess.push_back(copies + "/" + f);
    }
    set.Compress();
    ASSERT_TRUE(fs::exists(folder + "/" + kBackupArchiveName));

    ProgramEndRecorder end;
    WithRestore([&](TfmRestore& d) {
        d.edtFolder->setText(Q(folder));
        prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
            .answer(PromptAnswer::Ok, JobText::kDataFilesNotFound);
        ClickButton(d.btnRestore);
        EXPECT_TRUE(prompts_.done());
    });
    EXPECT_EQ(end.requests, 1);
    EXPECT_THAT(StoredTitles(), ElementsAre("Leek Soup", "Apple Pie", "Bread"));
    EXPECT_EQ(m.Store().tblRecipes().RecordCount(), 3);
}

// After a start-up error only what cannot make things worse is offered, and File, Restore
// (through the menu's keys) from a good backup brings the data back.
TEST_F(BackupDialogsTest, AfterAStartUpErrorOnlyRestoreHelpAndCloseAreOffered) {
    Seed(home_.Home(), Recipes());
    Start();
    const std::string folder = NewFolder("bk");
    BackupTo(folder);
    main_.reset();
    fs::remove(home_.Data() + "tbl101.nx1");

    prompts_.answer(PromptAnswer::Ok, "tbl101.nx1 not found");
    TfmMain& m = Start();
    ASSERT_TRUE(prompts_.done());
    EXPECT_NE(prompts_.messages().back().find("Restore a backup (File, Restore)"),
              std::string::npos)
        << prompts_.messages().back();
    for (QAction* on : {m.Restore1, m.Contents1, m.Exit1})
        EXPECT_TRUE(on->isEnabled()) << T(on->text());
    for (QAction* off : {m.Backup1, m.Categories1, m.Export1, m.actPrint})
        EXPECT_FALSE(off->isEnabled()) << T(off->text());

    // Alt+F opens the File menu; R is Restore's key there.
    QTest::keyClick(&m, Qt::Key_F, Qt::AltModifier);
    QApplication::processEvents();
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr) << "the File menu did not open";
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfmRestore*>(QApplication::activeModalWidget());
        if (!d) {
            ADD_FAILURE() << "the restore dialog did not open";
            return;
        }
        seen = true;
        QTest::keyClick(d->edtFolder, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(d->edtFolder, Q(folder));
        prompts_.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
            .answer(PromptAnswer::Ok, JobText::kTablesRestored)
            .answer(PromptAnswer::Ok, "Your data is restored. Close the program and start it");
        QTest::mouseClick(d->btnRestore, Qt::LeftButton);
        d->done(0);
    });
    QTest::keyClick(menu, Qt::Key_R);
    QApplication::processEvents();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(prompts_.done());
    EXPECT_TRUE(fs::exists(home_.Data() + "tbl101.nx1"));
    EXPECT_THAT(StoredTitles(), ElementsAre("Leek Soup", "Apple Pie", "Bread"));
    // The next start shows them, with everything offered again.
    main_.reset();
    Start();
    EXPECT_THAT(ListTitles(), ElementsAre("Apple Pie", "Bread", "Leek Soup"));
    EXPECT_TRUE(main_->Backup1->isEnabled());
}

} // namespace
} // namespace larderly::test
