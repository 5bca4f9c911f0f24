// The report system's run: setup dialog, printer output with its status texts, the preview
// window's settings, and refusals before any dialog for a recipe that is gone.
#include "PrintFixture.h"
#include "SmallDisk.h"

#include "print/QtReportEngine.h"
#include "print/ReportDialogs.h"
#include "store/StoreError.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QSpinBox>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace larderly {
namespace {

using test::TempStore;

// The widgets need a QApplication before any test runs.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QCoreApplication::instance()) app_ = new QApplication(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[16] = "print_tests";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

TEST(ReportSystem, PrinterOutputShowsPrintingStatusPerPage) {
    TempStore t;
    std::vector<std::string> text(200, "A line of the recipe.");
    const int32_t id = t.AddRecipe("Printed", {-1, -1, -1, -1}, text);
    TReportSystem rs;
    rs.OutputFile = t.home + "out.pdf";
    rs.DateText = "01/01/2027";
    int setups = 0;
    rs.RunSetup = [&](TReportSetup& s, QPrinter&) {
        ++setups;
        s.Preview = false;
        s.Copies = 2;
        return true;
    };
    ASSERT_TRUE(rs.Execute(t.store, id));
    EXPECT_EQ(setups, 1);
    EXPECT_TRUE(std::filesystem::exists(rs.OutputFile));
    ASSERT_GE(rs.StatusLog.size(), 2u);
    EXPECT_EQ(rs.StatusLog.front(), "Printing page 1");
    EXPECT_EQ(rs.StatusLog.back(), "Printing page " + std::to_string(rs.StatusLog.size()));
    EXPECT_EQ(rs.Printer().copyCount(), 2);
    EXPECT_EQ(rs.Printer().docName().toStdString(), "Recipe Report");
    // The choices are kept for the next run.
    EXPECT_EQ(rs.Setup.Copies, 2);
    EXPECT_FALSE(rs.Setup.Preview);
}

TEST(ReportSystem, PaperPickedInPrinterSetupStaysForTheSession) {
    TempStore t;
    const int32_t id = t.AddRecipe("Paper", {-1, -1, -1, -1}, {"x"});
    TReportSystem rs;
    rs.DateText = "01/01/2027";
    // The default printer's paper, or where there is none the locale's.
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    const QPageSize::PageSizeId first =
        printer.isNull() ? LocalePageSize().id() : printer.defaultPageSize().id();
    std::vector<QPageSize::PageSizeId> offered;
    rs.RunSetup = [&](TReportSetup& s, QPrinter& printer) {
        offered.push_back(printer.pageLayout().pageSize().id());
        // What Printer Setup writes into the printer when the user picks Legal.
        if (offered.size() == 1) printer.setPageSize(QPageSize(QPageSize::Legal));
        s.Preview = false;
        return true;
    };
    for (int run = 0; run < 2; ++run) {
        rs.OutputFile = t.home + "run" + std::to_string(run) + ".pdf";
        ASSERT_TRUE(rs.Execute(t.store, id));
    }
    EXPECT_THAT(offered, ::testing::ElementsAre(first, QPageSize::Legal));
    EXPECT_NE(first, QPageSize::Legal);
}

// A PDF file chosen as the printer's output is saved whole or not at all: a symbolic link
// is not written through, and a full disk fails the print and keeps the old file.
TEST(ReportSystem, PdfOutputReplacesOnlyARegularFileAndFailsOnAFullDisk) {
    TempStore t;
    const int32_t id = t.AddRecipe("Printed", {-1, -1, -1, -1}, {200, "A line of the recipe."});
    larderly::testing::SmallDisk disk;
    std::filesystem::create_directories(t.home + "out");
    std::ofstream(t.home + "out/pointee") << "keep";
    std::filesystem::create_symlink("pointee", t.home + "out/link.pdf");
    struct Case {
        std::string target, message;
    } cases[] = {
        {t.home + "out/link.pdf", "Cannot write " + t.home +
                                      "out/link.pdf: it is a symbolic link. Only a regular file "
                                      "is replaced; choose another file name."},
        {disk.path("old.pdf"),
         "Unable to write " + disk.path("old.pdf") + ": No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        if (c.target.rfind(t.home, 0) != 0) {
            if (!disk.ok()) continue; // mounting a small file system is not permitted here
            std::ofstream(c.target) << "old";
        }
        TReportSystem rs;
        rs.OutputFile = c.target;
        rs.RunSetup = [](TReportSetup& s, QPrinter&) {
            s.Preview = false;
            return true;
        };
        try {
            rs.Execute(t.store, id);
            ADD_FAILURE() << "the print was not refused";
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(std::filesystem::read_symlink(t.home + "out/link.pdf"), "pointee");
    std::ifstream pointee(t.home + "out/pointee");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(pointee), {}), "keep");
    if (disk.ok()) {
        std::ifstream old(disk.path("old.pdf"));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.path("")), {}), 2);
    }
}

