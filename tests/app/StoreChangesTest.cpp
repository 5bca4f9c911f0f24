// The window while another program (the command line) writes the same tables: its changes
// show in the list, the shown recipe and the pickers after the window's next look, never in
// the middle of an edit, and a save in the window keeps them.
#include "workspace/GuiFixture.h"

#include "RunCommand.h"

#include "platform/FolderLock.h"
#include "store/Labels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace larderly::test {
namespace {

class StoreChangesTest : public GuiTest {
protected:
    // The other program: a store of its own on the same folder.
    void SetUp() override {
        Seed(home_.Home(), {{"Apple pie", {}, {"text of Apple pie"}},
                            {"Carrot cake", {}, {"text of Carrot cake"}}});
        other_.OpenDatabase(home_.Home());
        other_.SetTablesOpen(true);
    }

    int32_t OtherSaves(const std::string& title, std::vector<std::string> lines, int32_t id = -1,
                       const std::string& category = {}) {
        RecipeValue v{id, title, {-1, -1, -1, -1}, std::move(lines)};
        Transaction tx(other_);
        if (!category.empty()) v.Category[0] = CreateLabel(other_, category, 0);
        other_.SaveRecipeValue(v);
        tx.Commit();
        return v.InternalID;
    }
    int32_t IdOf(const std::string& title) {
        for (const auto& r : Stored(home_.Home()))
            if (r.title == title) return r.id;
        return -1;
    }
    bool Listed(const std::string& title) {
        const auto titles = ListTitles();
        return std::find(titles.begin(), titles.end(), title) != titles.end();
    }
    QString Memo() { return main_->fmRecipes->Memo1->toPlainText(); }

    TfmTables other_;
};

TEST_F(StoreChangesTest, OtherProgramsWritesShowAndAGuiSaveKeepsThem) {
    Start();
    ClickListRow("Carrot cake");
    // A new recipe with a new category, and new text for the recipe the window shows.
    OtherSaves("Banana bread", {"text of Banana bread"}, -1, "Breads");
    OtherSaves("Carrot cake", {"new text of Carrot cake"}, IdOf("Carrot cake"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Listed("Banana bread"); }, 5000));
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Apple pie", "Banana bread", "Carrot cake"}));
    EXPECT_EQ(CurrentTitle(), "Carrot cake") << "the shown recipe stays current";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Memo() == "new text of Carrot cake"; }, 2000))
        << Memo().toStdString();
    EXPECT_GE(main_->fmRecipes->cbCategory[0]->findText("Breads"), 0) << "the pickers refilled";

    // While a recipe is edited nothing moves; the edit's save keeps the other recipes.
    ClickButton(main_->fmRecipes->btnEdit);
    ASSERT_TRUE(main_->fmRecipes->Editing());
    main_->fmRecipes->Memo1->setFocus();
    QTest::keyClick(main_->fmRecipes->Memo1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(main_->fmRecipes->Memo1, " and walnuts");
    OtherSaves("Date loaf", {"text of Date loaf"});
    QTest::qWait(1500);
    EXPECT_FALSE(Listed("Date loaf")) << "not during the edit";
    EXPECT_EQ(Memo(), "new text of Carrot cake and walnuts");
    ClickButton(main_->fmRecipes->btnSave);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Listed("Date loaf"); }, 3000));
    EXPECT_EQ(CurrentTitle(), "Carrot cake");

    main_.reset();
    std::vector<std::string> titles, carrot;
    for (const auto& r : Stored(home_.Home())) {
        titles.push_back(r.title);
        if (r.title == "Carrot cake") carrot = r.text;
    }
    EXPECT_EQ(titles,
              (std::vector<std::string>{"Apple pie", "Carrot cake", "Banana bread", "Date loaf"}));
    EXPECT_EQ(carrot, std::vector<std::string>{"new text of Carrot cake and walnuts"});
}

