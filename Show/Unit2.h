// TForm2: the preferences dialog.
#pragma once

#include <QDialog>

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

private:
    TForm1& main_;
};
