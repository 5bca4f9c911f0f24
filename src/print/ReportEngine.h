// What the recipe report needs of a report engine: a font, the page and section edges, lines
// printed centred or at the left edge, the lines left on the page, new pages and text
// measuring. Positions and widths are in inches from the left edge of the paper.
#pragma once

#include <string>
#include <vector>

namespace larderly {

class TReportEngine {
public:
    virtual ~TReportEngine() = default;

    // Sets the font by name and size in points; the style returns to regular.
    virtual void SetFont(const std::string& name, double points) = 0;
    virtual double PageWidth() const = 0;
    // Left and right edges of the printable section (the paper less its margins).
    virtual double SectionLeft() const = 0;
    virtual double SectionRight() const = 0;
    // Prints the text centred on x on the current line; the line does not advance.
    virtual void PrintCenter(const std::string& text, double x) = 0;
    // Prints the text at the left edge of the section and advances to the next line.
    virtual void Println(const std::string& text) = 0;
    // Prints the text starting at x on the current line; the line does not advance.
    virtual void PrintAt(const std::string& text, double x) = 0;
    // Bold or regular type for what is printed next (SetFont returns to regular).
    virtual void SetBold(bool bold) = 0;
    // Advances one line.
    virtual void NewLine() = 0;
    // Whole lines of the current font that still fit on the current page below the cursor.
    virtual int LinesLeft() const = 0;
    virtual void NewPage() = 0;
    // Width of the text in the current font.
    virtual double TextWidth(const std::string& text) const = 0;
};

// The memo buffer: holds a text and hands it out wrapped at word boundaries to fit between
// two positions. A word wider than the whole span is broken between characters so that
// nothing runs past the right edge.
class TMemoBuf {
public:
    void SetLines(std::vector<std::string> lines) {
        lines_ = std::move(lines);
        wrapped_.clear();
    }
    // Wraps the text for the span from `left` to `right`, measured in the engine's font.
    void Wrap(const TReportEngine& engine, double left, double right);
    std::size_t LineCount() const { return wrapped_.size(); }
    const std::string& GetLine(std::size_t i) const { return wrapped_[i]; }
    const std::vector<std::string>& Lines() const { return wrapped_; }

private:
    std::vector<std::string> lines_;
    std::vector<std::string> wrapped_;
};

} // namespace larderly
