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

namespace ToDoFile {

// A flag and two texts a record: 1,310,759,868,931 bytes.
constexpr qint64 LargestFile = RecordFile::largestFile(2, 2);
static_assert(LargestFile == 1'310'759'868'931);

// Done is written as 0x0000 or 0xFFFF.
QByteArray encode(const QList<ToDoItem> &table);
// Any Done value other than 0x0000 reads as completed, so that no item falls
// outside both groups of the list; a value other than 0xFFFF is reported as
// damage, since the next save writes it as 0xFFFF.
RecordFile::Decoded<ToDoItem> decode(const QByteArray &bytes);

} // namespace ToDoFile
