// The import's open dialog as the user meets it: the real file dialog, "MXP File"
// preselected, and "Any File" listing every file, also one without a dot in its name.
#include "workspace/GuiFixture.h"

#include "app/QtPrompts.h"
#include "import/ImportCommand.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <fstream>

namespace larderly::test {
namespace {

// The names the dialog's file list shows, once it has read the folder.
QStringList Listed(QFileDialog& dlg) {
    QStringList out;
    auto* view = dlg.findChild<QAbstractItemView*>("listView");
    if (!view) return out;
    const QModelIndex root = view->rootIndex();
    for (int i = 0; i < view->model()->rowCount(root); ++i)
        out << view->model()->index(i, 0, root).data().toString();
    return out;
}

TEST(ImportDialogTest, MxpIsPreselectedAndAnyFileListsNamesWithoutADot) {
    App();
    TempHome home;
    const std::string folder = home.Home() + "in";
    std::filesystem::create_directories(folder);
    for (const char* f : {"a.mxp", "plainname", "b.mmf"})
        std::ofstream(folder + "/" + f) << "x";

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        seen = true;
        EXPECT_EQ(dlg->selectedNameFilter().toStdString(), "MXP File (*.mxp)");
        EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(*dlg) == QStringList{"a.mxp"}; }, 3000))
            << Listed(*dlg).join(",").toStdString();
        // The file type list by keyboard: Home goes to "Any File".
        auto* types = dlg->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Home);
        EXPECT_EQ(dlg->selectedNameFilter().toStdString(), "Any File (*)");
        EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(*dlg).contains("plainname"); }, 3000))
            << Listed(*dlg).join(",").toStdString();
        EXPECT_EQ(Listed(*dlg).size(), 3);
        // Typing the name and Enter opens it.
        auto* name = dlg->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setFocus();
        QTest::keyClicks(name, "plainname");
        QTest::keyClick(name, Qt::Key_Return);
        if (dlg->isVisible()) dlg->reject();
    });
    QtPrompts prompts;
    const std::vector<std::string> files =
        prompts.OpenFiles(import::kImportDialogTitle, import::ImportDialogFilters(), folder, true);
    EXPECT_TRUE(seen);
    EXPECT_EQ(files, std::vector<std::string>{folder + "/plainname"});
}

} // namespace
} // namespace larderly::test
