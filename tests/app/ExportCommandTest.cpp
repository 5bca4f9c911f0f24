// File > Export in the main window, worked as the user works it: the menu by keyboard, the
// Export window's buttons and pickers by mouse and keys, the save dialog answered by the
// script. The file written reads back through the importer; recipes the character set cannot
// carry are named; a file that cannot be written is reported and none is left.
#include "workspace/GuiFixture.h"

#include "app/QtPrompts.h"
#include "import/ImportCommand.h"
#include "import/ImportTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

#include <gmock/gmock.h>

#include <functional>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ExportCommandTest : public GuiTest {
protected:
    TfmMain& StartActive() {
        TfmMain& m = Start();
        QApplication::setActiveWindow(&m);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m));
        return m;
    }

    // Opens File > Export by keyboard; `work` runs on the Export window once it shows (it
    // is modal), and should end it with one of its buttons.
    void ExportThroughTheMenu(const std::function<void(QDialog&)>& work) {
        bool seen = false;
        auto* poll = new QTimer(main_.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!w || w->objectName() != "fmExport") return;
            poll->stop();
            seen = true;
            work(*w);
            if (w->isVisible()) w->reject();
        });
        poll->start();
        // A details box of an earlier export may have taken the activation.
        QApplication::setActiveWindow(main_.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(main_.get()));
        QTest::keyClick(main_.get(), Qt::Key_F, Qt::AltModifier);
        QMenu* file = main_->MainMenu1->findChild<QMenu*>("File1");
        ASSERT_TRUE(file->isVisible());
        QTest::keyClick(file, Qt::Key_X);
        QApplication::processEvents();
        delete poll;
        EXPECT_TRUE(seen) << "the Export window did not open";
    }

    std::string StatusText() { return main_->statusBar()->currentMessage().toStdString(); }

    QMessageBox* Details() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "ExportDetails" && w->isVisible())
                return qobject_cast<QMessageBox*>(w);
        return nullptr;
    }

    // The recipes a file gives when it is imported into an empty collection.
    static std::vector<import::test::StoredRecipe> ReadBack(const std::string& file) {
        import::test::TempStore target;
        import::TFileImport imp = import::ImportFile(target.store, file, import::TImportOptions{});
        EXPECT_TRUE(imp.Accepted) << file;
        return target.Recipes();
    }

    std::vector<SeedRecipe> Recipes() {
        // Texts as the importers store them: the servings line first.
        return {
            {"Crème brûlée",
             {"Desserts", "Französisch"},
             {"Serving Size  : 4", "Heat the cream; whisk in the yolks.", "Bake in a slow oven.",
              "", "Serve cold."}},
            {"Plain toast", {}, {"Serving Size  : 1", "Toast the bread."}},
            {"Jalapeño salsa",
             {"Sauces"},
             {"Serving Size  : 2 cups", "Chop; mix.", "Roast the peppers in the oven."}},
            {"Zucchini bread", {"Baking"}, {"Serving Size  : 8", "Grate, mix, bake in the oven."}}};
    }
};

TEST_F(ExportCommandTest, TheListedRecipesReadBackTheSameInTheListsOrder) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = StartActive();
    // The list narrowed by a search: only its three recipes are exported, in its order.
    auto* search = Find<QLineEdit>("edtSearch");
    QTest::keyClick(&m, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(search, "oven");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ListTitles().size() == 3u; }, 3000));
    const std::vector<std::string> listed = ListTitles();

    const std::string file = home_.Home() + "out/recipes.mmf";
    std::filesystem::create_directories(home_.Home() + "out");
    prompts_.AnswerSave(file, "Export Recipes");
    ExportThroughTheMenu([&](QDialog& w) {
        auto* listedButton = w.findChild<QRadioButton*>("rbListedRecipes");
        EXPECT_THAT(listedButton->text().toStdString(), HasSubstr("(3)"));
        EXPECT_TRUE(listedButton->isChecked());
        // Windows-1252 chosen with the arrow key in the character set picker.
        auto* encoding = w.findChild<QComboBox*>("cbEncoding");
        encoding->setFocus();
        QTest::keyClick(encoding, Qt::Key_Down);
        EXPECT_EQ(encoding->currentText().toStdString(), "Windows-1252");
        ClickButton(w.findChild<QPushButton*>("btnExport"));
    });
    // The save dialog started in the program folder with a name of the chosen type.
    ASSERT_FALSE(prompts_.asked().empty());
    EXPECT_EQ(prompts_.asked().back().what, "save");
    EXPECT_EQ(prompts_.asked().back().start, home_.Home() + "recipes.mmf");
    EXPECT_EQ(StatusText(), "3 of 3 recipes written to " + file + ".");
    EXPECT_EQ(Details(), nullptr) << "nothing to name";
    EXPECT_EQ(m.ExportFolder(), home_.Home() + "out/");

    const auto back = ReadBack(file);
    ASSERT_EQ(back.size(), 3u);
    const std::vector<SeedRecipe> seeded = Recipes();
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].title, listed[i]);
        for (const SeedRecipe& r : seeded)
            if (r.title == back[i].title) {
                std::vector<std::string> cats(back[i].categories.begin(), back[i].categories.end());
                cats.erase(std::remove(cats.begin(), cats.end(), ""), cats.end());
                EXPECT_EQ(cats, r.categories) << r.title;
                EXPECT_EQ(back[i].lines, r.text) << r.title;
            }
    }
    // The file is Windows-1252: "è" is one byte.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(bytes.find("Cr\xe8me"), std::string::npos);
}

