#include "Appointment.h"

namespace AppointmentFile {

QByteArray encode(const QList<Appointment> &table)
{
    qsizetype size = 0;
    for (const Appointment &a : table)
        size += 22 + a.Category.encodedSize() + a.Title.encodedSize() + a.Description.encodedSize();
    RecordFile::Writer out(static_cast<qint32>(table.size()), size);
    for (const Appointment &a : table) {
        out.putDouble(a.StartTime);
        out.putDouble(a.EndTime);
        out.putText(a.Category);
        out.putText(a.Title);
        out.putText(a.Description);
    }
    return out.bytes();
}

RecordFile::Decoded<Appointment> decode(const QByteArray &bytes)
{
    return RecordFile::decode<Appointment>(bytes, [](RecordFile::Reader &in) {
        Appointment a;
        a.StartTime = in.getDouble();
        a.EndTime = in.getDouble();
        a.Category = in.getStoredText();
        a.Title = in.getStoredText();
        a.Description = in.getStoredText();
        return a;
    });
}

} // namespace AppointmentFile
