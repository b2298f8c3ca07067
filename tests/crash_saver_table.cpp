#include "Appointment.h"

#include <QRegularExpression>

#include <optional>

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

// What one save of a writer sharing the file adds to it. The title names the
// writer, its run and the save, so that each record is unique and tells
// which save brought it; there are several, so a save cut in half shows.
constexpr int kRecordsPerSave = 3;

QList<Appointment> addedBy(const QString &writer, int run, int save)
{
    QList<Appointment> added;
    for (int i = 0; i < kRecordsPerSave; ++i) {
        added.append({46000.0 + save, 46000.5 + save, writer,
                      QStringLiteral("%1 run %2 save %3 record %4").arg(writer).arg(run).arg(save).arg(i),
                      QStringLiteral("added by %1").arg(writer)});
    }
    return added;
}

struct Added {
    QString writer;
    int run = 0;
    int save = 0;
};

// Which save of which writer brought a record; nothing for a record no save of ours wrote.
std::optional<Added> addedFrom(const Appointment &record)
{
    static const QRegularExpression title(QStringLiteral("^(\\S+) run (\\d+) save (\\d+) record (\\d+)$"));
    const QRegularExpressionMatch m = title.match(record.Title.toString());
    if (!m.hasMatch() || m.captured(4).toInt() >= kRecordsPerSave)
        return std::nullopt;
    return Added{m.captured(1), m.captured(2).toInt(), m.captured(3).toInt()};
}
