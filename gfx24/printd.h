// TPrintPreview: the print preview: the printer's page with rulers and grid, the picture placed on it, and printing.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>

class QPrinter;
class SettingsStore;

namespace Ui {
class TPrintPreview;
}

// The page is the printable area of the printer's paper at a fixed number
// of preview pixels per inch; the picture's rectangle (Panel1) is kept in
// preview pixels relative to the page. Every close path (printing, "Exit
// without Printing", the close box, Esc) writes the window's settings once.
class TPrintPreview : public QDialog {
    Q_OBJECT
public:
    // `settings` is the "PrintPreview" group; it outlives the window.
    explicit TPrintPreview(SettingsStore& settings, QWidget* parent = nullptr);
    ~TPrintPreview() override;

    // The picture to place and print. The PDF a printer-less desktop prints
    // to is named after `named_after` (the picture itself when empty): the
    // file a working copy was made from.
    void LoadFile(const QString& path, const QString& named_after = {});
    // "<name>.pdf" beside the picture, or in the home folder when the
    // picture's folder cannot take it or is the private temporary folder.
    static QString pdfNameFor(const QString& path);
    // The export's argument: the file to print, optionally followed by a
    // newline and the file it is a copy of. A whole argument that names a
    // file is that file, newlines and all.
    static std::pair<QString, QString> splitArgument(const QByteArray& argument);

    void FormShow();
    void FormClose();
    void SpeedButton1Click();  // "Print Image"
    void SpeedButton2Click();  // "Printer Setup"
    void SpeedButton3Click();  // "Exit without Printing"
    void SpeedButton4Click();  // "Fill Page"
    void SpeedButton5Click();  // "Toggle Proportional/Free sizing"
    void SpeedButton6Click();  // "Type in Co-ords"
    void SpeedButton7Click();  // "Grid on/off"
    void SpeedButton8Click();  // "Inches/MM"
    void SpeedButton9Click();  // "Frame Image"
    void NumEdit3Change();
    void Button1Click();  // the co-ordinates box's "OK"
    void Button2Click();  // and its "Cancel"

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Pointer on the picture's rectangle, in its own co-ordinates.
    void Panel1MouseDown(QPoint at);
    void Panel1MouseMove(QPoint at, bool button_down);
    void Panel1MouseUp();

    // Preview pixels per inch, unit per pixel, the rulers' and grid's spacing.
    void ApplyUnits();
    void LayoutPage();
    void UpdateCaption();
    // The picture stretched into its rectangle on the printer's page.
    bool PrintImage();
    bool PrintToFile(const QString& output);
    bool Proportional() const;
    bool Metric() const;
    QRect ImageRect() const;
    void SetImageRect(const QRect& rect);

    std::unique_ptr<Ui::TPrintPreview> ui;
    SettingsStore& settings_;
    std::unique_ptr<QPrinter> printer_;
    QString file_, named_after_;

    std::int32_t drag_mode = 0;  // 0 none, 1 move, 2 corner, 3 bottom edge, 4 right edge
    std::int32_t down_x = 0, down_y = 0;
    double aspect = 1, inverse_aspect = 1;
    std::int32_t frame_width = 0;
    double dpi_x = 0, dpi_y = 0;
    double unit_per_pixel = 0.025;
    double pixels_per_inch = 40;
    bool closed = false;
};
