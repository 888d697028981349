#include "updater/CommandLine.h"

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QString UrlFromCommandLine(const QString& commandLine) {
    qsizetype i = 0;
    const qsizetype n = commandLine.size();
    while (i < n && IsBlank(commandLine[i]))
        ++i;
    if (i < n && commandLine[i] == u'"') {
        // A quoted program name ends at the closing quote, blanks included.
        ++i;
        while (i < n && commandLine[i] != u'"')
            ++i;
        if (i < n)
            ++i;
    } else {
        while (i < n && !IsBlank(commandLine[i]))
            ++i;
    }
    while (i < n && IsBlank(commandLine[i]))
        ++i;
    return commandLine.mid(i);
}

QString UrlFromArguments(const QStringList& arguments) {
    if (arguments.size() < 2)
        return {};
    return arguments.mid(1).join(u' ');
}
