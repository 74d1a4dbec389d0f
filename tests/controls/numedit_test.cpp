// TNumEdit: what typing lets through, validation, and the limits on the number.
#include "numedit.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

namespace {

// A window with the box and a second control to move the focus to. Focus
// moves at once only in the active window, and X11 activates it when it will.
struct Form {
    QWidget window;
    TNumEdit* edit = new TNumEdit(&window);
    QLineEdit* other = new QLineEdit(&window);
    Form()
    {
        other->move(0, 40);
        EXPECT_TRUE(zarn::test::showAndWait(window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 5000));
        edit->setFocus();
        ZARN_WAIT_TRUE(edit->hasFocus(), 5000);
    }
    void type(const QString& keys) { QTest::keyClicks(edit, keys); }
};

// A key as X11 delivers it: Delete and Backspace come with the texts "\x7f" and "\b".
void press(QWidget* widget, Qt::Key key, const QString& text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &up);
}

TEST(NumEdit, TypingTakesDigitsOnly)
{
    Form form;
    form.edit->clear();
    form.type("12a b,3");
    EXPECT_EQ(form.edit->text(), "123");
}

TEST(NumEdit, DeleteAndBackspaceEditAsInAnyBox)
{
    Form form;
    form.edit->clear();
    form.type("1234");
    QStringList changes;
    QObject::connect(form.edit, &QLineEdit::textChanged, [&](const QString& text) { changes << text; });
    press(form.edit, Qt::Key_Backspace, QStringLiteral("\b"));
    EXPECT_EQ(form.edit->text(), "123");
    form.edit->setCursorPosition(0);
    press(form.edit, Qt::Key_Delete, QStringLiteral("\x7f"));
    EXPECT_EQ(form.edit->text(), "23");
    QTest::keyClick(form.edit, Qt::Key_Delete);
    EXPECT_EQ(form.edit->text(), "3");
    EXPECT_EQ(changes, QStringList({"123", "23", "3"}));  // reported like any other change

    // The sign can go too, and what is left is validated as usual.
    form.edit->setAllowMinus(true);
    form.edit->setText("-5000");
    form.edit->setCursorPosition(0);
    press(form.edit, Qt::Key_Delete, QStringLiteral("\x7f"));
    EXPECT_EQ(form.edit->text(), "5000");
    QTest::keyClick(form.edit, Qt::Key_Tab);
    EXPECT_EQ(form.edit->text(), "1000");
}

TEST(NumEdit, MinusAndPointOnlyWhenAllowedAndInPlace)
{
    Form form;
    form.edit->clear();
    form.type("-.5");
    EXPECT_EQ(form.edit->text(), "5");

    form.edit->setAllowMinus(true);
    form.edit->setAllowDecimal(true);
    form.edit->clear();
    form.type("-1.5.2-");  // a second point and a minus after the start are dropped
    EXPECT_EQ(form.edit->text(), "-1.52");

    // Nothing goes in front of the sign.
    form.edit->setCursorPosition(0);
    form.type("7-");
    EXPECT_EQ(form.edit->text(), "-1.52");
}

TEST(NumEdit, LeavingTheBoxValidatesAgainstTheLimits)
{
    Form form;
    form.edit->clear();
    form.type("5000");
    form.other->setFocus();
    ZARN_WAIT_EQ(form.edit->text(), "1000", 5000);

    form.edit->setFocus();
    ZARN_WAIT_TRUE(form.edit->hasFocus(), 5000);
    form.edit->clear();
    form.type("42");
    QTest::keyClick(form.edit, Qt::Key_Return);  // runs the validation and moves on
    EXPECT_EQ(form.edit->text(), "42");
    ZARN_WAIT_TRUE(!form.edit->hasFocus(), 5000);
}

TEST(NumEdit, ValidateTextReadsALeadingNumberOrZero)
{
    TNumEdit edit;
    edit.setAllowMinus(true);
    for (const auto& [text, shown] : {std::pair{"-", "0"},
                                      {"", "0"},
                                      {"abc", "0"},
                                      {"12abc", "12"},
                                      {"-2000", "-1000"},
                                      {"2.50", "2.5"},
                                      {"inf", "0"}}) {
        edit.setText(text);
        edit.ValidateText();
        EXPECT_EQ(edit.text(), shown) << text;
    }
    // Validation keeps decimals even when they are not allowed.
    edit.setText("7.6");
    edit.ValidateText();
    EXPECT_EQ(edit.text(), "7.6");
}

TEST(NumEdit, NumberReadsTheTextWithoutLimits)
{
    TNumEdit edit;
    edit.setText("5000");
    EXPECT_EQ(edit.Number(), 5000);
    edit.setText("-");
    EXPECT_EQ(edit.Number(), 0);
}

TEST(NumEdit, SettingTheNumberAppliesLimitsAndRounding)
{
    TNumEdit edit;
    edit.setNumber(7.6);
    EXPECT_EQ(edit.text(), "8");
    edit.setNumber(2.5);
    EXPECT_EQ(edit.text(), "3");
    edit.setNumber(-2.5);
    EXPECT_EQ(edit.text(), "-2");  // halves go up
    edit.setNumber(-3);
    EXPECT_EQ(edit.text(), "-3");  // whole numbers stay whole, negative ones too
    edit.setNumber(-7.6);
    EXPECT_EQ(edit.text(), "-8");
    edit.setNumber(1e6);
    EXPECT_EQ(edit.text(), "1000");

    edit.setAllowDecimal(true);
    edit.setNumber(7.6);
    EXPECT_EQ(edit.text(), "7.6");
    edit.setAllowDecimal(false);
    EXPECT_EQ(edit.text(), "8");
}

TEST(NumEdit, LimitsMustStayInOrder)
{
    TNumEdit edit;
    edit.setMax(-1000);  // not above Min: ignored
    EXPECT_EQ(edit.Max(), 1000);
    edit.setMin(1000);  // not below Max: ignored
    EXPECT_EQ(edit.Min(), -1000);

    edit.setNumber(500);
    edit.setMax(100);
    EXPECT_EQ(edit.text(), "100");
    edit.setMin(200);  // still below the new Max? no: 200 > 100, ignored
    EXPECT_EQ(edit.Min(), -1000);
    edit.setMin(50);
    edit.setNumber(10);
    EXPECT_EQ(edit.text(), "50");
}

TEST(NumEdit, TurningMinusOffMakesTheNumberPositive)
{
    TNumEdit edit;
    edit.setNumber(-3);
    EXPECT_EQ(edit.text(), "-3");
    edit.setAllowMinus(false);
    EXPECT_EQ(edit.text(), "3");
}

TEST(NumEdit, GeneralFormHasNoTrailingZeros)
{
    EXPECT_EQ(TNumEdit::generalText(12), "12");
    EXPECT_EQ(TNumEdit::generalText(2.5), "2.5");
    EXPECT_EQ(TNumEdit::generalText(-0.0), "0");
    EXPECT_EQ(TNumEdit::generalText(0.1 + 0.2), "0.3");
}

}  // namespace
