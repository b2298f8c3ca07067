#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <variant>

// A text of a record. Read from a file, it stays the file's own bytes (one
// shared buffer for the whole table) and is decoded only when it is looked
// at, so loading a large file neither decodes nor allocates per text, and a
// text saved unchanged is written back byte for byte. Set by the program, it
// holds its own characters.
class StoredText
{
public:
    StoredText() = default;
    StoredText(const QString &text)
        : value_(text)
    {
    }
    StoredText(const char *text)
        : value_(QString::fromUtf8(text))
    {
    }
    // `length` bytes at `offset` of a file's content.
    static StoredText inFile(const std::shared_ptr<const QByteArray> &file, qsizetype offset, qsizetype length);

    QString toString() const;
    operator QString() const { return toString(); }
    // The text in the code page, as a record holds it.
    QByteArray encoded() const;
    // Bytes in the code page (a character beyond the basic plane counts two until encoded).
    qsizetype encodedSize() const;
    bool isEmpty() const { return encodedSize() == 0; }

    friend bool operator==(const StoredText &a, const StoredText &b) { return a.toString() == b.toString(); }
    friend bool operator==(const StoredText &a, const QString &b) { return a.toString() == b; }
    friend bool operator==(const QString &a, const StoredText &b) { return a == b.toString(); }

private:
    // Small on purpose: a large table holds three of these per record.
    struct InFile {
        std::shared_ptr<const QByteArray> file;
        quint32 offset = 0;
        quint32 length = 0;
        QByteArrayView bytes() const { return QByteArrayView(*file).sliced(offset, length); }
    };
    std::variant<QString, InFile> value_;
};

namespace QTest {
// Test failures show the text.
char *toString(const StoredText &text);
} // namespace QTest
