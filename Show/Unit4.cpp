// TForm4: the full-screen window, the picture alone on black.
#include "Unit4.h"

#include "Unit1.h"

TForm4::TForm4(TForm1& main) : QDialog(nullptr), main_(main)
{
    setObjectName(QStringLiteral("TForm4"));
}

TForm4::~TForm4() = default;

void TForm4::ShowPicture(const QImage& picture)
{
    (void)picture;
}
