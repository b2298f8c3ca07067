#pragma once

#include "RecordFile.h"

#include <QList>
#include <QString>

// One appointment. Times are OLE dates kept exactly as read; the description
// is kept escaped, with "\n" for each line break.
struct Appointment {
    double StartTime = 0;
    double EndTime = 0;
    StoredText Category;
    StoredText Title;
    StoredText Description;
};
Q_DECLARE_TYPEINFO(Appointment, Q_RELOCATABLE_TYPE);

// The same record: the same dates to the bit and the same texts. A record is
// known by its content when another writer may have moved it.
bool operator==(const Appointment &a, const Appointment &b);

namespace AppointmentFile {

// Two dates and three texts a record: 1,966,269,803,380 bytes.
constexpr qint64 LargestFile = RecordFile::largestFile(2 * 8, 3);
static_assert(LargestFile == 1'966'269'803'380);

class Encoder
{
public:
    // The whole file for a table.
    QByteArray operator()(const QList<Appointment> &table) const;
    // The same bytes as pieces, which take each record that did not change
    // since it was read straight from the file's bytes: what a save writes.
    RecordFile::Pieces pieces(const QList<Appointment> &table) const;
};
inline constexpr Encoder encode{};

RecordFile::Decoded<Appointment> decode(const QByteArray &bytes);

} // namespace AppointmentFile
