// TForm2: the preferences dialog.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm2;
}
class QButtonGroup;
class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Created once at start-up, after the main window, and kept; it edits
    // the main window's settings and writes them back when it closes.
    explicit TForm2(TForm1& main);
    ~TForm2() override;

    // Shows the dialog modally (FormShow fills it from the main window).
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
    TForm1& main_;
    QButtonGroup* photo_cd_size_ = nullptr;  // ids 0..2, the "PhotoCD Size" index
    QButtonGroup* jpeg_scale_ = nullptr;     // ids 0..2, the "Jpeg Scale" index
    bool filling_ = false;  // while on, the editor box's changes are the dialog's own
};
