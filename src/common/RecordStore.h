#pragma once

#include "AppError.h"
#include "AppInfo.h"
#include "Controls.h"
#include "FileOps.h"
#include "RecordFile.h"
#include "SeenFile.h"
#include "Services.h"
#include "WriteLock.h"
#include "modMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <functional>
#include <optional>

// Reading and writing a whole record file under the report-and-continue rule,
// the same for appointments and to-do items, in a data folder that other
// writers (the command-line tool, a file-sync tool) may change at any time.
namespace RecordStore {

// Where a table lives and how its file is read and written.
template<class Record, class Encoder>
struct FileKind {
    QString path;
    QString loadSource; // the procedure a failure to read is reported under
    QString saveSource; // and a failure to write
    RecordFile::Decoded<Record> (*decode)(const QByteArray &);
    const Encoder &encode;
    qint64 largest; // the most bytes a sound file of its kind holds
    QString noun;   // "appointment", "to-do item"
};

// A command's change to a table. It is applied to the table the window
// shows, and applied again to the file's table when another writer changed
// the file meanwhile, so it finds its record by content, never by index
// alone. It returns the index of the record the command leaves selected (-1
// for none), and adds a line to `notes` for anything the user must hear of.
template<class Record>
using Change = std::function<qint32(QList<Record> &table, QStringList &notes)>;

// Where `original` is in `table`: at `hint` when it is still there, else the
// first record equal to it; -1 when no record is.
template<class Record>
qint32 find(const QList<Record> &table, const Record &original, qint32 hint)
{
    if (hint >= 0 && hint < table.size() && table[hint] == original)
        return hint;
    for (qint32 i = 0; i < table.size(); ++i) {
        if (table[i] == original)
            return i;
    }
    return -1;
}

// The commands' changes. `fits(count, record)` throws when a table of
// `count` records cannot take `record`.
template<class Record>
using Fits = void (*)(qint64 count, const Record &record);

template<class Record>
Change<Record> added(Record record, Fits<Record> fits)
{
    return [record = std::move(record), fits](QList<Record> &table, QStringList &) {
        fits(table.size() + 1, record);
        table.append(record);
        return qint32(table.size() - 1);
    };
}

// `original` is the record as the window showed it, at `hint`; a record that
// another writer changed or deleted meanwhile leaves `edited` as a new `noun`.
template<class Record>
Change<Record> edited(Record original, qint32 hint, Record edited, Fits<Record> fits, QString noun)
{
    return [=](QList<Record> &table, QStringList &notes) {
        fits(table.size(), edited);
        const qint32 at = find(table, original, hint);
        if (at >= 0) {
            table[at] = edited;
            return at;
        }
        fits(table.size() + 1, edited);
        table.append(edited);
        notes << QStringLiteral("\"%1\" was changed or deleted by another program while you edited it. Your "
                                "version was kept as a new %2.")
                     .arg(original.Title.toString(), noun);
        return qint32(table.size() - 1);
    };
}

// A record that another writer changed meanwhile is left as that writer has it.
template<class Record>
Change<Record> deleted(Record original, qint32 hint)
{
    return [=](QList<Record> &table, QStringList &notes) {
        const qint32 at = find(table, original, hint);
        if (at >= 0)
            table.removeAt(at);
        else
            notes << QStringLiteral("\"%1\" was changed or deleted by another program before your delete reached "
                                    "the file, so it stays as that program left it.")
                         .arg(original.Title.toString());
        return qint32(-1);
    };
}

template<class Record>
Change<Record> replacedBy(QList<Record> whole)
{
    return [whole = std::move(whole)](QList<Record> &table, QStringList &) {
        table = whole;
        return qint32(-1);
    };
}

// The window's side of one record file: the table, what was last seen of the
// file, and the changes made since the last save that reached the disk.
template<class Record, class Encoder>
class TableFile
{
public:
    TableFile(FileKind<Record, Encoder> kind, QList<Record> &table)
        : kind_(std::move(kind))
        , table_(table)
    {
    }

    // Reads the file into the table. A missing file changes nothing. A
    // damaged file is reported and kept aside; the records before the damage
    // are loaded, unless the header itself is no count, in which case the
    // table stays as it was. `preread`, when given, is the file's content read
    // a moment ago.
    void load(const QDateTime &now, std::optional<QByteArray> preread = std::nullopt)
    {
        if (!modMain::FileExists(kind_.path)) {
            seen_.rememberMissing();
            return;
        }
        modMain::ErrorTrap step(kind_.loadSource);
        BusyCursor busy;
        StampedRead read;
        if (preread) {
            // Read by the start-up backups a moment ago. A file replaced since
            // then has a stamp too young to trust, so its bytes are compared
            // at the first check.
            read = {SeenFile::stampOf(kind_.path), std::move(*preread)};
        } else if (!step([&] { read = readStamped(kind_.path, kind_.largest); })) {
            return;
        }
        take(read, now, Damaged::KeepSound);
    }

    // Applies a command's change to the table and saves it. Returns the index
    // of the record the change leaves selected, in the table as saved and
    // read back; -1 when none. A change that cannot be made throws, and
    // leaves the table as it was; a failed save is reported.
    qint32 commit(const Change<Record> &change)
    {
        QStringList notes;
        qint32 index = change(table_, notes);
        unsaved_.append(change);
        if (save(&index))
            tell(notes);
        return index;
    }

