#pragma once

#include <QByteArray>
#include <QString>

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
        : text_(text)
    {
    }
    StoredText(const char *text)
        : text_(QString::fromUtf8(text))
    {
    }
    // `length` bytes at `offset` of a file's content.
    static StoredText inFile(const QByteArray &file, qsizetype offset, qsizetype length);

    QString toString() const;
    operator QString() const { return toString(); }
    // The text in the code page, as a record holds it.
    QByteArray encoded() const;
    // Bytes in the code page (a character beyond the basic plane counts two until encoded).
    qsizetype encodedSize() const { return file_.isNull() ? text_.size() : length_; }
    bool isEmpty() const { return file_.isNull() ? text_.isEmpty() : length_ == 0; }

    friend bool operator==(const StoredText &a, const StoredText &b) { return a.toString() == b.toString(); }
    friend bool operator==(const StoredText &a, const QString &b) { return a.toString() == b; }
    friend bool operator==(const QString &a, const StoredText &b) { return a == b.toString(); }

private:
    QString text_;
    QByteArray file_; // shares the file's whole content; null for a text of the program's own
    qsizetype offset_ = 0;
    qsizetype length_ = 0;
};

namespace QTest {
// Test failures show the text.
char *toString(const StoredText &text);
} // namespace QTest
