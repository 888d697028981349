// The updater's file name reduction: from any header or URL the chosen name is a plain,
// non-empty name in the current folder within the file system's 255-byte limit.
#include "FuzzCheck.h"

#include "updater/FileName.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>

namespace {

void CheckPlain(const QString& name) {
    FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\'));
    FUZZ_CHECK(!name.startsWith(u'.'));
    FUZZ_CHECK(name.toUtf8().size() <= 255);
    FUZZ_CHECK(name == name.trimmed());
    FUZZ_CHECK(name.isEmpty() || !name.back().isHighSurrogate());
    for (const QChar c : name)
        FUZZ_CHECK(c.category() != QChar::Other_Control);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);
    CheckPlain(PlainFileName(text));
    CheckPlain(PlainFileName(ContentDispositionFileName(bytes)));
    const QUrl url(text);
    const QString chosen = ChooseFileName(bytes, url, url);
    FUZZ_CHECK(!chosen.isEmpty());
    CheckPlain(chosen);
    return 0;
}
