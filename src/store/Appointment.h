#pragma once

#include "RecordFile.h"

#include <QList>
#include <QString>

// One appointment. Times are OLE dates kept exactly as read; the description
// is kept escaped, with "\n" for each line break.
struct Appointment {
    double StartTime = 0;
    double EndTime = 0;
    QString Category;
    QString Title;
    QString Description;
};

namespace AppointmentFile {

QByteArray encode(const QList<Appointment> &table);
RecordFile::Decoded<Appointment> decode(QByteArrayView bytes);

} // namespace AppointmentFile
