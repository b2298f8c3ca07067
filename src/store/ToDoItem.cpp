#include "ToDoItem.h"

#include <QtEndian>

#include <optional>
#include <utility>

bool operator==(const ToDoItem &a, const ToDoItem &b)
{
    return a.Done == b.Done && a.Title == b.Title && a.Description == b.Description;
}

namespace ToDoFile {

namespace {
// The flag as a little-endian word, then the title and the description.
// (A lambda rather than a function, so that the loops over a table inline it.)
constexpr auto layoutOf = [](const ToDoItem &item) {
    RecordFile::Layout<2, 2> record;
    qToLittleEndian<quint16>(item.Done ? 0xFFFF : 0x0000, record.fixed.data());
    record.texts = {&item.Title, &item.Description};
    return record;
};
} // namespace

QByteArray Encoder::operator()(const QList<ToDoItem> &table) const
{
    return RecordFile::encode(table, layoutOf);
}

RecordFile::Pieces Encoder::pieces(const QList<ToDoItem> &table) const
{
    return RecordFile::pieces(table, layoutOf);
}

RecordFile::Decoded<ToDoItem> decode(const QByteArray &bytes)
{
    qsizetype index = 0;
    std::optional<std::pair<qsizetype, quint16>> odd;
    RecordFile::Decoded<ToDoItem> result = RecordFile::decode<ToDoItem>(bytes, [&](RecordFile::Reader &in) {
        ToDoItem item;
        const quint16 done = in.getWord();
        item.Done = done != 0;
        if (done != 0 && done != 0xFFFF && !odd)
            odd = {{index, done}};
        item.Title = in.getStoredText();
        item.Description = in.getStoredText();
        ++index;
        return item;
    });
    if (odd && !result.damage) {
        result.damage = RecordFile::Damage{
            AppError::TypeMismatch, QStringLiteral("record %1 has the completion flag %2, which was read as completed")
                                        .arg(odd->first)
                                        .arg(odd->second, 4, 16, QLatin1Char('0'))};
    }
    return result;
}

} // namespace ToDoFile
