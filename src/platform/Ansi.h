#pragma once

#include <QByteArray>
#include <QString>

// Text in the program's files is in the Windows-1252 code page. A character the
// code page lacks is written as "?"; every byte reads back as some character,
// so decoding and encoding again keeps any file byte for byte.
namespace Ansi {
QByteArray encode(QStringView text);
QString decode(QByteArrayView bytes);
} // namespace Ansi
