// The report engine on QPainter.
#include "print/QtReportEngine.h"

#include "platform/DayNumber.h"
#include "platform/Errors.h"
#include "platform/FileUtil.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPdfWriter>

#include <cmath>

namespace larderly {

namespace {
QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

TQtReportEngine::TQtReportEngine(QPagedPaintDevice& device, QPainter& painter)
    : dev_(device), p_(painter) {
    dpiX_ = device.logicalDpiX() > 0 ? device.logicalDpiX() : 72;
    dpiY_ = device.logicalDpiY() > 0 ? device.logicalDpiY() : 72;
    const QPageLayout layout = device.pageLayout();
    const QRectF full = layout.fullRect(QPageLayout::Inch);
    const QRectF paint = layout.paintRect(QPageLayout::Inch);
    paperWidth_ = full.width();
    paperHeight_ = full.height();
    left_ = paint.left();
    right_ = paint.right();
    top_ = paint.top();
    bottom_ = paint.bottom();
    // A paged device paints relative to its paint rectangle unless it prints the full page.
    originX_ = paint.left();
    originY_ = paint.top();
    y_ = top_;
    font_ = QFont(Q(report::kFontName));
    font_.setStyleHint(QFont::SansSerif);
    font_.setPointSizeF(report::kFontPoints);
    // No ligatures: the words of a printed or saved report read back letter for letter.
    font_.setStyleStrategy(QFont::PreferNoShaping);
}

void TQtReportEngine::SetOnPage(std::function<void(int)> onPage) {
    onPage_ = std::move(onPage);
    if (onPage_) onPage_(page_);
}

void TQtReportEngine::SetFont(const std::string& name, double points) {
    QFont f(Q(name));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    f.setStyleStrategy(QFont::PreferNoShaping);
    font_ = f;
    p_.setFont(font_);
}

double TQtReportEngine::LineHeight() const {
    QFontMetricsF fm(font_, &dev_);
    return fm.lineSpacing() / dpiY_;
}

double TQtReportEngine::Ascent() const {
    QFontMetricsF fm(font_, &dev_);
    return fm.ascent() / dpiY_;
}

double TQtReportEngine::TextWidth(const std::string& text) const {
    QFontMetricsF fm(font_, &dev_);
    return fm.horizontalAdvance(Q(text)) / dpiX_;
}

QPointF TQtReportEngine::ToDevice(double x, double y) const {
    return QPointF((x - originX_) * dpiX_, (y - originY_) * dpiY_);
}

void TQtReportEngine::PrintCenter(const std::string& text, double x) {
    p_.setFont(font_);
    const double w = TextWidth(text);
    p_.drawText(ToDevice(x - w / 2.0, y_ + Ascent()), Q(text));
}

void TQtReportEngine::Println(const std::string& text) {
    if (!text.empty()) {
        p_.setFont(font_);
        p_.drawText(ToDevice(left_, y_ + Ascent()), Q(text));
    }
    NewLine();
}

void TQtReportEngine::PrintAt(const std::string& text, double x) {
    if (text.empty()) return;
    p_.setFont(font_);
    p_.drawText(ToDevice(x, y_ + Ascent()), Q(text));
}

void TQtReportEngine::SetBold(bool bold) {
    font_.setBold(bold);
    p_.setFont(font_);
}

void TQtReportEngine::NewLine() {
    y_ += LineHeight();
}

int TQtReportEngine::LinesLeft() const {
    const double h = LineHeight();
    if (h <= 0) return 0;
    const double room = bottom_ - y_;
    // A hair of tolerance so that rounding of the inch conversion never loses a whole line.
    return room <= 0 ? 0 : static_cast<int>(std::floor(room / h + 1e-9));
}

void TQtReportEngine::NewPage() {
    dev_.newPage();
    ++page_;
    y_ = top_;
    if (onPage_) onPage_(page_);
}

QPageSize LocalePageSize() {
    const QLocale locale = QLocale::system();
    if (locale.measurementSystem() == QLocale::ImperialUSSystem)
        return QPageSize(QPageSize::Letter);
    // The other countries whose shops sell Letter paper; everywhere else it is A4.
    switch (locale.territory()) {
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Venezuela:
    case QLocale::Philippines:
    case QLocale::PuertoRico:
    case QLocale::Guatemala:
    case QLocale::CostaRica:
        return QPageSize(QPageSize::Letter);
    default:
        return QPageSize(QPageSize::A4);
    }
}

void SetupReportPage(QPagedPaintDevice& device, const QPageSize& size) {
    const QMarginsF margins(report::kMarginInches, report::kMarginInches, report::kMarginInches,
                            report::kMarginInches);
    device.setPageLayout(QPageLayout(size.isValid() ? size : LocalePageSize(),
                                     QPageLayout::Portrait, margins, QPageLayout::Inch));
}

std::string TodayReportDate() {
    return FormatDayNumber(TodayDayNumber(), LocaleDateSeparator());
}

int SavePdf(const std::string& file, const std::function<int(QPdfWriter&)>& draw) {
    // The target is checked before anything is drawn: a name that may not be replaced
    // fails here.
    fileutil::OutputFile out(file);
    // Every byte of the PDF passes through one checked write.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    int pages = 0;
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(Q(report::kJobTitle));
        writer.setCreator(QStringLiteral("Larderly"));
        pages = draw(writer);
    }
    if (pdf.data().isEmpty()) throw EInOutError("Unable to write " + file);
    const QByteArray& bytes = pdf.data();
    out.Stream().write(bytes.constData(), static_cast<std::streamsize>(bytes.size()));
    out.Commit();
    return pages;
}

int WriteRecipeReportPdf(const TRecipeReportData& data, const std::string& file,
                         const std::string& dateText) {
    return SavePdf(file, [&](QPdfWriter& writer) {
        SetupReportPage(writer);
        QPainter painter;
        if (!painter.begin(&writer)) throw EInOutError("Unable to write " + file);
        TQtReportEngine engine(writer, painter);
        DrawRecipeReport(engine, data, dateText);
        if (!painter.end()) throw EInOutError("Unable to write " + file);
        return engine.PageCount();
    });
}

} // namespace larderly
