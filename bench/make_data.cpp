// Writes a data folder of the given size for the start-up measurement.
// usage: make_data DATA_FOLDER APPOINTMENTS TODOS
#include "DataGen.h"
#include "FileOps.h"

#include <QCoreApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    FileOps::writeWhole(folder + QStringLiteral("/appointments.cal"),
                        AppointmentFile::encode(DataGen::appointments(QString::fromLatin1(argv[2]).toLongLong())));
    FileOps::writeWhole(folder + QStringLiteral("/todos.cal"),
                        ToDoFile::encode(DataGen::toDos(QString::fromLatin1(argv[3]).toLongLong())));
    return 0;
}
