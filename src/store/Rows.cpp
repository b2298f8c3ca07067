#include "Rows.h"

#include "DateText.h"
#include "OleDate.h"
#include "RecordFile.h"

#include <algorithm>

namespace Rows {

QString appointment(const Appointment &record)
{
    return u'[' + DateText::shortTime(OleDate::toDateTime(record.StartTime).time()) + QStringLiteral("] (")
           + record.Category.toString() + QStringLiteral(") ") + record.Title.toString();
}

QString toDo(const ToDoItem &record)
{
    const QString title = record.Title.toString();
    return record.Done ? QStringLiteral("[ x ] ") + title : title;
}

QString withKey(const QString &visible, qint32 index)
{
    // Built in one allocation: a start fills a row for every to-do item.
    QString row(visible.size() + Padding + KeyLength, u' ');
    QChar *out = row.data();
    std::copy(visible.cbegin(), visible.cend(), out);
    QChar *key = out + visible.size() + Padding;
    // An index has at most seven digits: the files hold at most 9,999,999 records.
    quint32 rest = quint32(index);
    for (int i = KeyLength - 1; i >= 0; --i, rest /= 10)
        key[i] = QChar(u'0' + rest % 10);
    return row;
}

namespace {

QString dayAndTime(double when)
{
    const QDateTime at = OleDate::toDateTime(when);
    return DateText::shortDate(at.date()) + u' ' + DateText::shortTime(at.time());
}

QString rule()
{
    return QStringLiteral("\r\n") + QString(75, u'-') + QStringLiteral("\r\n");
}

} // namespace

QString appointmentDetails(const Appointment &a)
{
    return a.Category + QStringLiteral(": ") + a.Title + QStringLiteral("\r\n") + dayAndTime(a.StartTime)
           + QStringLiteral(" -> ") + dayAndTime(a.EndTime) + rule() + RecordFile::unescape(a.Description);
}

QString toDoDetails(const ToDoItem &item)
{
    return item.Title.toString() + QStringLiteral("\r\n")
           + (item.Done ? QStringLiteral("Status: Completed") : QStringLiteral("Status: Pending")) + rule()
           + RecordFile::unescape(item.Description);
}

QString appointmentStatus(qint32 today, qint32 onDay, qint32 total)
{
    return QStringLiteral("%1 today, %2 on selected day (%3 total)").arg(today).arg(onDay).arg(total);
}

QString toDoStatus(const QList<ToDoItem> &table)
{
    qint32 pending = 0;
    for (const ToDoItem &item : table)
        pending += item.Done ? 0 : 1;
    const auto total = qint32(table.size());
    return QStringLiteral("%1 pending, %2 completed (%3 total)").arg(pending).arg(total - pending).arg(total);
}

qint32 countOn(const QList<Appointment> &table, const QDate &day)
{
    qint32 count = 0;
    for (const Appointment &a : table) {
        if (OleDate::toDate(a.StartTime) == day)
            ++count;
    }
    return count;
}

QList<qint32> startingOn(const QList<Appointment> &table, const QDate &day)
{
    QList<qint32> out;
    for (qint32 i = 0; i < table.size(); ++i) {
        if (OleDate::toDate(table[i].StartTime) == day)
            out.append(i);
    }
    return out;
}

QList<int> markedDays(const QList<Appointment> &table, int year, int month)
{
    QList<int> out;
    for (const Appointment &a : table) {
        const QDate start = OleDate::toDate(a.StartTime);
        if (start.year() == year && start.month() == month)
            out.append(start.day());
    }
    return out;
}

QList<qint32> day(const QList<Appointment> &table, const QDate &day)
{
    struct Row {
        QString text;
        qint32 index;
    };
    // The day's few rows are made after the scan, which stays as lean as startingOn's.
    const QList<qint32> found = startingOn(table, day);
    QList<Row> rows;
    rows.reserve(found.size());
    for (const qint32 i : found)
        rows.append({withKey(appointment(table[i]), i), i});
    // Row texts compare as the user's locale collates them; rows it cannot
    // tell apart keep their table order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return QString::localeAwareCompare(a.text, b.text) < 0; });
    QList<qint32> order;
    order.reserve(rows.size());
    for (const Row &row : rows)
        order.append(row.index);
    return order;
}

QList<qint32> toDoOrder(const QList<ToDoItem> &table)
{
    // One pass over a table that may not fit the cache: pending items fill
    // the front oldest first and are turned round after; completed ones fill
    // the back from its end, which leaves them newest first.
    const auto count = qint32(table.size());
    QList<qint32> order(count);
    qint32 *out = order.data();
    const ToDoItem *item = table.constData();
    qint32 pending = 0;
    qint32 completed = count;
    for (qint32 i = 0; i < count; ++i) {
        if (item[i].Done)
            out[--completed] = i;
        else
            out[pending++] = i;
    }
    std::reverse(out, out + pending);
    return order;
}

} // namespace Rows
