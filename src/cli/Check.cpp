// A close look at the data folder's files, reporting every problem at its byte.
#include "Commands.h"

#include "Ansi.h"
#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"
#include "NumberText.h"
#include "OleDate.h"
#include "Prefs.h"
#include "PrivateProfile.h"
#include "RecordFile.h"

#include <QFileInfo>
#include <QHashFunctions>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace Cli {

namespace {

// How many problems of one kind the report of a file shows; the rest are
// counted in one line. A damaged file can hold millions of the same mistake,
// and the first hundred tell all there is to tell.
constexpr qint64 ShownPerKind = 100;
// How many characters of a name or value a message quotes.
constexpr qsizetype QuotedLength = 60;

enum class Kind { Header, CutShort, Tail, TooLarge, Date, Flag, Stray, SecondSection, SecondKey, Value, Count };

// What "... and 12 more" counts, for each kind.
const char *const kMore[] = {
    "files without a record count",
    "records cut short",
    "tails after the last record",
    "files too large to read",
    "start or end times that are not dates",
    "completion flags that are neither 0000 nor ffff",
    "lines that are neither a section, a key nor a comment",
    "second sections of the same name",
    "second keys of the same name",
    "values the program does not take",
};
static_assert(std::size(kMore) == size_t(Kind::Count));

// Text of the file as a message quotes it: decoded, and cut when long, so
// that one line of a report stays a line a reader can take in.
QString quoted(QByteArrayView bytes)
{
    if (bytes.size() <= QuotedLength)
        return Ansi::decode(bytes);
    return Ansi::decode(bytes.first(QuotedLength)) + QStringLiteral("... (%1 characters)").arg(bytes.size());
}

// The problems of one file, written out as they are found. Nothing of them is
// kept but a count of each kind, so a file of a million bad records costs no
// memory for its report.
class Report
{
public:
    Report(QTextStream &out, const QString &file)
        : out_(out)
        , file_(file)
    {
    }

    // `what` makes the message, and is called only for a problem that is shown.
    template<class What>
    void add(Kind kind, qsizetype offset, What what)
    {
        if (++counts_[size_t(kind)] <= ShownPerKind)
            out_ << file_ << ": byte " << offset << ": " << what() << '\n';
    }

    // Ends the file's report and returns how many problems it found.
    qint64 finish()
    {
        qint64 total = 0;
        for (size_t k = 0; k < size_t(Kind::Count); ++k) {
            total += counts_[k];
            if (counts_[k] > ShownPerKind)
                out_ << file_ << ": ... and " << counts_[k] - ShownPerKind << " more " << kMore[k] << '\n';
        }
        if (total == 0)
            out_ << file_ << ": sound\n";
        return total;
    }

private:
    QTextStream &out_;
    QString file_;
    qint64 counts_[size_t(Kind::Count)] = {};
};

// Walks a record file field by field, the way the loaders read it, and notes
// what they would stop at or take differently from what the file says.
class RecordWalk
{
public:
    RecordWalk(const QByteArray &bytes, Report &report)
        : bytes_(bytes)
        , in_(bytes_, RecordFile::HeaderLength)
        , report_(report)
    {
    }

    using ReadRecord = std::function<void(RecordWalk &, qint32 index)>;

    void run(const ReadRecord &readRecord)
    {
        const std::optional<qint32> count = RecordFile::parseHeader(
            QByteArrayView(bytes_).first(qMin<qsizetype>(bytes_.size(), RecordFile::HeaderLength)));
        if (!count) {
            report_.add(Kind::Header, 0, [] {
                return QStringLiteral("the first seven bytes are not a record count; the program reads no record");
            });
            return;
        }
        for (qint32 i = 0; i < *count; ++i) {
            const qsizetype start = in_.position();
            try {
                readRecord(*this, i);
            } catch (const RecordFile::Reader::Short &) {
                report_.add(Kind::CutShort, start, [&] {
                    return QStringLiteral("record %1 of %2 is cut short: the file ends at byte %3; "
                                          "the program keeps only the records before it")
                        .arg(i)
                        .arg(*count)
                        .arg(bytes_.size());
                });
                return;
            }
        }
        if (!in_.atEnd()) {
            report_.add(Kind::Tail, in_.position(), [&] {
                return QStringLiteral("%1 bytes follow the last record; the next save drops them")
                    .arg(bytes_.size() - in_.position());
            });
        }
    }