TEST_F(StoreChangesTest, ARecipeDeletedElsewhereLeavesListAndEditor) {
    Start();
    ClickListRow("Carrot cake");
    const int32_t carrot = IdOf("Carrot cake");
    {
        Transaction tx(other_);
        other_.DeleteRecipe(carrot);
        tx.Commit();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Listed("Carrot cake"); }, 5000));
    EXPECT_EQ(CurrentTitle(), "Apple pie");
    EXPECT_EQ(main_->fmRecipes->edtTitle->text(), "Apple pie");
    EXPECT_EQ(Memo(), "text of Apple pie");
}

TEST_F(StoreChangesTest, CommandLineImportWhileTheWindowIsOpen) {
    Start();
    ClickListRow("Carrot cake");
    // The window holds no lock while it waits for its user: the import commits at once.
    const auto r =
        testing::RunCommand(testing::BuiltProgram("larderly-cli") + " --home " + home_.Home() +
                            " import " + LARDERLY_SOURCE_DIR + "/tests/data/import/mastercook.mxp");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::size_t stored = Stored(home_.Home()).size();
    ASSERT_GT(stored, 2u);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return static_cast<std::size_t>(main_->ListModel().Count()) == stored; }, 5000));
    EXPECT_EQ(CurrentTitle(), "Carrot cake");
}

// A save in the window while a command-line import holds the data folder: the window says in
// words which import, in which process, is writing, and keeps the edit in the editor; once the
// import has ended the same Save stores it, and the import's recipes are kept beside it.
TEST_F(StoreChangesTest, ASaveDuringACommandLineImportNamesItAndKeepsTheEdit) {
    const std::string recipes =
        std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/mealmaster-dashes.mmf";
    std::ifstream in(recipes, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    Start();
    ClickListRow("Carrot cake");

    // The import reads a named pipe: it holds the data folder's writer lock from its start and
    // then waits for its file until the test writes it.
    const std::string fifo = home_.Home() + "incoming.mmf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string program = testing::BuiltProgram("larderly-cli"),
                      log = home_.Home() + "cli.log";
    std::vector<std::string> args = {program, "--home", home_.Home(), "import", fifo};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    struct Reap {
        pid_t& pid;
        ~Reap() {
            if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        }
    } reap{pid};
    const std::string job = "the import in process " + std::to_string(pid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FolderLock::Writer(home_.Data()) == job; }, 10000))
        << FolderLock::Writer(home_.Data());

    // An edit, saved with Ctrl+S from the field being typed in.
    ClickButton(main_->fmRecipes->btnEdit);
    ClickButton(main_->fmRecipes->Memo1);
    QTest::keyClick(main_->fmRecipes->Memo1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(main_->fmRecipes->Memo1, " and walnuts");
    prompts_.answer(PromptAnswer::Ok, job + " is writing to the data folder");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(prompts_.done());
    const std::string told = prompts_.asked().back().text;
    EXPECT_EQ(told.find("database is locked"), std::string::npos) << told;
    EXPECT_NE(told.find("Try again when it has finished"), std::string::npos) << told;
    EXPECT_TRUE(main_->fmRecipes->Editing()) << "the edit stays open";
    EXPECT_EQ(Memo(), "text of Carrot cake and walnuts");
    EXPECT_FALSE(main_->Store().InTransaction());

    // The import gets its file and ends; then the same Save stores the edit.
    {
        const int w = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(w, 0);
        EXPECT_EQ(::write(w, file.data(), file.size()), static_cast<ssize_t>(file.size()));
        ::close(w);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    pid = 0;
    std::ifstream logIn(log);
    const std::string said((std::istreambuf_iterator<char>(logIn)),
                           std::istreambuf_iterator<char>());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    const std::size_t imported = Stored(home_.Home()).size() - 2;
    ASSERT_GT(imported, 0u) << said;
    ClickButton(main_->fmRecipes->btnSave);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return static_cast<std::size_t>(main_->ListModel().Count()) == imported + 2; },
        5000));

    main_.reset();
    std::vector<std::string> carrot;
    for (const auto& r : Stored(home_.Home()))
        if (r.title == "Carrot cake") carrot = r.text;
    EXPECT_EQ(carrot, std::vector<std::string>{"text of Carrot cake and walnuts"});
    EXPECT_EQ(Stored(home_.Home()).size(), imported + 2);
}

} // namespace
} // namespace larderly::test
