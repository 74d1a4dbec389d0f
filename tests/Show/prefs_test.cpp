// TForm2: the preferences edit the main window's settings, which reach the store when the main window closes.
#include "../gfx24/dialog_test_support.h"
#include "Unit2.h"
#include "anyimage.h"
#include "numedit.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>

namespace {

using namespace zarn::test;

template <class T>
T* by_text(QWidget& window, const QString& text)
{
    for (T* widget : window.findChildren<T*>())
        if (widget->text() == text) return widget;
    ADD_FAILURE() << "no control reads " << text.toStdString();
    return nullptr;
}

// Opens the dialog as the main window does and runs `act` on it while it is up.
void with_prefs(TForm1& form, const std::function<void(QWidget&)>& act)
{
    WhenShown when_shown("TForm2", [&](QWidget& window) {
        act(window);
        window.close();
    });
    form.Form2->Execute();
    EXPECT_TRUE(when_shown.seen());
}

void retype(QLineEdit& edit, const QString& text)
{
    edit.setFocus();
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClicks(&edit, text);
}

TEST(Prefs, ChangesReachTheSettingsAndTheStoreAtClose)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("wide.bmp", 60, 30)));
    with_prefs(form, [](QWidget& window) {
        EXPECT_EQ(window.windowTitle(), "Preferences");
        EXPECT_EQ(window.size(), QSize(456, 211));
        EXPECT_EQ(find_child<QTabWidget>(window, "PageControl1")->currentIndex(), 1);  // "General"
        // The preview fills its panel at the picture's proportions, centred.
        EXPECT_EQ(find_child(window, "AnyImage1")->geometry(), QRect(4, 42, 153, 76));

        by_text<QCheckBox>(window, "Top Toolbar")->click();
        by_text<QCheckBox>(window, "Standard Buttons")->click();
        by_text<QCheckBox>(window, "Endless Loop")->click();
        by_text<QCheckBox>(window, "Fit large pictures to the screen")->click();
        by_text<QCheckBox>(window, "Mouse wheel zooms")->click();
        by_text<QRadioButton>(window, "384x256")->click();
        by_text<QRadioButton>(window, "25%")->click();
        retype(*find_child<TNumEdit>(window, "NumEdit1"), "45");  // the delay stops at 30
        retype(*find_child<TNumEdit>(window, "NumEdit2"), "7");
        window.move(150, 120);
    });
    const ViewerSettings& s = form.Settings;
    EXPECT_FALSE(s.ToolBar);
    EXPECT_TRUE(s.StdButton);
    EXPECT_TRUE(s.Loop);
    EXPECT_FALSE(s.FitLarge);
    EXPECT_TRUE(s.WheelZoom);
    EXPECT_TRUE(s.Centre);
    EXPECT_EQ(s.PhotoCDSize, 2);
    EXPECT_EQ(s.JpegScale, 2);
    EXPECT_EQ(s.Slideshow, 30);
    EXPECT_EQ(s.CropStep, 7);
    EXPECT_EQ(QPoint(s.PrefsLeft, s.PrefsTop), QPoint(150, 120));

    form.close();
    QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
    file.beginGroup("Show");
    for (const auto& [key, value] : {std::pair{"ToolBar", "0"},
                                     {"StdButton", "1"},
                                     {"Loop", "1"},
                                     {"FitLarge", "0"},
                                     {"PhotoCDSize", "2"},
                                     {"JpegScale", "2"},
                                     {"Slideshow", "30"},
                                     {"CropStep", "7"},
                                     {"PrefsLeft", "150"},
                                     {"PrefsTop", "120"}})
        EXPECT_EQ(file.value(key).toString(), value) << key;
}

TEST(Prefs, NeverShownKeepsTheStoredPosition)
{
    write_settings("PrefsLeft=300\nPrefsTop=250\n");
    {
        TForm1 form;
        EXPECT_EQ(form.Form2->pos(), QPoint(300, 250));
        form.close();
    }
    QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
    EXPECT_EQ(file.value("Show/PrefsLeft").toString(), "300");
    EXPECT_EQ(file.value("Show/PrefsTop").toString(), "250");
}

TEST(Prefs, QualityTrackBarAndEditStayEqualWithinLimits)
{
    TForm1 form;
    with_prefs(form, [](QWidget& window) {
        auto* track = find_child<QSlider>(window, "TrackBar1");
        auto* edit = find_child<TNumEdit>(window, "NumEdit3");
        EXPECT_EQ(track->value(), 80);
        EXPECT_EQ(edit->text(), "80");
        track->setValue(40);
        EXPECT_EQ(edit->text(), "40");
        track->setValue(10);
        EXPECT_EQ(edit->text(), "25");
        // A number typed beyond the limit becomes the limit at once; one
        // being typed below it stays as typed until the box is left.
        retype(*edit, "2");
        EXPECT_EQ(edit->text(), "2");
        EXPECT_EQ(track->value(), 25);
        QTest::keyClicks(edit, "00");
        EXPECT_EQ(edit->text(), "95");
        EXPECT_EQ(track->value(), 95);
        retype(*edit, "6");
        QTest::keyClick(edit, Qt::Key_Tab);
        EXPECT_EQ(edit->text(), "25");
        EXPECT_EQ(track->value(), 25);
        retype(*edit, "61");
        EXPECT_EQ(track->value(), 61);
    });
    EXPECT_EQ(form.Settings.JpegQuality, 61);
    // A box left below its limit counts as the limit.
    with_prefs(form, [](QWidget& window) { retype(*find_child<TNumEdit>(window, "NumEdit3"), "3"); });
    EXPECT_EQ(form.Settings.JpegQuality, 25);
}