    // Writes the table, then reads the file back so that the table holds its
    // bytes. Under the write lock it first checks that the file is still the
    // one last read or written; when another writer changed it, the changes
    // not saved yet are applied to that writer's table instead, and so both
    // writers' changes reach the file. Returns whether the file now holds the
    // table; on a failure the changes stay in the table for the next save.
    // `index`, when given, is the index of a record of the last change, and
    // follows it.
    bool save(qint32 *index = nullptr)
    {
        modMain::ErrorTrap step(kind_.saveSource);
        BusyCursor busy;
        // A check for outside changes that runs in the events below leaves
        // them to this save, which looks at the file under the lock anyway.
        const QScopedValueRollback saving(saving_, true);
        // Let the hourglass show, but take no user input in the middle of a save.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QStringList notes;
        const bool saved = step([&] {
            WriteLock lock(QFileInfo(kind_.path).path());
            if (seen_.changed(kind_.path))
                mergeInto(notes, index);
            if (table_.isEmpty()) {
                FileOps::removeIfExists(kind_.path);
                unsaved_.clear();
                seen_.rememberMissing();
            } else {
                const RecordFile::Pieces pieces = kind_.encode.pieces(table_);
                FileOps::writeWhole(kind_.path, pieces.views(), FileOps::Links::Refuse);
                // On disk now: a failure to read it back must not apply them twice.
                unsaved_.clear();
                // Read back under the same lock, so that the table and what
                // was seen are this very write.
                seen_.forget();
                const StampedRead back = readStamped(kind_.path, kind_.largest);
                take(back, QDateTime(), Damaged::Throw);
            }
        });
        tell(notes);
        return saved;
    }

    // After another writer changed the file: reads it again, with the changes
    // not saved yet applied to it. Returns false when the file is what was
    // last seen. A damaged file is reported and kept aside, and the table
    // stays as it was, not written over the file until the next change.
    bool takeOutsideChange(const QDateTime &now)
    {
        if (saving_ || !seen_.changed(kind_.path))
            return false;
        QStringList notes;
        modMain::ErrorTrap(kind_.loadSource)([&] {
            if (unsaved_.isEmpty())
                reread(now);
            else
                mergeInto(notes, nullptr);
        });
        tell(notes);
        return true;
    }

    bool hasUnsaved() const { return !unsaved_.isEmpty(); }
    // True in the middle of a save, whose events may call for a check.
    bool saving() const { return saving_; }

private:
    enum class Damaged {
        KeepSound, // report it, keep a copy, load the records before the damage
        KeepTable, // report it, keep a copy, leave the table as it is
        Throw,     // a file just written that reads back damaged: a failed save
    };

    // Puts a file's content in the table as `damaged` says, and remembers it.
    // Returns whether the table now holds the file's records.
    bool take(const StampedRead &read, const QDateTime &now, Damaged damaged)
    {
        RecordFile::Decoded<Record> decoded = kind_.decode(read.content);
        seen_.remember(read.stamp, read.content);
        if (decoded.damage) {
            if (damaged == Damaged::Throw)
                throw AppError(decoded.damage->number, decoded.damage->what);
            reportDamage(read.content, *decoded.damage, now);
            if (!decoded.counted || damaged == Damaged::KeepTable)
                return false;
        }
        table_ = std::move(decoded.records);
        return true;
    }

    void reportDamage(const QByteArray &content, const RecordFile::Damage &damage, const QDateTime &now)
    {
        modMain::ErrorTrap(kind_.loadSource)([&] {
            const QString copy = RecordFile::keepDamagedCopy(kind_.path, content, now);
            throw AppError(damage.number, RecordFile::damageReport(QFileInfo(kind_.path).fileName(), damage, copy));
        });
    }

    // Returns false when the file is damaged and the table stays as it was.
    bool reread(const QDateTime &now)
    {
        if (!QFileInfo::exists(kind_.path)) {
            table_.clear();
            seen_.rememberMissing();
            return true;
        }
        return take(readStamped(kind_.path, kind_.largest), now, Damaged::KeepTable);
    }

    // Reads the file another writer changed and applies the changes not saved
    // yet to it. A damaged file leaves the table as it is, the changes in it.
    void mergeInto(QStringList &notes, qint32 *index)
    {
        QList<Record> mine = table_;
        // A damaged file keeps the table, with the changes already in it.
        if (!reread(Platform::services().now()))
            return;
        QList<Record> fresh = table_;
        try {
            qint32 last = -1;
            for (const Change<Record> &change : std::as_const(unsaved_))
                last = change(fresh, notes);
            if (index)
                *index = last;
        } catch (...) {
            table_ = std::move(mine);
            seen_.forget();
            throw;
        }
        table_ = std::move(fresh);
    }

    void tell(const QStringList &notes) const
    {
        if (notes.isEmpty())
            return;
        Platform::Message box;
        box.title = QString::fromUtf16(AppInfo::Title);
        box.text = notes.join(QStringLiteral("\n\n"));
        box.icon = Platform::MessageIcon::Information;
        Platform::services().showMessage(box);
    }

    FileKind<Record, Encoder> kind_;
    QList<Record> &table_;
    SeenFile seen_;
    QList<Change<Record>> unsaved_;
    bool saving_ = false;
};

} // namespace RecordStore
