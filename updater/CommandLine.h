#pragma once

#include <QString>
#include <QStringList>

// The download URL is the whole text after the program name: the first token of the command
// line (quoted or not) and the blanks after it are skipped, the rest is kept as it is.
QString UrlFromCommandLine(const QString& commandLine);

// The same rule for a process started with an argument vector: the program name is the first
// element, the argument text is the rest joined with single blanks.
QString UrlFromArguments(const QStringList& arguments);
