// The report engine on Qt's painter: any paged device (a PDF file, a printer, the preview's
// printer) with the report's margins of half an inch, lines of the current font, and a page
// callback for the status window.
#pragma once

#include "print/RecipeReport.h"
#include "print/ReportEngine.h"

#include <QFont>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <functional>
#include <string>

namespace larderly {

class TQtReportEngine : public TReportEngine {
public:
    // The painter must be active on the device; the device's page layout gives the paper and
    // its margins. The first page counts as begun.
    TQtReportEngine(QPagedPaintDevice& device, QPainter& painter);

    // Called with the page number whenever a page begins (1 for the first, at once).
    void SetOnPage(std::function<void(int)> onPage);
    int PageCount() const { return page_; }

    void SetFont(const std::string& name, double points) override;
    double PageWidth() const override { return paperWidth_; }
    double SectionLeft() const override { return left_; }
    double SectionRight() const override { return right_; }
    void PrintCenter(const std::string& text, double x) override;
    void Println(const std::string& text) override;
    void PrintAt(const std::string& text, double x) override;
    void SetBold(bool bold) override;
    void NewLine() override;
    int LinesLeft() const override;
    void NewPage() override;
    double TextWidth(const std::string& text) const override;

private:
    double LineHeight() const;
    double Ascent() const;
    QPointF ToDevice(double xInches, double yInches) const;

    QPagedPaintDevice& dev_;
    QPainter& p_;
    QFont font_;
    double dpiX_ = 72, dpiY_ = 72;
    double paperWidth_ = 8.5, paperHeight_ = 11;
    double left_ = 0.5, right_ = 8.0, top_ = 0.5, bottom_ = 10.5; // section, in inches
    double originX_ = 0.5, originY_ = 0.5; // where the painter's origin sits on the paper
    double y_ = 0.5;                       // top of the current line
    int page_ = 1;
    std::function<void(int)> onPage_;
};

// The paper of the user's regional settings: Letter in the United States and the few other
// countries that use it, A4 everywhere else.
QPageSize LocalePageSize();

// The given paper (the locale's when none is given) with the report's margins of half an
// inch on every side.
void SetupReportPage(QPagedPaintDevice& device, const QPageSize& size = QPageSize());

// Today's date as the report prints it, with the date separator of the user's regional
// settings.
std::string TodayReportDate();

// Saves a PDF file that `draw` paints on the writer it is given (it sets the page layout and
// gives the number of pages). The PDF is made in memory and written through an OutputFile:
// only a regular file or a new name is replaced, and a failed write (a full disk) raises
// and leaves the old file. Needs a QGuiApplication.
int SavePdf(const std::string& file, const std::function<int(QPdfWriter&)>& draw);

// Draws the report into a PDF file; gives the number of pages. Raises when the file cannot
// be written. Needs a QGuiApplication.
int WriteRecipeReportPdf(const TRecipeReportData& data, const std::string& file,
                         const std::string& dateText);

} // namespace larderly
