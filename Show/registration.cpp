// Desktop integration: the viewer's desktop entries, MIME defaults and its own MIME package.
#include "registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>

#include <algorithm>
#include <cstdlib>

namespace show {
namespace {

struct Verb {
    const char* key;     // action and file name part
    const char* name;    // what the user sees: desktop entries have no mnemonics, so no '&'
    const char* option;  // command-line spelling of the verb character
};
// Browse "=", Edit "?", EditWith "!", Print "+".
constexpr Verb kVerbs[] = {
    {"Browse", "Browse", "--browse"},
    {"Edit", "Edit Image", "--edit"},
    {"EditWith", "Edit Image With...", "--edit-with"},
    {"Print", "Print", "--print"},
};

QString folderFromEnv(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && *value == '/') return QFile::decodeName(value);
    return QDir::homePath() + '/' + QLatin1String(fallback);
}

QString exec_line(const QString& program, const char* option)
{
    QString line = execArgument(program);
    if (option) line += ' ' + QLatin1String(option);
    return line + QStringLiteral(" %f");
}

QString entry_header(const QString& name, const QString& program, const char* option, const QStringList& types)
{
    QString text = QStringLiteral(
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.4\n");
    text += "Name=" + name + '\n';
    text += QStringLiteral(
        "GenericName=Image Viewer\n"
        "Comment=View and convert images\n");
    text += "Exec=" + exec_line(program, option) + '\n';
    text += "Icon=" + QLatin1String(kIconName) + '\n';
    text += QStringLiteral(
        "Terminal=false\n"
        "Categories=Graphics;Viewer;\n");
    if (!types.isEmpty()) text += "MimeType=" + types.join(';') + ";\n";
    return text;
}

}  // namespace

QString dataHome()
{
    return folderFromEnv("XDG_DATA_HOME", ".local/share");
}

QString iconPath()
{
    return dataHome() + QStringLiteral("/icons/hicolor/scalable/apps/") + QLatin1String(kIconName) +
           QStringLiteral(".svg");
}

QString configHome()
{
    return folderFromEnv("XDG_CONFIG_HOME", ".config");
}

QString execArgument(const QString& argument)
{
    // Quoting only where the Exec syntax demands it: simple tools (xdg-mime
    // among them) take the first word of the line as the program as it stands.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString quoted;
    for (const QChar c : argument) {
        // Inside double quotes ", `, $ and \ are escaped with a backslash.
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
        quoted += c;
    }
    // The desktop file's own string syntax then doubles every backslash, and
    // field codes make '%' special.
    QString escaped;
    for (const QChar c : quoted) {
        if (c == '\\') escaped += QStringLiteral("\\\\");
        else if (c == '\n') escaped += QStringLiteral("\\n");
        else if (c == '\t') escaped += QStringLiteral("\\t");
        else if (c == '\r') escaped += QStringLiteral("\\r");
        else if (c == '%') escaped += QStringLiteral("%%");
        else escaped += c;
    }
    return quote ? '"' + escaped + '"' : escaped;
}

std::vector<DesktopEntry> desktopEntries(const QString& program, const QStringList& mimeTypes)
{
    std::vector<DesktopEntry> entries;
    QString main = entry_header(QStringLiteral("Show"), program, nullptr, mimeTypes);
    QStringList actions;
    for (const Verb& verb : kVerbs) actions << QLatin1String(verb.key);
    main += "Actions=" + actions.join(';') + ";\n";
    for (const Verb& verb : kVerbs) {
        main += QStringLiteral("\n[Desktop Action %1]\n").arg(QLatin1String(verb.key));
        main += "Name=" + QLatin1String(verb.name) + '\n';
        main += "Exec=" + exec_line(program, verb.option) + '\n';
    }
    entries.push_back({QLatin1String(kDesktopId), main});
    // The verbs' own entries stay out of the application menu, which lists
    // the viewer once; file managers still offer them for a file.
    for (const Verb& verb : kVerbs) {
        QString name = "Show: " + QLatin1String(verb.name);
        entries.push_back({QStringLiteral("Show.Image.%1.desktop").arg(QLatin1String(verb.key)),
                           entry_header(name, program, verb.option, mimeTypes) + QStringLiteral("NoDisplay=true\n")});
    }
    return entries;
}

QStringList extensionsOf(const QString& extensionText)
{
    QStringList pieces;
    qsizetype start = 0;
    while (start < extensionText.size()) {
        qsizetype end = start;
        while (end < extensionText.size() && extensionText.at(end).isLetterOrNumber()) ++end;
        if (end > start) pieces << extensionText.mid(start, end - start);
        start = end + 1;
    }
    return pieces;
}

bool isOwnMimeType(const QString& type)
{
    return type.startsWith(QLatin1String("image/x-zarn-"));
}

QString mimeTypeForExtension(const QString& extension)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile("file." + extension, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault() && !isOwnMimeType(type.name())) return type.name();
    return "image/x-zarn-" + extension.toLower();
}

