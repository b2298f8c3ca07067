#include "ToDoItem.h"

namespace ToDoFile {

QByteArray encode(const QList<ToDoItem> &table)
{
    RecordFile::Writer out(static_cast<qint32>(table.size()));
    for (const ToDoItem &item : table) {
        out.putWord(item.Done ? 0xFFFF : 0x0000);
        out.putText(item.Title);
        out.putText(item.Description);
    }
    return out.bytes();
}

RecordFile::Decoded<ToDoItem> decode(QByteArrayView bytes)
{
    return RecordFile::decode<ToDoItem>(bytes, [](RecordFile::Reader &in) {
        ToDoItem item;
        item.Done = in.getWord() != 0;
        item.Title = in.getText();
        item.Description = in.getText();
        return item;
    });
}

} // namespace ToDoFile
