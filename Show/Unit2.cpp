// TForm2: the preferences dialog.
#include "Unit2.h"

#include "Unit1.h"

TForm2::TForm2(TForm1& main) : QDialog(nullptr), main_(main)
{
    setObjectName(QStringLiteral("TForm2"));
}

TForm2::~TForm2() = default;

void TForm2::Execute() {}