TEST_F(ExportCommandTest, ARecipeTheCharacterSetLacksIsWrittenNearestOrLeftOutWhenStrict) {
    Seed(home_.Home(), {{"Euro cake", {"Cakes"}, {"Serving Size  : 8", "Costs 2 € a slice."}},
                        {"Plain toast", {}, {"Serving Size  : 1", "Toast the bread."}}});
    TfmMain& m = StartActive();
    auto chooseCp437MasterCook = [](QDialog& w) {
        auto* format = w.findChild<QComboBox*>("cbFormat");
        format->setFocus();
        QTest::keyClick(format, Qt::Key_End);
        auto* encoding = w.findChild<QComboBox*>("cbEncoding");
        encoding->setFocus();
        QTest::keyClick(encoding, Qt::Key_End);
        EXPECT_EQ(encoding->currentText().toStdString(), "Code page 437");
    };
    const std::string file = home_.Home() + "both.mxp";
    prompts_.AnswerSave(file, "Export Recipes");
    ExportThroughTheMenu([&](QDialog& w) {
        chooseCp437MasterCook(w);
        ClickButton(w.findChild<QPushButton*>("btnExport"));
    });
    EXPECT_EQ(prompts_.asked().back().start, home_.Home() + "recipes.mxp");
    // "€" is written as "EUR", and the recipe is not counted as written unchanged.
    EXPECT_EQ(StatusText(),
              "2 of 2 recipes written to " + file + ". 1 of them reads back differently.");
    QMessageBox* details = Details();
    ASSERT_NE(details, nullptr);
    EXPECT_THAT(details->informativeText().toStdString(),
                HasSubstr("\"Euro cake\": code page 437 lacks some characters; written \"€\" "
                          "(U+20AC) as \"EUR\""));
    details->close();
    const auto back = ReadBack(file);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].lines.back(), "Costs 2 EUR a slice.");

    // With the tick box the shown recipe alone (the editor shows Euro cake) cannot be written
    // at all: the file already there stays as it was, and no empty file claims an export.
    // The format and the character set chosen last are offered again.
    std::ofstream(home_.Home() + "Euro cake.mxp") << "older file";
    ASSERT_EQ(CurrentTitle(), "Euro cake");
    prompts_.AnswerSave(home_.Home() + "Euro cake.mxp", "Export Recipes");
    ExportThroughTheMenu([&](QDialog& w) {
        EXPECT_EQ(w.findChild<QComboBox*>("cbEncoding")->currentText().toStdString(),
                  "Code page 437");
        auto* shown = w.findChild<QRadioButton*>("rbShownRecipe");
        EXPECT_THAT(shown->text().toStdString(), HasSubstr("Euro cake"));
        ClickButton(shown);
        EXPECT_TRUE(shown->isChecked());
        auto* strict = w.findChild<QCheckBox*>("cboxStrict");
        ASSERT_NE(strict, nullptr);
        ClickButton(strict);
        EXPECT_TRUE(strict->isChecked());
        ClickButton(w.findChild<QPushButton*>("btnExport"));
    });
    EXPECT_EQ(prompts_.asked().back().start, home_.Home() + "Euro cake.mxp");
    EXPECT_EQ(StatusText(), "0 of 1 recipe could be written; no file was made.");
    ASSERT_NE(Details(), nullptr);
    EXPECT_THAT(Details()->informativeText().toStdString(), HasSubstr("Not written:"));
    EXPECT_THAT(Details()->informativeText().toStdString(), HasSubstr("€"));
    Details()->close();
    std::ifstream kept(home_.Home() + "Euro cake.mxp");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "older file");
    (void)m;
}