    void date(qint32 index, const char *field)
    {
        const qsizetype at = in_.position();
        const double value = in_.getDouble();
        // By the date alone: a wall-clock time that a clock change skips is still a time the user set.
        if (!OleDate::toDate(value).isValid()) {
            report_.add(Kind::Date, at, [&] {
                return QStringLiteral("record %1: its %2 (%3) is not a date between the years 100 and 9999")
                    .arg(index)
                    .arg(QLatin1String(field))
                    .arg(value);
            });
        }
    }
    void doneFlag(qint32 index)
    {
        const qsizetype at = in_.position();
        const quint16 done = in_.getWord();
        if (done != 0 && done != 0xFFFF) {
            report_.add(Kind::Flag, at, [&] {
                return QStringLiteral("record %1: its completion flag is %2, neither 0000 nor ffff; "
                                      "the program reads it as completed")
                    .arg(index)
                    .arg(done, 4, 16, QLatin1Char('0'));
            });
        }
    }
    void text() { in_.getStoredText(); }

private:
    const QByteArray &bytes_;
    RecordFile::Reader in_;
    Report &report_;
};

void checkAppointments(const QByteArray &bytes, Report &report)
{
    RecordWalk(bytes, report).run([](RecordWalk &walk, qint32 i) {
        walk.date(i, "start");
        walk.date(i, "end");
        walk.text();
        walk.text();
        walk.text();
    });
}

void checkToDos(const QByteArray &bytes, Report &report)
{
    RecordWalk(bytes, report).run([](RecordWalk &walk, qint32 i) {
        walk.doneFlag(i);
        walk.text();
        walk.text();
    });
}

// Whether the program takes the value for the setting: converted as the
// program converts it when it reads it, and within what its controls offer.
// A conversion that fails throws, as it does there.
bool accepts(const Prefs::Setting &setting, const QString &value)
{
    switch (setting.type) {
    case Prefs::Setting::Type::Int16:
        return setting.inRange(NumberText::toInt16(value));
    case Prefs::Setting::Type::Int32:
        return setting.inRange(NumberText::toInt32(value));
    case Prefs::Setting::Type::Single:
        (void)NumberText::toSingle(value);
        return true;
    }
    return false;
}

// The names met so far, matched as the program matches names. A flat table
// of eight-byte slots, each a hash tag and the place of its name, which
// points into the file's bytes: a look-up touches one slot and reaches a
// name only when the tags agree, and no name is copied. A file of a million
// keys is checked in a fraction of a second, where looking through a list
// for each key took hours.
class NameSet
{
public:
    // Adds the name; false when one the same without regard to case was there.
    bool insert(QByteArrayView name)
    {
        if (2 * (names_.size() + 1) > size_)
            grow();
        const quint32 tag = quint32(PrivateProfile::hashName(name, seed_));
        const size_t mask = size_ - 1;
        for (size_t i = tag & mask;; i = (i + 1) & mask) {
            quint64 &slot = slots_[i];
            if (slot == 0) {
                names_.push_back(name);
                slot = quint64(tag) << 32 | quint64(names_.size());
                return true;
            }
            if (quint32(slot >> 32) == tag && PrivateProfile::sameName(names_[size_t(quint32(slot)) - 1], name))
                return false;
        }
    }

    void clear()
    {
        slots_.reset();
        size_ = 0;
        names_ = {};
    }

private:
    void grow()
    {
        if (size_ >= (size_t(1) << 31))
            throw std::bad_alloc();
        const size_t size = qMax<size_t>(64, 2 * size_);
        // Fresh memory costs a page fault each 4 KiB; a large table asks for
        // larger pages before it is first touched.
        auto bigger = std::make_unique_for_overwrite<quint64[]>(size);
        FileOps::preferLargePages(reinterpret_cast<char *>(bigger.get()), qsizetype(size * sizeof(quint64)));
        std::fill_n(bigger.get(), size, 0);
        // Slots are placed by their tags alone, so no name is read again.
        for (size_t j = 0; j < size_; ++j) {
            const quint64 slot = slots_[j];
            if (slot == 0)
                continue;
            size_t i = quint32(slot >> 32) & (size - 1);
            while (bigger[i] != 0)
                i = (i + 1) & (size - 1);
            bigger[i] = slot;
        }
        slots_ = std::move(bigger);
        size_ = size;
    }

