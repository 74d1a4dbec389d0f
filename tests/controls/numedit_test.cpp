// TNumEdit: what typing lets through, validation, and the limits on the number.
#include "numedit.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

// A window with the box and a second control to move the focus to.
struct Form {
    QWidget window;
    TNumEdit* edit = new TNumEdit(&window);
    QLineEdit* other = new QLineEdit(&window);
    Form()
    {
        other->move(0, 40);
        EXPECT_TRUE(zarn::test::showAndWait(window));
        window.activateWindow();
        edit->setFocus();
        QApplication::processEvents();
    }
    void type(const QString& keys) { QTest::keyClicks(edit, keys); }
};

TEST(NumEdit, TypingTakesDigitsOnly)
{
    Form form;
    form.edit->clear();
    form.type("12a b,3");
    EXPECT_EQ(form.edit->text(), "123");
    QTest::keyClick(form.edit, Qt::Key_Backspace);  // refused like every other character
    EXPECT_EQ(form.edit->text(), "123");
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
    QApplication::processEvents();
    EXPECT_EQ(form.edit->text(), "1000");

    form.edit->setFocus();
    form.edit->clear();
    form.type("42");
    QTest::keyClick(form.edit, Qt::Key_Return);  // runs the validation and moves on
    EXPECT_EQ(form.edit->text(), "42");
    EXPECT_FALSE(form.edit->hasFocus());
}

TEST(NumEdit, ValidateTextReadsALeadingNumberOrZero)
{
    TNumEdit edit;
    edit.setAllowMinus(true);
    for (const auto& [text, shown] : {std::pair{"-", "0"}, {"", "0"}, {"abc", "0"}, {"12abc", "12"},
                                      {"-2000", "-1000"}, {"2.50", "2.5"}, {"inf", "0"}}) {
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