QString mimePackage(const QStringList& extensions)
{
    QString types;
    for (const QString& extension : extensions) {
        const QString type = mimeTypeForExtension(extension);
        if (!isOwnMimeType(type)) continue;
        types += QStringLiteral(
                     "  <mime-type type=\"%1\">\n"
                     "    <sub-class-of type=\"application/octet-stream\"/>\n"
                     "    <comment>%2 image</comment>\n"
                     "    <glob pattern=\"*.%3\"/>\n"
                     "  </mime-type>\n")
                     .arg(type, extension.toUpper(), extension.toLower());
    }
    if (types.isEmpty()) return {};
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n") +
           types + QStringLiteral("</mime-info>\n");
}

QString withDefaultApplication(const QString& existing, const QString& type, const QString& desktopId)
{
    QStringList lines = existing.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();

    const auto isGroup = [](const QString& line) { return line.trimmed().startsWith('['); };
    int group = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed() == QLatin1String("[Default Applications]")) {
            group = i;
            break;
        }
    }
    if (group < 0) {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty()) lines << QString();
        lines << QStringLiteral("[Default Applications]");
        group = int(lines.size()) - 1;
    }
    int end = group + 1;
    while (end < lines.size() && !isGroup(lines[end])) ++end;

    QStringList applications{desktopId};
    int at = -1;
    for (int i = group + 1; i < end; ++i) {
        const QString line = lines[i];
        const qsizetype equals = line.indexOf('=');
        if (equals < 0 || line.left(equals).trimmed() != type) continue;
        for (const QString& id : line.mid(equals + 1).split(';', Qt::SkipEmptyParts)) {
            if (!applications.contains(id.trimmed())) applications << id.trimmed();
        }
        if (at < 0) at = i;
        else lines[i] = QString(QChar(0));  // a second line for the type folds into the first
    }
    const QString line = type + '=' + applications.join(';') + ';';
    if (at >= 0) {
        lines[at] = line;
    } else {
        // After the group's last line that is not blank.
        int insert = end;
        while (insert > group + 1 && lines[insert - 1].trimmed().isEmpty()) --insert;
        lines.insert(insert, line);
    }
    lines.removeAll(QString(QChar(0)));
    return lines.join('\n') + '\n';
}

QString thumbnailerPath()
{
    return dataHome() + QStringLiteral("/thumbnailers/zarn-show.thumbnailer");
}

QStringList thumbnailerMimeTypes()
{
    // PhotoCD, Amiga IFF, Targa, PCX, the texture and the camera RAW kinds,
    // each by the type registration gives its extension, then the older
    // names some file managers still match on.
    static const char* const kExtensions[] = {"pcd", "iff", "tga", "pcx", "r8",  "dng", "cr2",
                                              "cr3", "nef", "arw", "orf", "rw2", "pef", "srw"};
    static const char* const kAliases[] = {"image/x-iff", "image/x-targa", "image/x-pcx"};
    QStringList types;
    for (const char* extension : kExtensions) {
        const QString type = mimeTypeForExtension(QLatin1String(extension));
        if (!types.contains(type)) types << type;
    }
    for (const char* alias : kAliases)
        if (!types.contains(QLatin1String(alias))) types << QLatin1String(alias);
    return types;
}

QString thumbnailerEntry(const QString& converter)
{
    return QStringLiteral("[Thumbnailer Entry]\n") +
           "TryExec=" + QString(converter).replace('\\', QStringLiteral("\\\\")) + '\n' +
           "Exec=" + execArgument(converter) + QStringLiteral(" --thumbnail %s %i %o\n") +
           "MimeType=" + thumbnailerMimeTypes().join(';') + ";\n";
}

bool installThumbnailer(const QString& converter)
{
    const QFileInfo program(converter);
    if (!program.isFile() || !program.isExecutable()) {
        removeThumbnailer();
        return false;
    }
    return writeFileIfChanged(thumbnailerPath(), thumbnailerEntry(program.absoluteFilePath()));
}

void removeThumbnailer()
{
    QFile::remove(thumbnailerPath());
}

bool writeFileIfChanged(const QString& path, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == bytes) return true;
    current.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(bytes);
    return file.commit();
}

}  // namespace show
