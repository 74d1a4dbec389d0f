// TPrintPreview behind _Print_Preview: the page's scale, units, the picture's place and size, and the printed PDF.
#include "dialog_test_support.h"
#include "settings_store.h"
#include "numedit.h"
#include "private_temp.h"
#include "ruler.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <filesystem>
#include <functional>
#include <ostream>

// Readable failures.
inline void PrintTo(const QRect& rect, std::ostream* out)
{
    *out << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << ", " << rect.height() << ")";
}
inline void PrintTo(const QPoint& point, std::ostream* out)
{
    *out << "QPoint(" << point.x() << ", " << point.y() << ")";
}
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

using namespace zarn::test;

const QColor kPicture(200, 40, 40);

// A picture of one colour, twice as wide as it is high.
std::string write_picture(const char* name, int width = 40, int height = 20)
{
    const std::string path = temp_path(name);
    Bytes row;
    for (int x = 0; x < width; ++x) row.insert(row.end(), {200, 40, 40});
    const Rows rows(std::size_t(height), row);
    BmpBuilder().size(width, height).bits(24).pixels(rows).write(path);
    return path;
}

// Runs the export with `act` on its window; a window left open is closed.
void preview(const std::string& path, const std::function<void(QWidget&)>& act)
{
    WhenShown when("TPrintPreview", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    });
    _Print_Preview(path.c_str());
    EXPECT_TRUE(when.seen());
}

void press(QWidget& window, const char* name)
{
    find_child<QToolButton>(window, name)->click();
}

QWidget* part(QWidget& window, const char* name)
{
    return find_child<QWidget>(window, name);
}

QRect image_rect(QWidget& window)
{
    return part(window, "Panel1")->geometry();
}

// The printable area a printer-less desktop gives: A4 at 1200 dpi less Qt's margins.
QRect printable_area()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    return printer.pageRect(QPrinter::DevicePixel).toRect();
}

void drag(QWidget* panel, QPoint from, QPoint to)
{
    QTest::mousePress(panel, Qt::LeftButton, {}, from);
    QTest::mouseMove(panel, to);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, to);
}

// Answers the print dialog with its Ok button.
void confirm_printing(QWidget& dialog)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(QDialogButtonBox::Ok)->click();
}

// Runs `act` once on the first visible top-level window of a class of Qt's
// own (which carry no object name) while the object lives, within 20 s.
class WhenOpened {
public:
    WhenOpened(const char* class_name, std::function<void(QWidget&)> act) : deadline_(20000)
    {
        QObject::connect(&poll_, &QTimer::timeout, [this, class_name, act] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (!top->inherits(class_name) || !top->objectName().isEmpty() || !top->isVisible()) continue;
                poll_.stop();
                seen_ = true;
                act(*top);
                return;
            }
            if (deadline_.hasExpired()) poll_.stop();
        });
        poll_.start(10);
    }
    bool seen() const { return seen_; }

private:
    QTimer poll_;
    QDeadlineTimer deadline_;
    bool seen_ = false;
};

