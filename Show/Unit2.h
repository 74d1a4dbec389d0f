// TForm2: the preferences dialog, and what it needs of the window that owns it.
#pragma once

#include "viewer_settings.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <memory>

namespace Ui {
class TForm2;
}
class QButtonGroup;

// What the preferences dialog reads and changes in the window that owns it.
class PreferencesHost {
public:
    // Edited in place; the owner writes them to the store when it closes.
    virtual ViewerSettings& preferences() = 0;
    virtual int formatCount() const = 0;  // formats in the library's table
    virtual int shownFormat() const = 0;  // the format of the picture on screen, 0 for none
    virtual QImage shownPicture() const = 0;
    virtual QString registrationStatus() const = 0;
    // Lets the user pick the editor of a format (0 = the "with..." program).
    virtual void chooseEditor(int format) = 0;
    // Registers the file type of a format, or of every format for 0.
    virtual void registerFormats(int format) = 0;

protected:
    ~PreferencesHost() = default;
};

// The numbered components, by tab of PageControl1:
//   TabSheet1  Information: Label8 the selected format's name, Label9 its copyright
//   TabSheet2  General: GroupBox2 main window, CheckBox2 centre, 3 top toolbar, 4 side toolbar,
//              5 progress bar, 6 standard buttons; GroupBox1 right-drag crop, CheckBox1 on,
//              NumEdit2 step (Label1); CheckBox7 single click exits, 8 use the running copy
//   TabSheet3  Loading: RadioGroup1 PhotoCD size (RadioButton1-3), RadioGroup2 Jpeg scale
//              (RadioButton4-6), CheckBox9 force 256 colours, 14 fit large pictures, 15 the
//              wheel zooms
//   TabSheet4  Saving: GroupBox3 Jpeg quality, TrackBar1 and NumEdit3 kept equal; CheckBox10
//              ask before overwriting
//   TabSheet5  Formats: ListBox1 the formats; GroupBox5 registration, Button3 all, Button2 the
//              selected one, Label3 the outcome; GroupBox4 the selected format's editor, Edit1
//              its program, Button4 pick one
//   TabSheet6  Slideshow: GroupBox6, NumEdit1 delay (Label4), CheckBox11 loop, 12 beep at the
//              end, 13 known extensions only
//   Panel1     the preview over every tab: AnyImage1 the picture on screen, a click on it closes
//              the dialog (Button1Click)
class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Created once at start-up, after the main window, and kept; it edits
    // the host's settings, which take what was changed when it closes.
    explicit TForm2(PreferencesHost& host);
    ~TForm2() override;

    // Shows the dialog modally (FormShow fills it from the host).
    void Execute();

    void FormShow();
    void ListBox1Click();
    void Edit1Change();
    void Edit1DblClick();
    void TrackBar1Change(int position);
    void NumEdit3Change();
    void Button2Click();
    void Button3Click();
    void Button1Click();
    void FormClose();

    // The format the "Formats" tab edits: the list's selection, "Internal"
    // and no selection standing for format 1.
    int SelectedFormat() const;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Keeps the designed size with the smallest change of font that lets
    // every text show; grows only when no such font exists.
    void fit_design_size();
    // The longest list entry, "Register" caption and editor title, so that
    // no format's texts are cut short.
    void reserve_longest_texts();
    QString* editor_entry(int n);

    std::unique_ptr<Ui::TForm2> ui;
    PreferencesHost& host_;
    QButtonGroup* photo_cd_size_ = nullptr;  // ids 0..2, the "PhotoCD Size" index
    QButtonGroup* jpeg_scale_ = nullptr;     // ids 0..2, the "Jpeg Scale" index
    bool filling_ = false;                   // while on, the editor box's changes are the dialog's own
};
