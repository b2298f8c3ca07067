#pragma once

#include "RecordFile.h"

#include <QList>
#include <QString>

// One to-do item; the description is kept escaped, with "\n" for each line break.
struct ToDoItem {
    bool Done = false;
    StoredText Title;
    StoredText Description;
};
Q_DECLARE_TYPEINFO(ToDoItem, Q_RELOCATABLE_TYPE);

// The same record: the same completion and the same texts. A record is
// known by its content when another writer may have moved it.
bool operator==(const ToDoItem &a, const ToDoItem &b);

namespace ToDoFile {

// A flag and two texts a record: 1,310,759,868,931 bytes.
constexpr qint64 LargestFile = RecordFile::largestFile(2, 2);
static_assert(LargestFile == 1'310'759'868'931);

class Encoder
{
public:
    // The whole file for a table; Done is written as 0x0000 or 0xFFFF.
    QByteArray operator()(const QList<ToDoItem> &table) const;
    // The same bytes as pieces, which take each item that did not change
    // since it was read straight from the file's bytes: what a save writes.
    RecordFile::Pieces pieces(const QList<ToDoItem> &table) const;
};
inline constexpr Encoder encode{};

// Any Done value other than 0x0000 reads as completed, so that no item falls
// outside both groups of the list; a value other than 0xFFFF is reported as
// damage, since the next save writes it as 0xFFFF.
RecordFile::Decoded<ToDoItem> decode(const QByteArray &bytes);

} // namespace ToDoFile