// The rectangle of rendered pixels in the picture's colour.
QRect picture_in(const Pnm& page)
{
    QRect found;
    for (int y = 0; y < page.height; ++y) {
        const Bytes& row = page.rgb[std::size_t(y)];
        for (int x = 0; x < page.width; ++x) {
            const QColor colour(row[std::size_t(x) * 3], row[std::size_t(x) * 3 + 1], row[std::size_t(x) * 3 + 2]);
            if (std::abs(colour.red() - kPicture.red()) < 8 && std::abs(colour.green() - kPicture.green()) < 8 &&
                std::abs(colour.blue() - kPicture.blue()) < 8)
                found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

TEST(PrintPreview, PageIsFortyPixelsAnInchOrTwoAMillimetre)
{
    const std::string path = write_picture("wide.bmp");
    const QRect printable = printable_area();
    preview(path, [&](QWidget& window) {
        QWidget* page = part(window, "Panel2");
        EXPECT_EQ(page->width(), std::lround(printable.width() / 1200.0 * 40));
        EXPECT_EQ(page->height(), std::lround(printable.height() / 1200.0 * 40));
        // Proportional: the 120 x 120 rectangle at (20, 10) takes the picture's 2:1.
        EXPECT_EQ(image_rect(window), QRect(20, 10, 120, 60));
        EXPECT_EQ(window.windowTitle(), "Print 1200x1200dpi: 3.000x1.500  (x=0.500  y=0.250)");

        // The ruler numbers 0 exactly above the page's left edge.
        auto* ruler = find_child<TRuler>(window, "Ruler1");
        const QImage scale = grabbed(*ruler);
        const int edge = page->x();
        EXPECT_EQ(ruler->mapTo(&window, QPoint(edge, 0)).x(), page->mapTo(&window, QPoint(0, 0)).x());
        for (int y = 0; y < 8; ++y) EXPECT_EQ(pixel(scale, edge, y), ruler->PenColor()) << y;
        const auto dark_in = [&](int left, int right) {
            for (int y = 8; y < scale.height(); ++y)
                for (int x = left; x <= right; ++x)
                    if (pixel(scale, x, y).lightness() < 128) return true;
            return false;
        };
        EXPECT_TRUE(dark_in(edge - 4, edge + 4));
        EXPECT_FALSE(dark_in(edge + 8, edge + 32));

        press(window, "SpeedButton8");
        EXPECT_EQ(page->width(), std::lround(printable.width() / 1200.0 * 50.8));
        EXPECT_EQ(page->height(), std::lround(printable.height() / 1200.0 * 50.8));
        EXPECT_EQ(image_rect(window), QRect(25, 13, 152, 76));
        EXPECT_EQ(window.windowTitle(), "Print 1200x1200dpi: 76.0x38.0  (x=12.5  y=6.5)");
        press(window, "SpeedButton8");
        const QRect back = image_rect(window);
        for (const auto& [now, was] :
             {std::pair{back.x(), 20}, {back.y(), 10}, {back.width(), 120}, {back.height(), 60}})
            EXPECT_LE(std::abs(now - was), 1);
    });
}

TEST(PrintPreview, ReopeningKeepsThePictureWhereItWasInEitherUnit)
{
    const std::string path = write_picture("wide.bmp");
    QRect placed;
    preview(path, [&](QWidget& window) {
        drag(part(window, "Panel1"), QPoint(30, 30), QPoint(45, 37));
        placed = image_rect(window);
        EXPECT_EQ(placed.topLeft(), QPoint(35, 17));
        press(window, "SpeedButton9");  // the frame is not part of the place
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
    });
    preview(path, [&](QWidget& window) {
        EXPECT_EQ(image_rect(window).topLeft(), placed.topLeft());
        press(window, "SpeedButton8");
        placed = image_rect(window);
    });
    preview(path, [&](QWidget& window) {
        EXPECT_TRUE(find_child<QToolButton>(window, "SpeedButton8")->isChecked());
        EXPECT_EQ(image_rect(window).topLeft(), placed.topLeft());
    });

    // A place left on a screen that is gone comes back onto this one.
    {
        QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
        file.setValue("PrintPreview/WindowLeft", "-3000");
        file.setValue("PrintPreview/WindowTop", "5000");
    }
    preview(path, [&](QWidget& window) {
        EXPECT_TRUE(window.screen()->availableGeometry().contains(window.frameGeometry()));
    });
}

// A window manager that puts a window's inside where its frame was asked
// for would move the window by its border at every opening.
TEST(PrintPreview, OpensWhereItWasLeftUnderAWindowManager)
{
    if (!have_program("openbox")) GTEST_SKIP() << "openbox is not installed";
    QProcess manager;  // killed with the object at the latest
    manager.start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(manager.waitForStarted());
    // A window shown before the manager is ready may never learn its frame.
    bool managed = false;
    for (const QDeadlineTimer deadline(10000); !managed && !deadline.hasExpired();) {
        QWidget probe;
        probe.show();
        managed = QTest::qWaitFor([&] { return probe.frameGeometry() != probe.geometry(); }, 500);
    }
    ASSERT_TRUE(managed);
    const std::string path = write_picture("wide.bmp");
    // The manager may still move a framed window a moment later: what counts
    // is that the second opening comes to where the first was left. A window
    // that creeps does so at every try; a manager slow to frame a window on a
    // busy machine gets another go.
    QPoint left, reached;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || reached != left); ++attempt) {
        preview(path, [&](QWidget& window) {
            (void)QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); }, 5000);
        });
        const QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
        left = QPoint(file.value("PrintPreview/WindowLeft").toInt(), file.value("PrintPreview/WindowTop").toInt());
        preview(path, [&](QWidget& window) {
            (void)QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); }, 5000);
            (void)QTest::qWaitFor([&] { return window.geometry().topLeft() == left; }, 5000);
            reached = window.geometry().topLeft();
        });
    }
    EXPECT_EQ(reached, left);
    manager.kill();
    manager.waitForFinished();
}

