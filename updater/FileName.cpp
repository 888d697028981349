#include "updater/FileName.h"

#include <QStringDecoder>

#include <optional>

namespace {

constexpr qsizetype kMaxNameBytes = 255;

// Header bytes are usually UTF-8; servers of Chinese sites also send GBK. Latin-1 never fails.
QString DecodeHeaderText(const QByteArray& bytes) {
    for (const char* codec : {"UTF-8", "GBK"}) {
        QStringDecoder decoder(codec);
        if (!decoder.isValid())
            continue;
        QString text = decoder(bytes);
        if (!decoder.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

struct Parameter {
    QByteArray name;
    QByteArray value;
};

// Splits "type; a=b; c="d;e"" into its parameters, honouring quoted strings and their escapes.
QList<Parameter> SplitParameters(const QByteArray& header) {
    QList<Parameter> result;
    qsizetype i = header.indexOf(';');
    if (i < 0)
        return result;
    const qsizetype n = header.size();
    while (i < n) {
        ++i; // past ';'
        const qsizetype eq = header.indexOf('=', i);
        const qsizetype semi = header.indexOf(';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            if (semi < 0)
                break;
            i = semi;
            continue;
        }
        Parameter p;
        p.name = header.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < n && (header[i] == ' ' || header[i] == '\t'))
            ++i;
        if (i < n && header[i] == '"') {
            ++i;
            while (i < n && header[i] != '"') {
                if (header[i] == '\\' && i + 1 < n)
                    ++i;
                p.value.append(header[i]);
                ++i;
            }
            const qsizetype next = header.indexOf(';', i);
            i = next < 0 ? n : next;
        } else {
            const qsizetype next = header.indexOf(';', i);
            const qsizetype end = next < 0 ? n : next;
            p.value = header.mid(i, end - i).trimmed();
            i = end;
        }
        result.append(p);
    }
    return result;
}

// charset'language'percent-encoded-value
std::optional<QString> DecodeExtendedValue(const QByteArray& value) {
    const qsizetype first = value.indexOf('\'');
    const qsizetype second = first < 0 ? -1 : value.indexOf('\'', first + 1);
    if (second < 0)
        return std::nullopt;
    const QByteArray charset = value.left(first).trimmed().toLower();
    const QByteArray bytes = QByteArray::fromPercentEncoding(value.mid(second + 1));
    if (charset == "utf-8") {
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    if (charset == "iso-8859-1")
        return QString::fromLatin1(bytes);
    return std::nullopt;
}

} // namespace

QString ContentDispositionFileName(const QByteArray& header) {
    QString plain;
    for (const Parameter& p : SplitParameters(header)) {
        if (p.name == "filename*") {
            if (auto decoded = DecodeExtendedValue(p.value))
                return *decoded;
        } else if (p.name == "filename" && plain.isEmpty()) {
            plain = DecodeHeaderText(p.value);
        }
    }
    return plain;
}

QString PlainFileName(const QString& proposed) {
    QString name = proposed;
    name.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    if (slash >= 0)
        name = name.mid(slash + 1);
    // Leading dots and blanks go together: ". .profile" must not become ".profile".
    qsizetype start = 0;
    while (start < name.size() && (name[start] == u'.' || name[start].isSpace()))
        ++start;
    name = name.mid(start).trimmed();
    // Cut at a character boundary so the name stays within the file system's limit.
    name.truncate(kMaxNameBytes);
    if (!name.isEmpty() && name.back().isHighSurrogate())
        name.chop(1);
    while (name.toUtf8().size() > kMaxNameBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
    // The cut may fall just after a blank inside the name.
    while (!name.isEmpty() && name.back().isSpace())
        name.chop(1);
    return name;
}

QString UrlFileName(const QUrl& url) {
    const QString path = url.path(QUrl::FullyDecoded);
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString ChooseFileName(const QByteArray& contentDisposition, const QUrl& finalUrl, const QUrl& requestedUrl) {
    for (const QString& proposed :
         {ContentDispositionFileName(contentDisposition), UrlFileName(finalUrl), UrlFileName(requestedUrl)}) {
        QString name = PlainFileName(proposed);
        if (!name.isEmpty())
            return name;
    }
    return QString::fromUtf16(kFallbackFileName);
}
