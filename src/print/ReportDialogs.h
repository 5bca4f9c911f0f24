// The report system of the main window (ReportSystem1): its setup dialog "Book Setup"
// (preview or printer, copies, collation, duplex, printer setup), the status window
// "Book Status" while pages are generated or printed, and the preview window "Preview Book".
#pragma once

#include "print/RecipeReport.h"

#include <QDialog>
#include <QPrinter>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QPrintPreviewDialog;
class QRadioButton;
class QSpinBox;

namespace larderly {

struct TReportSetup {
    bool Preview = true; // false: the printer
    int Copies = 1;
    bool Collate = false;
    bool Duplex = false;
    int PreviewZoom = report::kPreviewZoomPercent; // preview setup: zoom in percent
};

// The setup dialog "Book Setup".
class TReportSetupDialog : public QDialog {
    Q_OBJECT
public:
    TReportSetupDialog(QPrinter& printer, const TReportSetup& setup, QWidget* parent = nullptr);
    TReportSetup Setup() const;

private:
    void btnPrinterSetupClick();

    QPrinter& printer_;
    QRadioButton* rbPreview_ = nullptr;
    QRadioButton* rbPrinter_ = nullptr;
    QSpinBox* edtCopies_ = nullptr;
    QCheckBox* cboxCollate_ = nullptr;
    QCheckBox* cboxDuplex_ = nullptr;
    QSpinBox* edtZoom_ = nullptr;
};

// The status window "Book Status": one line, "Generating page 3" or "Printing page 3".
class TReportStatus : public QDialog {
    Q_OBJECT
public:
    TReportStatus(const char* pattern, QWidget* parent = nullptr);
    void SetPage(int page);
    QString Text() const;

private:
    const char* pattern_;
    QLabel* lblStatus_ = nullptr;
};

// The report system (ReportSystem1): lives as a child of the window it prints for, which
// is also the parent of its dialogs, and keeps the setup between runs.
class TReportSystem : public QObject {
    Q_OBJECT
public:
    explicit TReportSystem(QWidget* parent = nullptr);
    ~TReportSystem() override;

    // The report system of a window: its child named "ReportSystem1", made on first use.
    static TReportSystem& Of(QWidget& window);

    // Shows the setup dialog; false when it is cancelled. Replaceable for tests.
    std::function<bool(TReportSetup&, QPrinter&)> RunSetup;
    // Shows the preview window modally. Replaceable for tests (the window is built and its
    // pages generated before this is called).
    std::function<void(QPrintPreviewDialog&)> RunPreview;
    // When set, the printer writes a PDF file here instead of the chosen printer.
    std::string OutputFile;
    // The date printed; empty means today.
    std::string DateText;
    // The settings the setup dialog starts from; kept between runs.
    TReportSetup Setup;
    // Every status text shown during the last run, in order.
    std::vector<std::string> StatusLog;

    // Prints the recipe `recipeId`: loads it (a recipe or label that is gone raises the
    // store's error before any dialog), shows the setup dialog, then generates the pages
    // for the preview or the printer. Gives false when the setup dialog was cancelled.
    // With `servings` above 0, the ingredient amounts are printed scaled to that many
    // servings (when the recipe names its own).
    bool Execute(TfmTables& store, int32_t recipeId, int servings = 0);
    // Prints several recipes in one report, in the order given, each beginning on a new page
    // (a whole book). Every recipe is loaded first, so a recipe or label that is gone raises
    // the store's error before any dialog.
    bool Execute(TfmTables& store, const std::vector<int32_t>& recipeIds);
    // Prints a shopping list under its title, aisle by aisle.
    bool Execute(const std::string& title, const std::vector<ingredients::ShoppingItem>& items);

    // The kept printer settings (the setup dialog's Printer Setup changes them); jobs print on
    // fresh printers made from them.
    QPrinter& Printer() { return *printer_; }

private:
    // Draws the pages on an engine, given the date printed.
    using Drawing = std::function<void(TReportEngine&, const std::string&)>;
    bool Run(const Drawing& draw);
    int Render(QPagedPaintDevice& device, const Drawing& draw, const char* statusPattern);
    // A fresh printer for one job, carrying the kept printer's settings.
    std::unique_ptr<QPrinter> JobPrinter() const;

    QWidget* parent_;
    std::unique_ptr<QPrinter> printer_;
    bool pageChosen_ = false; // the paper was set up once; later jobs keep the user's choice
};

} // namespace larderly