TEST(PrintPreview, TypedCoordinatesMoveAndSizeAboveTenPixels)
{
    const std::string path = write_picture("wide.bmp");
    preview(path, [&](QWidget& window) {
        press(window, "SpeedButton8");  // millimetres: 0.5 mm a pixel
        const QRect before = image_rect(window);
        press(window, "SpeedButton6");
        QWidget* box = part(window, "Panel6");
        ASSERT_TRUE(box->isVisible());
        auto* top = find_child<TNumEdit>(window, "NumEdit1");
        auto* left = find_child<TNumEdit>(window, "NumEdit2");
        auto* width = find_child<TNumEdit>(window, "NumEdit3");
        auto* height = find_child<TNumEdit>(window, "NumEdit4");
        EXPECT_FALSE(height->isEnabled()) << "proportional";
        EXPECT_EQ(width->text(), "76");

        width->setText("0.5");
        left->setText("10");
        top->setText("5");
        find_child<QPushButton>(window, "Button1")->click();
        EXPECT_FALSE(box->isVisible());
        EXPECT_EQ(image_rect(window), QRect(20, 10, before.width(), before.height()));

        press(window, "SpeedButton6");
        width->setText("30");
        EXPECT_EQ(height->text(), "15") << "the height follows the width";
        find_child<QPushButton>(window, "Button1")->click();
        EXPECT_EQ(image_rect(window), QRect(20, 10, 60, 30));
    });
}

// A picture opened in free sizing keeps its proportions; the co-ordinates
// box keeps what was typed when clicked inside and shows three decimals;
// the window is wide enough for its caption and the vertical ruler's 0 at
// the page's top edge is whole.
TEST(PrintPreview, CoordinatesBoxCaptionAndRulersAroundThePage)
{
    const std::string path = write_picture("three by two.bmp", 30, 20);
    QSettings(SettingsStore::filePath(), QSettings::IniFormat).setValue("PrintPreview/Proportional", "1");
    preview(path, [&](QWidget& window) {
        EXPECT_EQ(image_rect(window), QRect(20, 10, 120, 80));
        QFont title_font = window.font();
        title_font.setBold(true);
        EXPECT_GT(window.width(), QFontMetrics(title_font).horizontalAdvance(window.windowTitle()) + 48);

        QWidget* content = part(window, "ScrollContent");
        const QImage drawn = grabbed(*content);
        const int page_top = part(window, "Panel2")->y();
        bool zero_above_page = false;
        for (int y = page_top - 4; y < page_top; ++y)
            for (int x = 8; x < 16; ++x) zero_above_page |= pixel(drawn, x, y).lightness() < 128;
        EXPECT_TRUE(zero_above_page) << "the top half of the vertical ruler's 0";

        press(window, "SpeedButton5");  // proportional
        press(window, "SpeedButton6");
        QWidget* box = part(window, "Panel6");
        auto* width = find_child<TNumEdit>(window, "NumEdit3");
        width->setText("4");
        EXPECT_EQ(find_child<TNumEdit>(window, "NumEdit4")->text(), "2.667");
        QTest::mouseClick(part(window, "Label1"), Qt::LeftButton);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() - 2));
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(width->text(), "4");
        QWidget* grid = part(window, "GraphPaper1");
        QWidget* page = part(window, "Panel2");
        QTest::mouseClick(grid->isVisible() ? grid : page, Qt::LeftButton, {},
                          QPoint(page->width() - 4, page->height() - 4));
        EXPECT_FALSE(box->isVisible());
    });
}

