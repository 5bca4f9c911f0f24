// File > Import's options and summary in the main window: the options the settings file
// remembers reach the readers, the status bar sums the import up, a details box names what
// was refused or skipped, and the open dialog's option widgets give the options back.
#include "app/TfmMainImport.h"
#include "workspace/GuiFixture.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include <fstream>

namespace larderly::test {
namespace {

class ImportOptionsTest : public GuiTest {};

std::string Fixture(const std::string& name) {
    return std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/" + name;
}

TEST_F(ImportOptionsTest, RememberedOptionsSummaryAndDetails) {
    Seed(home_.Home(), {{"Plain Rice", {}, {}}});
    std::ofstream(home_.SettingsFile(), std::ios::app)
        << "[Import]\nEncoding=cp437\nSkipExisting=1\n";
    TfmMain& m = Start();
    prompts_.AnswerOpen({Fixture("mealmaster-mmmmm.mmf"), Fixture("mealmaster-dashes.mmf"),
                         Fixture("not-a-recipe.txt")});
    prompts_.answer(PromptAnswer::Ok, "Improper Recipe File");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    // "Plain Rice" is skipped, the rest goes in, and code page 437 gives the accent.
    std::vector<std::string> titles = ListTitles();
    EXPECT_EQ(titles.size(), 4u);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Caf\xC3\xA9 au lait"), titles.end());
    EXPECT_EQ(m.statusBar()->currentMessage().toStdString(),
              "3 recipes added from 3 files, 1 skipped, 1 refused.");
    auto* details = m.findChild<QMessageBox*>("ImportDetails");
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->isVisible());
    EXPECT_NE(details->informativeText().toStdString().find("1 recipe skipped"), std::string::npos);

    // Without the option, the same file stops at its first title and the user is told.
    WriteImportOptions({import::TEncoding::Auto, false});
    prompts_.AnswerOpen({Fixture("mealmaster-mmmmm.mmf")});
    prompts_.answer(PromptAnswer::Ok, "is already in the collection; nothing was imported from");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    EXPECT_EQ(ListTitles().size(), 4u);
    EXPECT_EQ(m.statusBar()->currentMessage().toStdString(),
              "0 recipes added from 1 file, 1 refused.");
    EXPECT_TRUE(prompts_.failures().empty());
}

TEST_F(ImportOptionsTest, DialogShowsAndReturnsTheOptions) {
    TImportFileDialog dialog(nullptr, home_.Home(), {import::TEncoding::Cp850, true});
    EXPECT_EQ(dialog.selectedNameFilter().toStdString(), "MXP File (*.mxp)");
    EXPECT_EQ(dialog.cbEncoding->currentData().toString().toStdString(), "cp850");
    EXPECT_TRUE(dialog.cboxSkipExisting->isChecked());
    dialog.show();
    QApplication::processEvents();
    // The user picks code page 437 with the keyboard and clears the check box with a click.
    dialog.cbEncoding->setFocus();
    QTest::keyClick(dialog.cbEncoding, Qt::Key_Up);
    QTest::mouseClick(dialog.cboxSkipExisting, Qt::LeftButton, {},
                      QPoint(8, dialog.cboxSkipExisting->height() / 2));
    import::TImportOptions o = dialog.Options();
    EXPECT_EQ(o.Encoding, import::TEncoding::Cp437);
    EXPECT_FALSE(o.SkipExisting);

    WriteImportOptions(o);
    import::TImportOptions back = ReadImportOptions();
    EXPECT_EQ(back.Encoding, import::TEncoding::Cp437);
    EXPECT_FALSE(back.SkipExisting);
}

// The names the dialog's file list shows, once it has read the folder.
QStringList Listed(QFileDialog& dlg) {
    QStringList out;
    auto* view = dlg.findChild<QAbstractItemView*>("listView");
    if (!view) return out;
    const QModelIndex root = view->rootIndex();
    for (int i = 0; i < view->model()->rowCount(root); ++i)
        out << view->model()->index(i, 0, root).data().toString();
    out.sort();
    return out;
}

TEST_F(ImportOptionsTest, FileTypesListEveryRecipeFileAndTheChoiceIsRemembered) {
    const std::string folder = home_.Home() + "in";
    std::filesystem::create_directories(folder);
    for (const char* f : {"a.mxp", "b.mmf", "c.txt", "d.mx2", "plainname", "e.doc"})
        std::ofstream(folder + "/" + f) << "x";
    const QString all = "All recipe files (*.mxp *.mx2 *.mmf *.txt)";
    {
        TImportFileDialog dialog(nullptr, folder, {});
        QTimer::singleShot(0, [&] {
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            ASSERT_NE(types, nullptr);
            types->setFocus();
            // "Any File" lists every file, also the one without a dot.
            QTest::keyClick(types, Qt::Key_Home);
            EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(dialog).size() == 6; }, 3000))
                << Listed(dialog).join(",").toStdString();
            // The entry before the web pages lists the four recipe file types.
            QTest::keyClick(types, Qt::Key_End);
            QTest::keyClick(types, Qt::Key_Up);
            EXPECT_EQ(dialog.selectedNameFilter(), all);
            const QStringList recipes{"a.mxp", "b.mmf", "c.txt", "d.mx2"};
            EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(dialog) == recipes; }, 3000))
                << Listed(dialog).join(",").toStdString();
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setFocus();
            QTest::keyClicks(name, "c.txt");
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog.isVisible()) dialog.reject();
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
    // The next import's dialog starts with the file type chosen.
    TImportFileDialog again(nullptr, folder, {});
    EXPECT_EQ(again.selectedNameFilter(), all);
}

} // namespace
} // namespace larderly::test
