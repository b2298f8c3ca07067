#include "DataGen.h"

#include "OleDate.h"

#include <QRandomGenerator>

namespace {

const QStringList kWords = {
    QStringLiteral("meeting"),     QStringLiteral("call"),    QStringLiteral("dentist"),    QStringLiteral("caf\u00e9"),
    QStringLiteral("review"),      QStringLiteral("project"), QStringLiteral("\u20ac50"),   QStringLiteral("birthday"),
    QStringLiteral("Z\u00fcrich"), QStringLiteral("train"),   QStringLiteral("lunch"),      QStringLiteral("notes"),
    QStringLiteral("plan"),        QStringLiteral("garden"),  QStringLiteral("na\u00efve"), QStringLiteral("budget"),
};

QString words(QRandomGenerator &random, int minLength, int maxLength, bool lineBreaks)
{
    const int length = static_cast<int>(random.bounded(minLength, maxLength + 1));
    QString text;
    while (text.size() < length) {
        if (!text.isEmpty())
            text += lineBreaks && random.bounded(8) == 0 ? QStringLiteral("\\n") : QStringLiteral(" ");
        text += kWords[random.bounded(static_cast<int>(kWords.size()))];
    }
    return text.left(length);
}

} // namespace

namespace DataGen {

QList<Appointment> appointments(qsizetype count, quint32 seed)
{
    QRandomGenerator random(seed);
    static const QString categories[] = {QStringLiteral("General"), QStringLiteral("Work"), QStringLiteral("Personal"),
                                         QStringLiteral("Family, friends")};
    const QDate first(2007, 1, 1);
    QList<Appointment> table;
    table.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        // Quarter hours over twenty years, turned into dates as the dialog does:
        // wall-clock times of no zone, so that none falls into a clock change.
        const QDateTime start(first.addDays(random.bounded(7300)), QTime(0, 0).addSecs(random.bounded(96) * 900),
                              Qt::UTC);
        const QDateTime end = start.addSecs(random.bounded(8) * 900);
        table.append({OleDate::fromDateTime(start), OleDate::fromDateTime(end), categories[random.bounded(4)],
                      words(random, 10, 50, false), words(random, 0, 500, true)});
    }
    return table;
}

QList<ToDoItem> toDos(qsizetype count, quint32 seed)
{
    QRandomGenerator random(seed);
    QList<ToDoItem> table;
    table.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        table.append({random.bounded(3) == 0, words(random, 10, 50, false), words(random, 0, 500, true)});
    return table;
}

} // namespace DataGen
