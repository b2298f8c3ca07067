#include "StoredText.h"

#include "Ansi.h"

StoredText StoredText::inFile(const std::shared_ptr<const QByteArray> &file, qsizetype offset, qsizetype length)
{
    StoredText t;
    t.value_ = InFile{file, static_cast<quint32>(offset), static_cast<quint32>(length)};
    return t;
}

QString StoredText::toString() const
{
    if (const auto *own = std::get_if<QString>(&value_))
        return *own;
    return Ansi::decode(std::get<InFile>(value_).bytes());
}

QByteArray StoredText::encoded() const
{
    if (const auto *own = std::get_if<QString>(&value_))
        return Ansi::encode(*own);
    return std::get<InFile>(value_).bytes().toByteArray();
}

qsizetype StoredText::encodedSize() const
{
    if (const auto *own = std::get_if<QString>(&value_))
        return own->size();
    return std::get<InFile>(value_).length;
}

char *QTest::toString(const StoredText &text)
{
    return qstrdup(text.toString().toUtf8().constData());
}
