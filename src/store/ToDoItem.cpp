#include "ToDoItem.h"

#include <optional>
#include <utility>

namespace ToDoFile {

QByteArray encode(const QList<ToDoItem> &table)
{
    qsizetype size = 0;
    for (const ToDoItem &item : table)
        size += 6 + item.Title.encodedSize() + item.Description.encodedSize();
    RecordFile::Writer out(static_cast<qint32>(table.size()), size);
    for (const ToDoItem &item : table) {
        out.putWord(item.Done ? 0xFFFF : 0x0000);
        out.putText(item.Title);
        out.putText(item.Description);
    }
    return out.bytes();
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