TEST(PrintPreview, DraggingEdgesAndCornerSizesTheRectangle)
{
    const std::string path = write_picture("wide.bmp");
    preview(path, [&](QWidget& window) {
        QWidget* panel = part(window, "Panel1");
        QWidget* picture = part(window, "Image1");
        // Proportional: the right edge takes the height along.
        QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(117, 20));
        EXPECT_FALSE(picture->isVisible()) << "black while sizing";
        QTest::mouseMove(panel, QPoint(157, 20));
        EXPECT_EQ(image_rect(window), QRect(20, 10, 157, 79));
        EXPECT_EQ(window.windowTitle(), "Print 1200x1200dpi: 3.925x1.975  (x=0.500  y=0.250)");
        QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(157, 20));
        EXPECT_TRUE(picture->isVisible());

        // Above the top edge the proportional corner keeps the last size.
        QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(152, 74));
        QTest::mouseMove(panel, QPoint(100, 40));
        EXPECT_EQ(image_rect(window), QRect(20, 10, 100, 50));
        QTest::mouseMove(panel, QPoint(100, -20));
        EXPECT_EQ(image_rect(window), QRect(20, 10, 100, 50));
        QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(100, -20));

        press(window, "SpeedButton5");  // free sizing
        drag(panel, QPoint(95, 45), QPoint(50, 100));
        EXPECT_EQ(image_rect(window), QRect(20, 10, 50, 100));
        drag(panel, QPoint(20, 95), QPoint(20, 30));
        EXPECT_EQ(image_rect(window), QRect(20, 10, 50, 30)) << "the bottom edge alone";
    });
}

TEST(PrintPreview, LandscapePaperTurnsThePageThatFillPageFills)
{
    const std::string path = write_picture("wide.bmp");
    WhenShown setup("TPaperSetup", [](QWidget& dialog) {
        find_child<QAbstractButton>(dialog, "RadioButton2")->click();
        find_child<QAbstractButton>(dialog, "Button1")->click();
    });
    preview(path, [&](QWidget& window) {
        QWidget* page = part(window, "Panel2");
        const QSize portrait = page->size();
        press(window, "SpeedButton2");
        EXPECT_EQ(page->size(), portrait.transposed());
        press(window, "SpeedButton4");
        const int width = page->width();
        EXPECT_EQ(image_rect(window), QRect(0, 0, width, (width + 1) / 2));
        EXPECT_TRUE(window.windowTitle().endsWith("(x=0.000  y=0.000)"));
    });
    EXPECT_TRUE(setup.seen());
}

