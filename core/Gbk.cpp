#include "core/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString FromGbk(std::string_view bytes) {
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToGbk(const QString& text) {
    QStringEncoder encoder("GBK");
    if (!encoder.isValid())
        return text.toStdString();
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
