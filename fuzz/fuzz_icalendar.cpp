// The calendar reader, on calendars from anywhere: whatever the bytes, no
// crash and no hang; what it reads can be written, and what is written reads
// back as the same records.
#include "ICalendar.h"

#include <QDateTime>

#include <cstdlib>

namespace {

// Control characters have no place in iCalendar text: the writer drops them,
// so a text that holds one cannot come back as it was.
bool plain(const QString &text)
{
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    ICalendar::Imported first;
    try {
        first = ICalendar::read(bytes);
    } catch (const ICalendar::Error &) {
        return 0;
    }
    const QDateTime stamp(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    ICalendar::Imported second;
    int endingBeforeStart = 0;
    try {
        second = ICalendar::read(ICalendar::write(first.appointments, first.toDos, stamp, &endingBeforeStart));
    } catch (const ICalendar::Error &) {
        std::abort(); // records the reader made must always write and read back
    }
    if (second.appointments.size() != first.appointments.size() || second.toDos.size() != first.toDos.size())
        std::abort();
    // An event that ends before it starts goes out, and so comes back, as
    // ending at its start; the writer counts each.
    int cameBackZeroLength = 0;
    for (qsizetype i = 0; i < first.appointments.size(); ++i) {
        const Appointment &a = first.appointments[i], &b = second.appointments[i];
        if (a.StartTime != b.StartTime)
            std::abort();
        if (a.EndTime != b.EndTime) {
            if (b.EndTime != b.StartTime)
                std::abort();
            ++cameBackZeroLength;
        }
        for (const auto &[x, y] :
             {std::pair{a.Title, b.Title}, {a.Category, b.Category}, {a.Description, b.Description}}) {
            if (plain(x) && x.toString() != y.toString())
                std::abort();
        }
    }
    if (cameBackZeroLength != endingBeforeStart)
        std::abort();
    for (qsizetype i = 0; i < first.toDos.size(); ++i) {
        const ToDoItem &a = first.toDos[i], &b = second.toDos[i];
        if (a.Done != b.Done || (plain(a.Title) && a.Title != b.Title)
            || (plain(a.Description) && a.Description != b.Description))
            std::abort();
    }
    return 0;
}