// The PDF's page, and the picture and its black band where the integer
// formulas put them, read back from the page rendered at 100 dpi.
TEST(PrintPreview, PrintsIntoThePdfBesideThePicture)
{
    if (QPrinter().outputFormat() != QPrinter::PdfFormat) GTEST_SKIP() << "a printer is installed";
    const std::string path = write_picture("framed.bmp");
    const std::string pdf = temp_path("framed.pdf");
    QRect target;
    int band = 0;
    WhenShown print_dialog("PrintDialog1", [](QWidget& dialog) {
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    preview(path, [&](QWidget& window) {
        press(window, "SpeedButton9");
        const QRect rect = image_rect(window);
        EXPECT_EQ(rect, QRect(18, 8, 124, 64));
        const QSize page = part(window, "Panel2")->size();
        const QRect printable = printable_area();
        const auto scale = [](long long device, long long value, long long preview) {
            return device * value / preview;
        };
        const long long left = scale(printable.width(), rect.x(), page.width());
        const long long top = scale(printable.height(), rect.y(), page.height());
        const long long right = scale(printable.width(), rect.width(), page.width()) + left;
        const long long bottom = scale(printable.height(), rect.height(), page.height()) + top;
        target = QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom))).translated(printable.topLeft());
        band = int(scale(printable.width(), 2, page.width()));
        press(window, "SpeedButton1");
        EXPECT_FALSE(window.isVisible()) << "printing closes the window";
    });
    EXPECT_TRUE(print_dialog.seen());
    ASSERT_TRUE(file_exists(pdf));

    const ToolRun info = run_tool({"pdfinfo", pdf});
    EXPECT_NE(std::string(info.output.begin(), info.output.end()).find("595 x 842 pts (A4)"), std::string::npos);
    const std::optional<Pnm> rendered = decode({"pdftoppm", "-r", "100", "-singlefile", pdf});
    ASSERT_TRUE(rendered);
    // Device pixels at 1200 dpi to rendered ones at 100, with the sample a
    // pixel inside or outside the edge in question.
    const auto at = [&](double device_x, double device_y) {
        const int x = int(device_x / 12), y = int(device_y / 12);
        const Bytes& row = rendered->rgb[std::size_t(y)];
        return QColor(row[std::size_t(x) * 3], row[std::size_t(x) * 3 + 1], row[std::size_t(x) * 3 + 2]);
    };
    const double mid_x = target.center().x(), mid_y = target.center().y(), half_band = band / 2.0;
    EXPECT_EQ(at(mid_x, mid_y), kPicture);
    EXPECT_EQ(at(target.left() - 24, mid_y), QColor(Qt::white));
    EXPECT_EQ(at(target.left() + half_band, mid_y), QColor(Qt::black));
    EXPECT_EQ(at(target.left() + band + 24, mid_y), kPicture);
    EXPECT_EQ(at(target.right() + 24, mid_y), QColor(Qt::white));
    EXPECT_EQ(at(target.right() - half_band, mid_y), QColor(Qt::black));
    EXPECT_EQ(at(target.right() - band - 24, mid_y), kPicture);
    EXPECT_EQ(at(mid_x, target.top() - 24), QColor(Qt::white));
    EXPECT_EQ(at(mid_x, target.top() + half_band), QColor(Qt::black));
    EXPECT_EQ(at(mid_x, target.top() + band + 24), kPicture);
    EXPECT_EQ(at(mid_x, target.bottom() + 24), QColor(Qt::white));
    EXPECT_EQ(at(mid_x, target.bottom() - half_band), QColor(Qt::black));
    EXPECT_EQ(at(mid_x, target.bottom() - band - 24), kPicture);
}

TEST(PrintPreview, NeverPrintsOverThePictureAndShowsNothingForAnUnreadableOne)
{
    if (QPrinter().outputFormat() != QPrinter::PdfFormat) GTEST_SKIP() << "a printer is installed";
    // A picture whose name already ends in ".pdf" is offered as its own printout.
    const std::string path = write_picture("picture.pdf");
    const Bytes before = read_file(path);
    WhenShown print_dialog("PrintDialog1", [](QWidget& dialog) { static_cast<QDialog&>(dialog).accept(); });
    WhenShown refusal("PrintRefused", [](QWidget& box) { static_cast<QDialog&>(box).accept(); });
    preview(path, [&](QWidget& window) {
        press(window, "SpeedButton1");
        EXPECT_TRUE(window.isVisible());
    });
    EXPECT_TRUE(print_dialog.seen());
    EXPECT_TRUE(refusal.seen());
    EXPECT_EQ(read_file(path), before);

    const std::string junk = temp_path("junk.bmp");
    write_file(junk, Bytes(64, 0x5a));
    preview(junk, [&](QWidget& window) {
        EXPECT_FALSE(part(window, "Panel1")->isVisible());
        EXPECT_FALSE(find_child<QToolButton>(window, "SpeedButton1")->isEnabled());
        EXPECT_EQ(window.windowTitle().left(20), "Print 1200x1200dpi: ");
    });
}