TEST_F(ExportCommandTest, ABookWithAnAdditionAFailedWriteAndNoExportWhileEditing) {
    const auto ids = Seed(home_.Home(), Recipes());
    SeedBookEntries(home_.Home(), "Sweets", {ids[0]});
    TfmMain& m = StartActive();
    // In the book pane the book it shows is offered; Plain toast is added (and stored).
    QTest::keyClick(&m, Qt::Key_F2);
    ASSERT_TRUE(m.IsActivePane(m.fmRecipeBook));
    auto& model = m.ListModel();
    for (int i = 0; i < model.Count(); ++i)
        if (model.SummaryAt(i)->Title == "Plain toast")
            QTest::mouseClick(m.rptViewRecipes->viewport(), Qt::LeftButton, {},
                              m.rptViewRecipes->visualRect(model.index(i)).center());
    ClickButton(m.fmRecipeBook->findChild<QPushButton*>("btnAdd"));
    ASSERT_FALSE(m.fmRecipeBook->BookChanged);

    const std::string file = home_.Home() + "Sweets.mmf";
    prompts_.AnswerSave(file, "Export Recipes");
    ExportThroughTheMenu([&](QDialog& w) {
        EXPECT_TRUE(w.findChild<QRadioButton*>("rbBook")->isChecked());
        EXPECT_EQ(w.findChild<QComboBox*>("cbBook")->currentText().toStdString(), "Sweets");
        ClickButton(w.findChild<QPushButton*>("btnExport"));
    });
    EXPECT_EQ(prompts_.asked().back().start, home_.Home() + "Sweets.mmf");
    std::vector<std::string> titles;
    for (const auto& r : ReadBack(file))
        titles.push_back(r.title);
    EXPECT_THAT(titles, ElementsAre("Crème brûlée", "Plain toast"));

    // A folder that is not there: the reason is shown and no file is left.
    const std::string bad = home_.Home() + "missing/x.mmf";
    prompts_.AnswerSave(bad, "Export Recipes");
    prompts_.answer(PromptAnswer::Ok, "Unable to write " + bad + ": No such file or directory");
    ExportThroughTheMenu([&](QDialog& w) { ClickButton(w.findChild<QPushButton*>("btnExport")); });
    EXPECT_FALSE(std::filesystem::exists(bad));

    // While a recipe is edited the command waits.
    QTest::keyClick(&m, Qt::Key_F4);
    ClickButton(m.fmRecipes->btnEdit);
    ASSERT_TRUE(m.fmRecipes->Editing());
    EXPECT_FALSE(m.Export1->isEnabled());
    ClickButton(m.fmRecipes->btnUndo);
    EXPECT_TRUE(m.Export1->isEnabled());
}

TEST_F(ExportCommandTest, ALargeExportShowsTheProgressWindow) {
    std::vector<SeedRecipe> many;
    for (int i = 0; i < 250; ++i)
        many.push_back(
            {"Recipe " + std::to_string(1000 + i), {"Bulk"}, {"Serving Size  : 1", "Text."}});
    Seed(home_.Home(), many);
    StartActive();
    const std::string file = home_.Home() + "all.mmf";
    prompts_.AnswerSave(file, "Export Recipes");
    // The progress window is looked for while the export runs (it lets timers run).
    bool progressSeen = false;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "fmProgress" && w->isVisible()) progressSeen = true;
    });
    watch.start();
    ExportThroughTheMenu([&](QDialog& w) { ClickButton(w.findChild<QPushButton*>("btnExport")); });
    watch.stop();
    EXPECT_TRUE(progressSeen);
    EXPECT_EQ(StatusText(), "250 of 250 recipes written to " + file + ".");
    EXPECT_EQ(ReadBack(file).size(), 250u);
}

TEST(ExportSaveDialogTest, StartsAtTheSuggestedNameAndAddsTheTypesExtension) {
    App();
    TempHome home;
    const std::string folder = home.Home() + "exports/";
    std::filesystem::create_directories(folder);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        seen = true;
        EXPECT_EQ(dlg->directory().absolutePath().toStdString() + "/", folder);
        EXPECT_EQ(dlg->selectedNameFilter().toStdString(), "MasterCook Text File (*.mxp)");
        auto* name = dlg->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text().toStdString(), "Sweets.mxp");
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, "party");
        QTest::keyClick(name, Qt::Key_Return);
        if (dlg->isVisible()) dlg->reject();
    });
    QtPrompts prompts;
    const std::optional<std::string> file =
        prompts.SaveFile("Export Recipes", {"MasterCook Text File (*.mxp)", "Any File (*.*)"},
                         folder + "Sweets.mxp");
    EXPECT_TRUE(seen);
    EXPECT_EQ(file, std::optional<std::string>(folder + "party.mxp"));
}

} // namespace
} // namespace larderly::test