TEST(Prefs, EditorEntriesFollowTheSelectedFormat)
{
    TForm1 form;
    form.Settings.Editors[1] = "/usr/bin/paint";
    with_prefs(form, [&](QWidget& window) {
        find_child<QTabWidget>(window, "PageControl1")->setCurrentIndex(4);
        auto* list = find_child<QListWidget>(window, "ListBox1");
        auto* edit = find_child<QLineEdit>(window, "Edit1");
        ASSERT_EQ(list->count(), 17);
        EXPECT_EQ(list->item(16)->text(), "dng,cr2,\u2026");
        EXPECT_EQ(list->item(0)->text(), "Internal");
        EXPECT_EQ(list->item(3)->text(), "ppm,pgm,pbm");
        // Nothing loaded: "Internal", which edits the bitmap's entry.
        EXPECT_EQ(list->currentRow(), 0);
        EXPECT_EQ(edit->text(), "/usr/bin/paint");
        EXPECT_EQ(find_child<QGroupBox>(window, "GroupBox4")->title(), "Editor for Windows Bitmap");

        list->setCurrentRow(3);
        EXPECT_EQ(find_child<QPushButton>(window, "Button2")->text(), "Register ppm,pgm,pbm");
        EXPECT_EQ(find_child<QGroupBox>(window, "GroupBox4")->title(), "Editor for PBMPlus");
        EXPECT_EQ(find_child<QLabel>(window, "Label8")->text(), "PBMPlus Code");
        EXPECT_TRUE(edit->text().isEmpty());
        QTest::keyClicks(edit, "/opt/pnm edit");
        EXPECT_EQ(form.Settings.Editors[3], "/opt/pnm edit");  // at once, before the dialog closes

        list->setCurrentRow(0);
        retype(*edit, "/opt/bmp");
        EXPECT_EQ(form.Settings.Editors[1], "/opt/bmp");
        list->setCurrentRow(1);
        EXPECT_EQ(edit->text(), "/opt/bmp");

        find_child<QPushButton>(window, "Button2")->click();
        EXPECT_EQ(find_child<QLabel>(window, "Label3")->text(), "Registered bmp");
    });
    EXPECT_EQ(form.Settings.Editors[0], "");
    EXPECT_EQ(form.Settings.Editors[3], "/opt/pnm edit");
}

// The dialog needs no main window: whatever owns it answers for the picture,
// the formats and registration.
class Host final : public PreferencesHost {
public:
    ViewerSettings settings;
    QStringList calls;
    ViewerSettings& preferences() override { return settings; }
    int formatCount() const override { return 2; }
    int shownFormat() const override { return 2; }
    QImage shownPicture() const override { return QImage(40, 20, QImage::Format_RGB32); }
    QString registrationStatus() const override { return calls.join(' '); }
    void chooseEditor(int format) override { calls << QStringLiteral("editor%1").arg(format); }
    void registerFormats(int format) override { calls << QStringLiteral("register%1").arg(format); }
};

TEST(Prefs, AnyHostServesTheDialog)
{
    Host host;
    host.settings.JpegQuality = 60;
    TForm2 dialog(host);
    WhenShown when_shown("TForm2", [&](QWidget& window) {
        EXPECT_EQ(find_child<QListWidget>(window, "ListBox1")->count(), 3);
        EXPECT_EQ(find_child<QListWidget>(window, "ListBox1")->currentRow(), 2);  // the picture's format
        find_child<QPushButton>(window, "Button3")->click();
        EXPECT_EQ(find_child<QLabel>(window, "Label3")->text(), "register0");
        find_child<QPushButton>(window, "Button4")->click();
        EXPECT_EQ(host.calls.last(), "editor2");
        by_text<QCheckBox>(window, "Endless Loop")->click();
        window.close();
    });
    dialog.Execute();
    EXPECT_TRUE(when_shown.seen());
    EXPECT_TRUE(host.settings.Loop);
    EXPECT_EQ(host.settings.JpegQuality, 60);
}

TEST(Prefs, PreviewClickAndEscClose)
{
    TForm1 form;
    with_prefs(form, [](QWidget& window) {
        QTest::mouseClick(find_child(window, "AnyImage1"), Qt::LeftButton);
        EXPECT_FALSE(window.isVisible());
    });
    with_prefs(form, [](QWidget& window) {
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
    });
}

}  // namespace
