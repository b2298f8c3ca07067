#include "StoredText.h"

#include "Ansi.h"

StoredText StoredText::inFile(const QByteArray &file, qsizetype offset, qsizetype length)
{
    StoredText t;
    t.file_ = file;
    t.offset_ = offset;
    t.length_ = length;
    return t;
}

QString StoredText::toString() const
{
    if (file_.isNull())
        return text_;
    return Ansi::decode(QByteArrayView(file_).sliced(offset_, length_));
}

QByteArray StoredText::encoded() const
{
    if (file_.isNull())
        return Ansi::encode(text_);
    return file_.sliced(offset_, length_);
}

char *QTest::toString(const StoredText &text)
{
    return qstrdup(text.toString().toUtf8().constData());
}
