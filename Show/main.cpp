// Show: the viewer program's entry.
#include "Unit1.h"
#include "message_box.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zarn"));
    QApplication::setApplicationName(QStringLiteral("Show"));
    show::installLibraryMessageBox();

    TForm1 form;
    form.DispatchArgument(QApplication::arguments().mid(1));
    form.show();
    return app.exec();
}
