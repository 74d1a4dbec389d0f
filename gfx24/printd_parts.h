// The print preview's helpers: whole preview pixels, the toolbar's glyphs and the paper setup of a PDF printer.
#pragma once

#include <QDialog>
#include <QIcon>

#include <climits>
#include <cmath>
#include <memory>

class QPrinter;

namespace Ui {
class TPaperSetup;
}

namespace printd {

// The nearest whole number, halves up, kept within int.
inline int rounded(double value)
{
    if (!(value == value)) return 0;  // NaN
    const double whole = std::floor(value + 0.5);
    if (whole >= double(INT_MAX)) return INT_MAX;
    if (whole <= double(INT_MIN)) return INT_MIN;
    return int(whole);
}

enum class Glyph { Print, Setup, FillPage, Exit, Proportional, Grid, Units, Frame, Coords };

// From the program's own icon set, so every button shows the same picture
// whatever the icon theme. The toggles show their down state differently.
QIcon toolGlyph(Glyph glyph);

}  // namespace printd

// The page size and orientation of a printer that writes PDF files, which the
// platform's page setup dialog does not take.
class TPaperSetup : public QDialog {
    Q_OBJECT
public:
    explicit TPaperSetup(QPrinter& printer, QWidget* parent = nullptr);
    ~TPaperSetup() override;

    // Applies the choice to the printer.
    void Button1Click();

private:
    std::unique_ptr<Ui::TPaperSetup> ui;
    QPrinter& printer_;
};
