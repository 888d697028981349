#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Name used when neither the server's answer nor the URL offers a usable one.
inline constexpr char16_t kFallbackFileName[] = u"update.bin";

// The file name a Content-Disposition header proposes ("filename*" preferred over "filename"),
// as sent, or an empty text when there is none.
QString ContentDispositionFileName(const QByteArray& header);

// Reduces a proposed name to a plain file name in the current directory: directories,
// control characters, surrounding blanks and leading dots are dropped, the result is cut to
// 255 bytes. Empty when nothing usable is left.
QString PlainFileName(const QString& proposed);

// The last segment of the URL's path, decoded; empty when the path ends with a slash.
QString UrlFileName(const QUrl& url);

// The local name of a download: the Content-Disposition name, else the last segment of the
// final URL, else that of the requested URL, else kFallbackFileName; each reduced by
// PlainFileName and skipped when unusable.
QString ChooseFileName(const QByteArray& contentDisposition, const QUrl& finalUrl, const QUrl& requestedUrl);