    size_t seed_ = QHashSeed::globalSeed();
    // Each slot: a tag of the name's hash, then one past the name's index in
    // names_; 0 for an empty slot.
    std::unique_ptr<quint64[]> slots_;
    size_t size_ = 0;
    std::vector<QByteArrayView> names_;
};

void checkPrefs(const QByteArray &bytes, Report &report)
{
    auto same = [](QByteArrayView a, const char *b) { return PrivateProfile::sameName(a, QByteArrayView(b)); };

    QByteArrayView section;
    NameSet sectionsSeen, keysSeen;
    bool counts = false; // inside the first section of its name, the one the program reads
    PrivateProfile::forEachEntry(bytes, [&](const PrivateProfile::Entry &e) {
        using EntryKind = PrivateProfile::Entry::Kind;
        if (e.kind == EntryKind::Other) {
            report.add(Kind::Stray, e.offset, [] {
                return QStringLiteral("this line is neither a section, a key nor a comment; it is ignored");
            });
        } else if (e.kind == EntryKind::Section) {
            section = e.name;
            counts = sectionsSeen.insert(section);
            if (!counts) {
                report.add(Kind::SecondSection, e.offset, [&] {
                    return QStringLiteral("a second [%1] section; the program reads only the first")
                        .arg(quoted(section));
                });
            }
            keysSeen.clear();
        } else if (e.kind == EntryKind::Key && counts) {
            if (!keysSeen.insert(e.name)) {
                report.add(Kind::SecondKey, e.offset, [&] {
                    return QStringLiteral("a second %1 in [%2]; the program reads only the first")
                        .arg(quoted(e.name), quoted(section));
                });
                return;
            }
            for (const Prefs::Setting *s : Prefs::All) {
                if (!same(section, s->section) || !same(e.name, s->key) || e.value.isEmpty())
                    continue;
                bool ok = false;
                try {
                    ok = accepts(*s, Ansi::decode(e.value));
                } catch (const AppError &) {
                }
                if (!ok) {
                    report.add(Kind::Value, e.offset, [&] {
                        return QStringLiteral("%1 in [%2] is \"%3\", where the program wants %4")
                            .arg(QLatin1String(s->key), QLatin1String(s->section), quoted(e.value),
                                 QLatin1String(s->allowed));
                    });
                }
            }
        }
    });
}

} // namespace

int check(DataFolder &data, const Arguments &, const Context &context)
{
    const struct {
        QLatin1String name;
        void (*check)(const QByteArray &, Report &);
        qint64 largest; // beyond it a file is damaged, and not read; below zero for none
    } files[] = {{DataFiles::Appointments, checkAppointments, AppointmentFile::LargestFile},
                 {DataFiles::ToDos, checkToDos, ToDoFile::LargestFile},
                 {DataFiles::Prefs, checkPrefs, -1}};

    QTextStream &out = *context.out;
    qint64 total = 0;
    for (const auto &f : files) {
        const QString name = f.name;
        const QString path = data.file(name);
        if (!QFileInfo::exists(path)) {
            out << name << ": none (nothing stored yet)\n";
            continue;
        }
        Report report(out, name);
        const QFileInfo info(path);
        if (f.largest >= 0 && info.isFile() && info.size() > f.largest) {
            report.add(Kind::TooLarge, f.largest, [&] {
                return QStringLiteral("the file holds %1 bytes, more than the %2 that the most and longest records "
                                      "make; it is damaged, and the program reads none of it")
                    .arg(info.size())
                    .arg(f.largest);
            });
        } else {
            f.check(DataFolder::read(path, f.largest), report);
        }
        total += report.finish();
    }
    if (total)
        out << total << (total == 1 ? " problem\n" : " problems\n");
    return total ? No : Ok;
}

} // namespace Cli
