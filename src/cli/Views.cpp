// The reading commands: what the window's lists show, in a terminal.
#include "Commands.h"

#include "DateText.h"
#include "OleDate.h"
#include "RecordFile.h"
#include "Rows.h"

#include <QLocale>
#include <QTextStream>

#include <algorithm>

namespace Cli {

namespace {

QDate parseDate(const QString &text, const QDate &today)
{
    if (text.compare(QLatin1String("today"), Qt::CaseInsensitive) == 0)
        return today;
    if (text.compare(QLatin1String("tomorrow"), Qt::CaseInsensitive) == 0)
        return today.addDays(1);
    QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        date = QLocale().toDate(text, DateText::shortDateFormat()); // the locale's own digits and names
    if (!date.isValid()) {
        throw Failure{BadInput, QStringLiteral("'%1' is not a date; write it as YYYY-MM-DD, as %2, or 'today'")
                                    .arg(text, DateText::shortDate(today))};
    }
    return date;
}

// Appointments in the order of their start, then as the day list orders them.
QList<qint32> byStart(const QList<Appointment> &table, QList<qint32> indexes)
{
    QList<QString> rows(table.size());
    for (const qint32 i : indexes)
        rows[i] = Rows::withKey(Rows::appointment(table[i]), i);
    std::sort(indexes.begin(), indexes.end(), [&](qint32 a, qint32 b) {
        const QDateTime sa = OleDate::toDateTime(table[a].StartTime), sb = OleDate::toDateTime(table[b].StartTime);
        return sa != sb ? sa < sb : QString::localeAwareCompare(rows[a], rows[b]) < 0;
    });
    return indexes;
}

QString datedRow(const Appointment &a)
{
    return DateText::shortDate(OleDate::toDate(a.StartTime)) + u' ' + Rows::appointment(a);
}

} // namespace

int agenda(DataFolder &data, const Arguments &args, const Context &context)
{
    const QDate first = args.positional.isEmpty() ? context.now.date()
                                                  : parseDate(args.positional[0], context.now.date());
    const int days = numberOption(args, QStringLiteral("--days"), 1, 1, 3660);
    const QList<Appointment> table = data.appointments(DataFolder::Use::Read, *context.err);
    QTextStream &out = *context.out;
    for (int d = 0; d < days; ++d) {
        for (const qint32 i : Rows::day(table, first.addDays(d))) {
            if (days > 1)
                out << DateText::shortDate(first.addDays(d)) << ' ';
            out << shown(Rows::appointment(table[i]), context) << '\n';
        }
    }
    return Ok;
}

int toDo(DataFolder &data, const Arguments &args, const Context &context)
{
    const QList<ToDoItem> table = data.toDos(DataFolder::Use::Read, *context.err);
    const bool all = args.has(QStringLiteral("--all"));
    for (const qint32 i : Rows::toDoOrder(table)) {
        if (all || !table[i].Done)
            *context.out << shown(Rows::toDo(table[i]), context) << '\n';
    }
    return Ok;
}

int search(DataFolder &data, const Arguments &args, const Context &context)
{
    if (args.positional.isEmpty() || args.positional[0].isEmpty())
        throw Failure{BadInput, QStringLiteral("search wants a text to look for (see --help)")};
    const QString text = args.positional[0];
    auto holds = [&](const StoredText &field) { return field.toString().contains(text, Qt::CaseInsensitive); };
    // Descriptions are searched as the user reads them, with real line breaks.
    auto descriptionHolds = [&](const StoredText &field) {
        return RecordFile::unescape(field.toString()).contains(text, Qt::CaseInsensitive);
    };

    const QList<Appointment> appointments = data.appointments(DataFolder::Use::Read, *context.err);
    QList<qint32> found;
    for (qint32 i = 0; i < appointments.size(); ++i) {
        const Appointment &a = appointments[i];
        if (holds(a.Title) || holds(a.Category) || descriptionHolds(a.Description))
            found.append(i);
    }
    QTextStream &out = *context.out;
    for (const qint32 i : byStart(appointments, found))
        out << shown(datedRow(appointments[i]), context) << '\n';

    const QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Read, *context.err);
    int foundToDos = 0;
    for (const qint32 i : Rows::toDoOrder(toDos)) {
        if (holds(toDos[i].Title) || descriptionHolds(toDos[i].Description)) {
            out << "to do: " << shown(Rows::toDo(toDos[i]), context) << '\n';
            ++foundToDos;
        }
    }
    return found.isEmpty() && foundToDos == 0 ? No : Ok;
}

int upcoming(DataFolder &data, const Arguments &args, const Context &context)
{
    const int minutes = numberOption(args, QStringLiteral("--within"), 15, 1, 1'000'000);
    // Whole minutes, as the day list shows times: the current one and the
    // next MINUTES - 1. A job run each minute with --within 1 announces every
    // appointment once, even when it runs a few seconds late.
    // The records hold wall-clock times of no zone, and so does the window:
    // its minutes are those the clock on the wall shows, also over an hour
    // that a clock change skips or repeats.
    const QDateTime from(context.now.date(), QTime(context.now.time().hour(), context.now.time().minute()), Qt::UTC);
    const QDateTime until = from.addSecs(qint64(minutes) * 60);
    const QList<Appointment> table = data.appointments(DataFolder::Use::Read, *context.err);
    QList<qint32> soon;
    for (qint32 i = 0; i < table.size(); ++i) {
        if (!OleDate::toDate(table[i].StartTime).isValid())
            continue;
        const QDateTime start = OleDate::toDateTime(table[i].StartTime);
        if (start >= from && start < until)
            soon.append(i);
    }
    for (const qint32 i : byStart(table, soon)) {
        const Appointment &a = table[i];
        *context.out << shown(OleDate::toDate(a.StartTime) == from.date() ? Rows::appointment(a) : datedRow(a), context)
                     << '\n';
    }
    return soon.isEmpty() ? No : Ok;
}

} // namespace Cli
