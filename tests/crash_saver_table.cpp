#include "Appointment.h"

// The table of save number k: every record names its save, so any mix of two
// saves shows.
QList<Appointment> tableOf(int k, int records)
{
    QList<Appointment> table;
    table.reserve(records);
    for (int i = 0; i < records; ++i) {
        table.append({46000.0 + i + k / 1000.0, 46000.5 + i, QStringLiteral("Save %1").arg(k),
                      QStringLiteral("Record %1 of save %2").arg(i).arg(k),
                      QStringLiteral("Line one\\nline two of record %1").arg(i)});
    }
    return table;
}