// The viewer prints its working copy from the private folder and names the
// picture it came from on a second line: the PDF goes beside that picture,
// an older one is replaced only when the user agrees, and nothing is left
// in the private folder. A copy printed without a name goes to the home folder.
TEST(PrintPreview, PrintsTheViewersCopyBesideThePictureItCameFrom)
{
    if (QPrinter().outputFormat() != QPrinter::PdfFormat) GTEST_SKIP() << "a printer is installed";
    const std::string private_folder = controls::privateTempDir().toStdString();
    ASSERT_FALSE(private_folder.empty());
    const std::string copy = private_folder + "/zarn~1234.bmp";
    std::filesystem::copy_file(write_picture("copy.bmp"), copy);
    std::filesystem::create_directory(temp_path("pictures"));
    const std::string original = temp_path("pictures/holiday.jpg");
    write_file(original, Bytes(16, 0x5a));
    const std::string pdf = temp_path("pictures/holiday.pdf");
    const std::string argument = copy + "\n" + original;
    const auto print_once = [&](std::optional<QMessageBox::StandardButton> replace) {
        WhenShown print_dialog("PrintDialog1", [&](QWidget& dialog) {
            WhenOpened question("QMessageBox", [&](QWidget& box) {
                EXPECT_TRUE(static_cast<QMessageBox&>(box).text().contains("already exists"));
                static_cast<QMessageBox&>(box).button(*replace)->click();
            });
            confirm_printing(dialog);
            EXPECT_EQ(question.seen(), replace.has_value());
            if (dialog.isVisible()) static_cast<QDialog&>(dialog).reject();
        });
        preview(argument, [&](QWidget& window) { press(window, "SpeedButton1"); });
        EXPECT_TRUE(print_dialog.seen());
    };
    print_once(std::nullopt);
    ASSERT_TRUE(file_exists(pdf));
    EXPECT_EQ(folder_entries(private_folder), std::vector<std::string>{"zarn~1234.bmp"});

    // Asked before the older file is replaced.
    const Bytes older{'o', 'l', 'd'};
    write_file(pdf, older);
    print_once(QMessageBox::No);
    EXPECT_EQ(read_file(pdf), older);
    print_once(QMessageBox::Yes);
    const Bytes printed = read_file(pdf);
    EXPECT_EQ(std::string(printed.begin(), printed.begin() + 5), "%PDF-");
    EXPECT_EQ(folder_entries(temp_path("pictures")), (std::vector<std::string>{"holiday.jpg", "holiday.pdf"}));

    const std::string home = temp_path("home");
    std::filesystem::create_directory(home);
    const ScopedEnv home_folder("HOME", home.c_str());
    WhenShown print_dialog("PrintDialog1", confirm_printing);
    preview(copy, [&](QWidget& window) { press(window, "SpeedButton1"); });
    EXPECT_TRUE(print_dialog.seen());
    EXPECT_TRUE(file_exists(home + "/zarn~1234.pdf"));
    EXPECT_EQ(folder_entries(private_folder), std::vector<std::string>{"zarn~1234.bmp"});
}

// Landscape chosen in the print dialog's own page properties: the page is
// laid out for it before painting, so the 3 x 2.25 in picture half an inch
// from the left and a quarter from the top of the printable area prints so.
TEST(PrintPreview, PrintsOnThePaperThePrintDialogChose)
{
    if (QPrinter().outputFormat() != QPrinter::PdfFormat) GTEST_SKIP() << "a printer is installed";
    const std::string path = write_picture("four by three.bmp", 40, 30);
    const std::string pdf = temp_path("four by three.pdf");
    bool turned = false;
    WhenShown print_dialog("PrintDialog1", [&](QWidget& dialog) {
        WhenOpened properties("QPrintPropertiesDialog", [](QWidget& page) {
            find_child<QAbstractButton>(page, "landscape")->click();
            static_cast<QDialog&>(page).accept();
        });
        find_child<QPushButton>(dialog, "properties")->click();
        turned = properties.seen();
        confirm_printing(dialog);
    });
    preview(path, [&](QWidget& window) {
        EXPECT_EQ(image_rect(window), QRect(20, 10, 120, 90));
        press(window, "SpeedButton1");
    });
    ASSERT_TRUE(turned);
    ASSERT_TRUE(file_exists(pdf));

    const ToolRun info = run_tool({"pdfinfo", pdf});
    EXPECT_NE(std::string(info.output.begin(), info.output.end()).find("842 x 595 pts (A4)"), std::string::npos);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    const QRectF printable = printer.pageRect(QPrinter::DevicePixel);  // 1200 dpi
    const std::optional<Pnm> rendered = decode({"pdftoppm", "-r", "100", "-singlefile", pdf});
    ASSERT_TRUE(rendered);
    const QRect picture = picture_in(*rendered);
    EXPECT_NEAR(picture.width(), 300, 2);
    EXPECT_NEAR(picture.height(), 225, 2);
    EXPECT_NEAR(picture.left(), (printable.left() + 600) / 12, 2);
    EXPECT_NEAR(picture.top(), (printable.top() + 300) / 12, 2);
}

}  // namespace
