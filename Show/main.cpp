// Show: the viewer program's entry.
#include "Unit1.h"
#include "command_line.h"
#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zarn"));
    QApplication::setApplicationName(QStringLiteral("Show"));

    // A viewer already running takes the argument over, and this copy ends
    // without a window of its own.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (show::handOffToRunningViewer(show::argumentText(arguments))) return 0;

    show::installLibraryMessageBox();
    try {
        TForm1 form;
        if (!form.DispatchArgument(arguments)) {
            // The verb's work was all this run had to do. A window that never
            // shows is never activated, so it is closed here rather than on
            // its first activation.
            form.exitClick();
            return 0;
        }
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Show"), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
