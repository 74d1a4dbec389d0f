// TForm1: the desktop entries written at every start, and associating formats with the viewer on request.
#include "Unit1.h"

#include "artwork.h"
#include "file_filters.h"
#include "registration.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <string_view>

namespace {

QString extension_text(int n)
{
    return controls::library_text(_Pic_Extension(n));
}

QStringList all_extensions(int format_count)
{
    QStringList extensions;
    for (int i = 1; i <= format_count; ++i) extensions << show::extensionsOf(extension_text(i));
    return extensions;
}

// Our own MIME types for the extensions the shared database lacks, compiled
// into the per-user database so that file managers and xdg-mime see them.
void install_mime_package(const QStringList& extensions)
{
    const QString package = show::mimePackage(extensions);
    if (package.isEmpty()) return;
    const QString folder = show::dataHome() + QStringLiteral("/mime");
    const QString path = folder + QStringLiteral("/packages/zarn-show.xml");
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == package.toUtf8()) return;
    current.close();
    if (!show::writeFileIfChanged(path, package)) return;
    QProcess update;
    update.start(QStringLiteral("update-mime-database"), {folder});
    if (update.waitForStarted(5000)) update.waitForFinished(30000);
}

}  // namespace

void TForm1::WriteClassKeys()
{
    // The entries always name the program that started last, so moving it
    // and starting it once repairs them.
    QStringList types;
    for (const QString& extension : all_extensions(FormatCount)) {
        const QString type = show::mimeTypeForExtension(extension);
        if (!types.contains(type)) types << type;
        // Phones name HEIC files by the alias, which some file managers match on its own.
        if (type == QLatin1String("image/heif") && !types.contains(QLatin1String("image/heic")))
            types << QStringLiteral("image/heic");
    }
    const QString folder = show::dataHome() + QStringLiteral("/applications");
    for (const show::DesktopEntry& entry : show::desktopEntries(QCoreApplication::applicationFilePath(), types))
        show::writeFileIfChanged(folder + '/' + entry.fileName, entry.text);
    // Thumbnails of the formats only we read, drawn by the converter beside the program.
    show::installThumbnailer(QCoreApplication::applicationDirPath() + QStringLiteral("/zarnconv"));
    // The icon the entries name, from the program's own drawing.
    static_assert(std::string_view(show::kIconName) == std::string_view(artwork::kProgramIcon));
    const QByteArray icon = artwork::source(QLatin1String(artwork::kProgramIcon));
    if (!icon.isEmpty()) show::writeFileIfChanged(show::iconPath(), QString::fromUtf8(icon));
}

void TForm1::RegisterFormats(int n)
{
    for (int i = 1; i <= FormatCount; ++i) {
        if (n == 0 || n == i) RegisterExtension(extension_text(i));
    }
    QApplication::beep();
    if (n == 0) set_status(QStringLiteral("Registered All"));
}

void TForm1::RegisterExtension(const QString& extensionText)
{
    const QStringList extensions = show::extensionsOf(extensionText);
    bool needs_package = false;
    for (const QString& extension : extensions)
        needs_package = needs_package || show::isOwnMimeType(show::mimeTypeForExtension(extension));
    if (needs_package) install_mime_package(all_extensions(FormatCount));

    const QString list_path = show::configHome() + QStringLiteral("/mimeapps.list");
    for (const QString& extension : extensions) {
        QFile list(list_path);
        QString existing;
        if (list.exists()) {
            if (!list.open(QIODevice::ReadOnly)) continue;  // never replace a file we could not read
            existing = QString::fromUtf8(list.readAll());
            list.close();
        }
        const QString type = show::mimeTypeForExtension(extension);
        const QString merged = show::withDefaultApplication(existing, type, QString::fromLatin1(show::kDesktopId));
        if (!show::writeFileIfChanged(list_path, merged)) continue;
        set_status(QStringLiteral("Registered ") + extension);
    }
}
