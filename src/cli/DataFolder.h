#pragma once

#include "Appointment.h"
#include "Cli.h"
#include "InstanceLock.h"
#include "ToDoItem.h"

#include <QList>
#include <QString>

#include <memory>

namespace Cli {

// The data folder a command works on, and the record files in it.
class DataFolder
{
public:
    // Fails with BadInput when there is no such folder.
    explicit DataFolder(const QString &path);

    QString path() const { return path_; }
    QString file(const QString &name) const { return path_ + u'/' + name; }

    // Before a command writes anything: fails with InUse while the program
    // holds the folder, with FileFailed when the lock cannot be taken at all,
    // and keeps the program from starting until this ends.
    void lock();

    // The tables; a missing file is an empty table. Reading commands get
    // what a damaged file still holds, with a warning on `err`; a command that
    // will write refuses a damaged file, since its save would drop the rest.
    enum class Use { Read, Write };
    QList<Appointment> appointments(Use use, QTextStream &err) const;
    QList<ToDoItem> toDos(Use use, QTextStream &err) const;

    // The whole content of a file of the folder, or of any path.
    static QByteArray read(const QString &path);
    // Replaces a file whole, or fails with FileFailed leaving it as it was.
    static void write(const QString &path, const QByteArray &bytes);

    // Rewrites ToDo.html when the export is on, as the program does after every change.
    void updateToDoPage(const QList<ToDoItem> &toDos) const;

private:
    template<class Record, class Decode>
    QList<Record> load(const QString &name, Decode decode, Use use, QTextStream &err) const;

    QString path_;
    std::unique_ptr<InstanceLock> lock_;
};

} // namespace Cli
