// Saves into a record file, forever, and says which save it finished after
// each one. The crash test kills it at random moments.
//
//   crash_saver <file> <records>
//     writes one whole table after another over the file;
//   crash_saver --writer <name> <data folder> <run>
//     shares appointments.cal with other writers as the program's writers
//     do: under the folder's write lock it reads the file, adds records of
//     its own and writes the whole file again.
#include "Appointment.h"
#include "FileOps.h"
#include "WriteLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdio>

QList<Appointment> tableOf(int k, int records);
QList<Appointment> addedBy(const QString &writer, int run, int save);

namespace {

int shareTheFile(const QString &writer, const QString &folder, int run)
{
    const QString path = folder + QStringLiteral("/appointments.cal");
    for (int save = 0;; ++save) {
        {
            const WriteLock lock(folder);
            QList<Appointment> table;
            if (QFile::exists(path)) {
                auto decoded = AppointmentFile::decode(FileOps::readWhole(path));
                if (decoded.damage) {
                    std::fprintf(stderr, "%s is damaged: %s\n", qPrintable(path), qPrintable(decoded.damage->what));
                    return 3;
                }
                table = std::move(decoded.records);
            }
            table += addedBy(writer, run, save);
            FileOps::writeWhole(path, AppointmentFile::encode(table));
        }
        std::printf("%d\n", save);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--writer")
        return shareTheFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            QString::fromLatin1(argv[4]).toInt());
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int records = QString::fromLatin1(argv[2]).toInt();
    for (int k = 0;; ++k) {
        FileOps::writeWhole(path, AppointmentFile::encode(tableOf(k, records)));
        std::printf("%d\n", k);
        std::fflush(stdout);
    }
}
