#include "Appointment.h"

namespace AppointmentFile {

QByteArray encode(const QList<Appointment> &table)
{
    RecordFile::Writer out(static_cast<qint32>(table.size()));
    for (const Appointment &a : table) {
        out.putDouble(a.StartTime);
        out.putDouble(a.EndTime);
        out.putText(a.Category);
        out.putText(a.Title);
        out.putText(a.Description);
    }
    return out.bytes();
}

RecordFile::Decoded<Appointment> decode(QByteArrayView bytes)
{
    return RecordFile::decode<Appointment>(bytes, [](RecordFile::Reader &in) {
        Appointment a;
        a.StartTime = in.getDouble();
        a.EndTime = in.getDouble();
        a.Category = in.getText();
        a.Title = in.getText();
        a.Description = in.getText();
        return a;
    });
}

} // namespace AppointmentFile
