#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Section-and-key text files read and written the way the Windows profile
// functions treat them: names match without regard to case, blanks around names
// and values do not count, a value in matching quotes loses them, and a write
// changes only the line it concerns, leaving every other byte of the file as it was.
namespace PrivateProfile {

// Places the value of section/key in `out`, at most bufferSize - 1 characters,
// and returns how many it placed. A missing file, section or key gives the
// default (its trailing blanks removed); a key with an empty value gives nothing.
int getString(const QString &section, const QString &key, const QString &defaultValue, int bufferSize,
              const QString &file, QString &out);

// With a value: creates file, section and key as needed or replaces the value.
// With no value: removes the key. With neither: removes the section.
// Returns false when the file could not be written.
bool writeString(const QString &section, const std::optional<QString> &key, const std::optional<QString> &value,
                 const QString &file);

// A line of a profile file as the functions above read it. The name and the
// value are the file's own bytes in the code page, without the blanks and
// quotes around them; they stay valid as long as the file's bytes do.
struct Entry {
    enum class Kind { Blank, Comment, Section, Key, Other };
    Kind kind;
    qsizetype offset;     // of the line's first byte
    QByteArrayView name;  // of the section or key
    QByteArrayView value; // of a key
};
// Hands each line to `visit` in the file's order. No line is copied and
// nothing is kept, so a file of any number of lines costs no more than itself.
void forEachEntry(QByteArrayView data, const std::function<void(const Entry &)> &visit);

// Section and key names as the functions above match them: without regard to
// case, byte for byte in the code page.
bool sameName(QByteArrayView a, QByteArrayView b);
// A hash on which names that are the same agree.
size_t hashName(QByteArrayView name, size_t seed = 0);

} // namespace PrivateProfile
