// TNumEdit: the typing rules, the limits and the text form of the number.
#include "numedit.h"

#include <QKeyEvent>

#include <charconv>
#include <cmath>
#include <string>

namespace {

// Halves go up (2.5 to 3, -2.5 to -2), and a whole number stays as it is:
// truncating value + 0.5 would turn -3 into -2.
double whole(double value)
{
    return std::floor(value + 0.5);
}

}  // namespace

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent)
{
    show_number();
}

double TNumEdit::parseNumber(const QString& text)
{
    const std::string bytes = text.trimmed().toStdString();
    double value = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    (void)end;
    // from_chars also reads "inf" and "nan"; neither is a number a user can mean here.
    if (error != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

QString TNumEdit::generalText(double value)
{
    if (value == 0) value = 0;  // no "-0"
    return QString::number(value, 'g', 15);
}

double TNumEdit::Number()
{
    number_ = parseNumber(text());
    return number_;
}

void TNumEdit::setNumber(double value)
{
    number_ = value;
    if (number_ > max_) number_ = max_;
    if (number_ < min_) number_ = min_;
    if (!allow_decimal_) number_ = whole(number_);
    show_number();
}

void TNumEdit::setMin(double value)
{
    if (!(value < max_)) return;
    min_ = value;
    if (number_ < min_) number_ = min_;
    show_number();
}

void TNumEdit::setMax(double value)
{
    if (!(value > min_)) return;
    max_ = value;
    if (number_ > max_) number_ = max_;
    show_number();
}

void TNumEdit::setAllowDecimal(bool value)
{
    allow_decimal_ = value;
    if (!allow_decimal_) number_ = whole(number_);
    show_number();
}

void TNumEdit::setAllowMinus(bool value)
{
    allow_minus_ = value;
    if (!allow_minus_ && number_ < 0) number_ = -number_;
    show_number();
}

void TNumEdit::ValidateText()
{
    number_ = text().isEmpty() ? 0 : parseNumber(text());
    if (number_ < min_) number_ = min_;
    if (number_ > max_) number_ = max_;
    show_number();
}

void TNumEdit::show_number()
{
    setText(generalText(number_));
}

bool TNumEdit::accepts(QChar typed) const
{
    const QString current = text();
    // Nothing may be typed in front of the sign.
    if (!current.isEmpty() && cursorPosition() == 0 && !hasSelectedText() && current.startsWith('-')) return false;
    if (typed.isDigit() && typed.unicode() < 128) return true;
    if (typed == '-') return allow_minus_ && (current.isEmpty() || cursorPosition() == 0);
    if (typed == '.') return allow_decimal_ && !current.contains('.');
    return false;
}

void TNumEdit::keyPressEvent(QKeyEvent* event)
{
    // Shortcuts (copy, select all), keys without a character (arrows) and the
    // two erasing keys are the edit control's own: Delete and Backspace edit
    // the text as in any edit box (X11 gives them the texts "\x7f" and "\b",
    // which the typing rules would refuse), and the change is reported like
    // any other. Every typed character passes the rules.
    const QString typed = event->text();
    if (event->key() == Qt::Key_Escape) {
        event->ignore();  // the window's: a dialog closes on it
        return;
    }
    const bool erasing = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    if (erasing || typed.isEmpty() ||
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QChar c = typed.front();
    if (c == '\t' || c == '\n' || c == '\r') {
        ValidateText();
        focusNextChild();
        event->accept();
        return;
    }
    if (typed.size() == 1 && accepts(c)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();  // refused
}

void TNumEdit::focusOutEvent(QFocusEvent* event)
{
    ValidateText();
    QLineEdit::focusOutEvent(event);
}
