// Saves one table after another into a record file, forever, and says which
// one it finished after each save. The crash test kills it at random moments.
#include "Appointment.h"
#include "FileOps.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

QList<Appointment> tableOf(int k, int records);

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
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
