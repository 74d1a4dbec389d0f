// TNumEdit: a one-line edit box that takes only a number within its limits.
#pragma once

#include <QLineEdit>

class TNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumEdit(QWidget* parent = nullptr);

    // Parses the text as it stands (0 when it does not start with a number),
    // stores and returns it without applying the limits.
    double Number();
    void setNumber(double value);

    double Min() const { return min_; }
    void setMin(double value);  // ignored unless below Max
    double Max() const { return max_; }
    void setMax(double value);  // ignored unless above Min
    bool AllowDecimal() const { return allow_decimal_; }
    void setAllowDecimal(bool value);
    bool AllowMinus() const { return allow_minus_; }
    void setAllowMinus(bool value);

    // Also run when the box loses focus: the text becomes the number within
    // the limits, in general form.
    void ValidateText();

    // The leading number of a text, 0 when there is none.
    static double parseNumber(const QString& text);
    // Up to 15 significant digits, no trailing zeros.
    static QString generalText(double value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void show_number();
    // Whether a typed character may reach the edit control.
    bool accepts(QChar typed) const;

    double number_ = 0;
    double min_ = -1000;
    double max_ = 1000;
    bool allow_decimal_ = false;
    bool allow_minus_ = false;
};
