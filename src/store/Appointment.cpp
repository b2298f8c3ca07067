#include "Appointment.h"

#include <QtEndian>

#include <bit>

bool operator==(const Appointment &a, const Appointment &b)
{
    // By the bits: a date read as NaN is still the same date.
    return std::bit_cast<quint64>(a.StartTime) == std::bit_cast<quint64>(b.StartTime)
           && std::bit_cast<quint64>(a.EndTime) == std::bit_cast<quint64>(b.EndTime) && a.Title == b.Title
           && a.Category == b.Category && a.Description == b.Description;
}

namespace AppointmentFile {

namespace {
// Two little-endian doubles, then the category, the title and the description.
// (A lambda rather than a function, so that the loops over a table inline it.)
constexpr auto layoutOf = [](const Appointment &a) {
    RecordFile::Layout<16, 3> record;
    qToLittleEndian(a.StartTime, record.fixed.data());
    qToLittleEndian(a.EndTime, record.fixed.data() + 8);
    record.texts = {&a.Category, &a.Title, &a.Description};
    return record;
};
} // namespace

QByteArray Encoder::operator()(const QList<Appointment> &table) const
{
    return RecordFile::encode(table, layoutOf);
}

RecordFile::Pieces Encoder::pieces(const QList<Appointment> &table) const
{
    return RecordFile::pieces(table, layoutOf);
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
