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

namespace AppointmentFile {

QByteArray encode(const QList<Appointment> &table);
RecordFile::Decoded<Appointment> decode(const QByteArray &bytes);

} // namespace AppointmentFile
