// The viewer's command line: one path, optionally behind a verb.
#include "command_line.h"

namespace show {
namespace {

struct VerbOption {
    const char* option;
    char verb;
};
constexpr VerbOption kVerbOptions[] = {
    {"--browse", '='}, {"--edit", '?'}, {"--edit-with", '!'}, {"--print", '+'}};

}  // namespace

QString argumentText(const QStringList& arguments)
{
    if (arguments.isEmpty()) return {};
    for (const VerbOption& entry : kVerbOptions) {
        if (arguments.front() == QLatin1String(entry.option))
            return arguments.size() > 1 ? QChar(entry.verb) + arguments.at(1) : QString();
    }
    return arguments.front();
}

VerbAndPath splitVerb(const QString& argument)
{
    if (!argument.isEmpty() && QStringLiteral("=?!+").contains(argument.front()))
        return {argument.front(), argument.mid(1)};
    return {QChar(), argument};
}

}  // namespace show