TEST(ReportSystem, PreviewWindowIsGeneratedMaximisedAtFullZoom) {
    TempStore t;
    const int32_t id = t.AddRecipe("Previewed", {-1, -1, -1, -1}, {"Text."});
    TReportSystem rs;
    rs.DateText = "01/01/2027";
    rs.RunSetup = [](TReportSetup& s, QPrinter&) { return s.Preview; };
    bool shown = false;
    rs.RunPreview = [&](QPrintPreviewDialog& dlg) {
        shown = true;
        EXPECT_EQ(dlg.windowTitle().toStdString(), "Preview Book");
        EXPECT_TRUE(dlg.windowState() & Qt::WindowMaximized);
        auto* w = dlg.findChild<QPrintPreviewWidget*>();
        ASSERT_NE(w, nullptr);
        EXPECT_DOUBLE_EQ(w->zoomFactor(), 1.0);
        EXPECT_EQ(w->pageCount(), 1);
    };
    ASSERT_TRUE(rs.Execute(t.store, id));
    EXPECT_TRUE(shown);
    ASSERT_FALSE(rs.StatusLog.empty());
    EXPECT_EQ(rs.StatusLog.front(), "Generating page 1");
}

TEST(ReportSystem, SetupDialogCarriesTheChoices) {
    QPrinter printer;
    TReportSetup in;
    in.Preview = false;
    in.Copies = 3;
    in.Collate = true;
    TReportSetupDialog dlg(printer, in);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Book Setup");
    EXPECT_TRUE(dlg.findChild<QRadioButton*>("rbPrinter")->isChecked());
    dlg.findChild<QSpinBox*>("edtCopies")->setValue(5);
    dlg.findChild<QRadioButton*>("rbPreview")->setChecked(true);
    EXPECT_EQ(dlg.findChild<QSpinBox*>("edtZoom")->value(), 100);
    dlg.findChild<QSpinBox*>("edtZoom")->setValue(150);
    TReportSetup out = dlg.Setup();
    EXPECT_EQ(out.PreviewZoom, 150);
    EXPECT_TRUE(out.Preview);
    EXPECT_EQ(out.Copies, 5);
    EXPECT_TRUE(out.Collate);
    EXPECT_FALSE(out.Duplex);
}

TEST(ReportSystem, CancelledSetupOrMissingRecipePrintsNothing) {
    TempStore t;
    const int32_t id = t.AddRecipe("Kept", {-1, -1, -1, -1}, {"Text."});
    TReportSystem rs;
    rs.OutputFile = t.home + "never.pdf";
    int setups = 0;
    rs.RunSetup = [&](TReportSetup&, QPrinter&) {
        ++setups;
        return false;
    };
    EXPECT_FALSE(rs.Execute(t.store, id));
    EXPECT_THROW(
        {
            try {
                rs.Execute(t.store, id + 100);
            } catch (const EStoreError& e) {
                EXPECT_STREQ(e.what(), kRecipeNotFound);
                throw;
            }
        },
        EStoreError);
    EXPECT_EQ(setups, 1) << "no setup dialog for a recipe that is gone";
    EXPECT_FALSE(std::filesystem::exists(rs.OutputFile));
}

} // namespace
} // namespace larderly
