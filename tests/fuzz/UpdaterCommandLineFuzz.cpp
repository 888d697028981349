// The updater's command line: the URL is always the tail of the line, never starting with
// a blank, and an argument vector gives its arguments joined.
#include "FuzzCheck.h"

#include "updater/CommandLine.h"

#include <QString>
#include <QStringList>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString url = UrlFromCommandLine(line);
    FUZZ_CHECK(line.endsWith(url));
    FUZZ_CHECK(url.isEmpty() || (url.front() != u' ' && url.front() != u'\t'));

    const QStringList arguments = line.split(u'\n');
    const QString joined = UrlFromArguments(arguments);
    FUZZ_CHECK(arguments.size() >= 2 || joined.isEmpty());
    if (arguments.size() >= 2)
        FUZZ_CHECK(joined.size() == line.size() - arguments.front().size() - 1);
    return 0;
}
