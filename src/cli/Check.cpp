// A close look at the data folder's files, reporting every problem at its byte.
#include "Commands.h"

#include "AppError.h"
#include "NumberText.h"
#include "OleDate.h"
#include "PrivateProfile.h"
#include "RecordFile.h"

#include <QFileInfo>
#include <QTextStream>

#include <functional>
#include <optional>

namespace Cli {

namespace {

struct Problem {
    qsizetype offset;
    QString what;
};

// Walks a record file field by field, the way the loaders read it, and notes
// what they would stop at or take differently from what the file says.
class RecordWalk
{
public:
    explicit RecordWalk(const QByteArray &bytes)
        : bytes_(bytes)
        , in_(bytes_, RecordFile::HeaderLength)
    {
    }

    using ReadRecord = std::function<void(RecordWalk &, qint32 index)>;

    QList<Problem> run(const ReadRecord &readRecord)
    {
        const std::optional<qint32> count =
            RecordFile::parseHeader(QByteArrayView(bytes_).first(qMin<qsizetype>(bytes_.size(), RecordFile::HeaderLength)));
        if (!count) {
            problems_.append({0, QStringLiteral("the first seven bytes are not a record count; the program reads no record")});
            return problems_;
        }
        for (qint32 i = 0; i < *count; ++i) {
            const qsizetype start = in_.position();
            try {
                readRecord(*this, i);
            } catch (const RecordFile::Reader::Short &) {
                problems_.append({start, QStringLiteral("record %1 of %2 is cut short: the file ends at byte %3; "
                                                        "the program keeps only the records before it")
                                             .arg(i)
                                             .arg(*count)
                                             .arg(bytes_.size())});
                return problems_;
            }
        }
        if (!in_.atEnd()) {
            problems_.append({in_.position(), QStringLiteral("%1 bytes follow the last record; the next save drops them")
                                                  .arg(bytes_.size() - in_.position())});
        }
        return problems_;
    }

    void date(qint32 index, const char *field)
    {
        const qsizetype at = in_.position();
        const double value = in_.getDouble();
        // By the date alone: a wall-clock time that a clock change skips is still a time the user set.
        if (!OleDate::toDate(value).isValid()) {
            problems_.append({at, QStringLiteral("record %1: its %2 (%3) is not a date between the years 100 and 9999")
                                      .arg(index)
                                      .arg(QLatin1String(field))
                                      .arg(value)});
        }
    }
    void doneFlag(qint32 index)
    {
        const qsizetype at = in_.position();
        const quint16 done = in_.getWord();
        if (done != 0 && done != 0xFFFF) {
            problems_.append({at, QStringLiteral("record %1: its completion flag is %2, neither 0000 nor ffff; "
                                                 "the program reads it as completed")
                                      .arg(index)
                                      .arg(done, 4, 16, QLatin1Char('0'))});
        }
    }
    void text() { in_.getStoredText(); }

private:
    const QByteArray &bytes_;
    RecordFile::Reader in_;
    QList<Problem> problems_;
};

QList<Problem> checkAppointments(const QByteArray &bytes)
{
    return RecordWalk(bytes).run([](RecordWalk &walk, qint32 i) {
        walk.date(i, "start");
        walk.date(i, "end");
        walk.text();
        walk.text();
        walk.text();
    });
}

QList<Problem> checkToDos(const QByteArray &bytes)
{
    return RecordWalk(bytes).run([](RecordWalk &walk, qint32 i) {
        walk.doneFlag(i);
        walk.text();
        walk.text();
    });
}

struct Setting {
    const char *section;
    const char *key;
    // A description of the values the program takes, and the test of one.
    const char *wanted;
    std::function<bool(const QString &)> accepts;
};

bool wholeIn(const QString &value, qint32 (*convert)(const QString &), qint32 low, qint32 high)
{
    const qint32 n = convert(value);
    return n >= low && n <= high;
}

QList<Problem> checkPrefs(const QByteArray &bytes)
{
    const auto int16 = [](const QString &v) -> qint32 { return NumberText::toInt16(v); };
    const auto int32 = [](const QString &v) -> qint32 { return NumberText::toInt32(v); };
    const Setting settings[] = {
        {"Prefs", "Minimize", "0, 1 or 2", [&](const QString &v) { return wholeIn(v, int16, 0, 2); }},
        {"Prefs", "ExportToDo", "0 or 1", [&](const QString &v) { return wholeIn(v, int32, 0, 1); }},
        {"Prefs", "ExportToDoItems", "a whole number from 1 to 100", [&](const QString &v) { return wholeIn(v, int16, 1, 100); }},
        {"Window", "MainX", "a number of twips", [](const QString &v) { return (void)NumberText::toSingle(v), true; }},
        {"Window", "MainY", "a number of twips", [](const QString &v) { return (void)NumberText::toSingle(v), true; }},
    };
    auto same = [](const QString &a, const char *b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; };

    QList<Problem> problems;
    const QList<PrivateProfile::Entry> entries = PrivateProfile::entries(bytes);
    QString section;
    QStringList sectionsSeen, keysSeen;
    bool counts = false; // inside the first section of its name, the one the program reads
    for (const PrivateProfile::Entry &e : entries) {
        using Kind = PrivateProfile::Entry::Kind;
        if (e.kind == Kind::Other) {
            problems.append({e.offset, QStringLiteral("this line is neither a section, a key nor a comment; it is ignored")});
        } else if (e.kind == Kind::Section) {
            section = e.name;
            counts = !sectionsSeen.contains(section.toLower());
            if (!counts)
                problems.append({e.offset, QStringLiteral("a second [%1] section; the program reads only the first").arg(section)});
            sectionsSeen << section.toLower();
            keysSeen.clear();
        } else if (e.kind == Kind::Key && counts) {
            if (keysSeen.contains(e.name.toLower())) {
                problems.append({e.offset, QStringLiteral("a second %1 in [%2]; the program reads only the first").arg(e.name, section)});
                continue;
            }
            keysSeen << e.name.toLower();
            for (const Setting &s : settings) {
                if (!same(section, s.section) || !same(e.name, s.key) || e.value.isEmpty())
                    continue;
                bool ok = false;
                try {
                    ok = s.accepts(e.value);
                } catch (const AppError &) {
                }
                if (!ok) {
                    problems.append({e.offset, QStringLiteral("%1 in [%2] is \"%3\", where the program wants %4")
                                                   .arg(QLatin1String(s.key), QLatin1String(s.section), e.value,
                                                        QLatin1String(s.wanted))});
                }
            }
        }
    }
    return problems;
}

} // namespace

int check(DataFolder &data, const Arguments &, const Context &context)
{
    const struct {
        const char *name;
        QList<Problem> (*check)(const QByteArray &);
    } files[] = {{"appointments.cal", checkAppointments}, {"todos.cal", checkToDos}, {"prefs.ini", checkPrefs}};

    QTextStream &out = *context.out;
    int total = 0;
    for (const auto &f : files) {
        const QString name = QLatin1String(f.name);
        const QString path = data.file(name);
        if (!QFileInfo::exists(path)) {
            out << name << ": none (nothing stored yet)\n";
            continue;
        }
        const QList<Problem> problems = f.check(DataFolder::read(path));
        if (problems.isEmpty())
            out << name << ": sound\n";
        for (const Problem &p : problems)
            out << name << ": byte " << p.offset << ": " << p.what << '\n';
        total += int(problems.size());
    }
    if (total)
        out << total << (total == 1 ? " problem\n" : " problems\n");
    return total ? No : Ok;
}

} // namespace Cli
