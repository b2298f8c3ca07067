// A save writes the records that did not change since they were read straight
// from the bytes they were read from: these cases pin that the file comes out
// byte for byte as the whole-file encoding gives it, whatever was edited.
#include "AppError.h"
#include "Appointment.h"
#include "FileOps.h"
#include "FileSizeLimit.h"
#include "RecordFile.h"
#include "ToDoItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Step = FileOps::Step;
Q_DECLARE_METATYPE(FileOps::Step)

namespace {

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// The records of the appointment file each case starts from, and of a second
// file that records are copied from.
const QByteArray kDentist = hex("00000000309ae240"
                                "00000000389ae240")
                            + hex("0700") + "General" + hex("0700") + "Dentist" + hex("0000");
const QByteArray kBudget = hex("0000000070a3e640"
                               "0000000074a3e640")
                           + hex("0400") + "Work" + hex("0d00") + "Budget review" + hex("1200") + "Bring the\\nfigures";
const QByteArray kCafe = hex("0000000080a3e640"
                             "0000000080a3e640")
                         + hex("0f00") + "Family, friends" + hex("0400") + "Caf\xe9" + hex("0100") + "x";
const QByteArray kTrain = hex("0000000010a8e640"
                              "0000000010a8e640")
                          + hex("0800") + "Personal" + hex("0500") + "Train" + hex("0000");
const QByteArray kAppointments = "0000003" + kDentist + kBudget + kCafe;

// The to-do items each case starts from; the last one's flag is neither
// 0000 nor ffff, so that its next save changes it.
const QByteArray kMilk = hex("0000") + hex("0800") + "Buy milk" + hex("0000");
const QByteArray kBake = hex("ffff") + hex("0400") + "Bake" + hex("1000") + QByteArray("\xe9") + "clairs\\nand tea";
const QByteArray kSam = hex("0000") + hex("0800") + "Ring Sam" + hex("0100") + "x";
const QByteArray kOdd = hex("0100") + hex("0300") + "Odd" + hex("0000");
const QByteArray kToDos = "0000004" + kMilk + kBake + kSam + kOdd;

QByteArray withBytes(QByteArray record, qsizetype at, const QByteArray &bytes)
{
    return record.replace(at, bytes.size(), bytes);
}

enum class Edit {
    None,
    StartTime,
    EndTime,
    Category,
    Title,
    Description,
    RetypedTheSame,
    Emptied,
    Deleted,
    FirstDeleted,
    Reordered,
    Appended,
    CopiedFromAnotherFile,
    InsertedFromAnotherFile,
    TextFromAnotherFile,
    TextsSwapped,
    TextFromAnotherRecord,
};

enum class ToDoEdit { None, Completed, Reopened, Retitled, OddOneDeleted };

void edit(QList<Appointment> &table, Edit how, const QList<Appointment> &other)
{
    Appointment &budget = table[1];
    switch (how) {
    case Edit::None:
        break;
    case Edit::StartTime:
        budget.StartTime = 46365.25;
        break;
    case Edit::EndTime:
        budget.EndTime = 46400.5;
        break;
    case Edit::Category:
        budget.Category = "Personal";
        break;
    case Edit::Title:
        budget.Title = "Budget, moved";
        break;
    case Edit::Description:
        budget.Description = "Slides";
        break;
    case Edit::RetypedTheSame:
        budget.Title = QStringLiteral("Budget review");
        break;
    case Edit::Emptied:
        budget.Description = QString();
        break;
    case Edit::Deleted:
        table.removeAt(1);
        break;
    case Edit::FirstDeleted:
        table.removeFirst();
        break;
    case Edit::Reordered:
        table = {table[2], table[0], table[1]};
        break;
    case Edit::Appended:
        table.append({46400.5, 46400.5, "General", "New", ""});
        break;
    case Edit::CopiedFromAnotherFile:
        table.append(other[0]);
        break;
    case Edit::InsertedFromAnotherFile:
        table.insert(1, other[0]);
        break;
    case Edit::TextFromAnotherFile:
        budget.Title = other[0].Title;
        break;
    case Edit::TextsSwapped:
        std::swap(budget.Category, budget.Title);
        break;
    case Edit::TextFromAnotherRecord:
        table[0].Description = budget.Description;
        break;
    }
}

// The bytes of all of the pieces, one after the other.
QByteArray saved(const RecordFile::Pieces &pieces)
{
    QByteArray all;
    for (const QByteArrayView piece : pieces.views())
        all += piece.toByteArray();
    return all;
}

// Fails one step, or fills the disk after `space` bytes, on every file; a
// whole-file write never removes, so Step::Remove fails nothing here.
class Disk final : public FileOps::Faults
{
public:
    bool fails(Step step, const QString &) override { return step == failing; }
    qint64 room(const QString &) override { return space; }
    Step failing = Step::Remove;
    qint64 space = -1;
};

} // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(ToDoEdit)

class tst_StoredRecords : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void sizes_areWhatATableOfThousandsCanAfford()
    {
        static_assert(sizeof(StoredText) == 16);
        QCOMPARE(sizeof(StoredText), size_t(16));
        QCOMPARE(sizeof(Appointment), size_t(64));
        QCOMPARE(sizeof(ToDoItem), size_t(40));
    }

    void loadedTexts_pointIntoTheOneCopyOfTheFile()
    {
        const QList<Appointment> table = AppointmentFile::decode(kAppointments).records;
        QCOMPARE(table.size(), 3);
        for (const Appointment &a : table) {
            for (const StoredText *text : {&a.Category, &a.Title, &a.Description})
                QCOMPARE(static_cast<const void *>(text->file().data()), kAppointments.constData());
        }
        QCOMPARE(static_cast<const void *>(table[1].Title.stored().data()), kAppointments.constData() + 7 + 36 + 24);
        QCOMPARE(table[2].Title, QStringLiteral("Caf\u00e9"));
        QVERIFY(table[0].Description.isEmpty());
        QVERIFY(table[0].Description.stored().data());
    }

    void textSetByTheProgram_keepsItsCharacters()
    {
        const StoredText typed(QStringLiteral("\u0416 and \U0001F600"));
        QCOMPARE(typed.toString(), QStringLiteral("\u0416 and \U0001F600"));
        QCOMPARE(typed.encoded(), QByteArray("? and ?"));
        QCOMPARE(typed.encodedSize(), 8);
        QVERIFY(!typed.stored().data());
        QVERIFY(!typed.file().data());
        const StoredText copy = typed;
        QCOMPARE(copy, typed);
        QVERIFY(StoredText(QString()).isEmpty());
        QVERIFY(StoredText("").isEmpty());
    }

    void appointments_data()
    {
        QTest::addColumn<Edit>("how");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("pieces");
        const QByteArray head = "0000003";
        QTest::newRow("unchanged") << Edit::None << kAppointments << 2;
        QTest::newRow("a start time") << Edit::StartTime
                                      << head + kDentist + withBytes(kBudget, 0, hex("00000000a8a3e640")) + kCafe << 4;
        QTest::newRow("an end time") << Edit::EndTime
                                     << head + kDentist + withBytes(kBudget, 8, hex("0000000010a8e640")) + kCafe << 4;
        QTest::newRow("a category") << Edit::Category
                                    << head + kDentist + kBudget.left(16) + hex("0800") + "Personal" + kBudget.mid(22)
                                           + kCafe
                                    << 4;
        QTest::newRow("a title") << Edit::Title
                                 << head + kDentist + kBudget.left(22) + hex("0d00") + "Budget, moved" + kBudget.mid(37)
                                        + kCafe
                                 << 4;
        QTest::newRow("a description") << Edit::Description
                                       << head + kDentist + kBudget.left(37) + hex("0600") + "Slides" + kCafe << 4;
        QTest::newRow("a title typed again as it was") << Edit::RetypedTheSame << kAppointments << 4;
        QTest::newRow("a description emptied")
            << Edit::Emptied << head + kDentist + kBudget.left(37) + hex("0000") + kCafe << 4;
        QTest::newRow("the middle deleted") << Edit::Deleted << "0000002" + kDentist + kCafe << 3;
        QTest::newRow("the first deleted") << Edit::FirstDeleted << "0000002" + kBudget + kCafe << 2;
        QTest::newRow("reordered") << Edit::Reordered << head + kCafe + kDentist + kBudget << 3;
        QTest::newRow("appended") << Edit::Appended
                                  << "0000004" + kAppointments.mid(7) + hex("0000000010a8e640")
                                         + hex("0000000010a8e640") + hex("0700") + "General" + hex("0300") + "New"
                                         + hex("0000")
                                  << 3;
        QTest::newRow("copied from another file")
            << Edit::CopiedFromAnotherFile << "0000004" + kAppointments.mid(7) + kTrain << 3;
        QTest::newRow("inserted from another file")
            << Edit::InsertedFromAnotherFile << "0000004" + kDentist + kTrain + kBudget + kCafe << 4;
        QTest::newRow("a text from another file")
            << Edit::TextFromAnotherFile
            << head + kDentist + kBudget.left(22) + hex("0500") + "Train" + kBudget.mid(37) + kCafe << 4;
        QTest::newRow("two texts of a record swapped")
            << Edit::TextsSwapped
            << head + kDentist + kBudget.left(16) + hex("0d00") + "Budget review" + hex("0400") + "Work"
                   + kBudget.mid(37) + kCafe
            << 4;
        QTest::newRow("a text of another record")
            << Edit::TextFromAnotherRecord << head + kDentist.left(34) + kBudget.mid(37) + kBudget + kCafe << 2;
    }

    void appointments()
    {
        QFETCH(Edit, how);
        QFETCH(QByteArray, expected);
        QFETCH(int, pieces);
        const QList<Appointment> other = AppointmentFile::decode("0000001" + kTrain).records;
        QList<Appointment> table = AppointmentFile::decode(kAppointments).records;
        edit(table, how, other);
        QCOMPARE(AppointmentFile::encode(table), expected);
        const RecordFile::Pieces saving = AppointmentFile::encode.pieces(table);
        QCOMPARE(saved(saving), expected);
        QCOMPARE(saving.joined(), expected);
        QCOMPARE(saving.size(), expected.size());
        QCOMPARE(saving.views().size(), pieces);
    }

    void toDos_data()
    {
        QTest::addColumn<ToDoEdit>("how");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("pieces");
        const QByteArray flagged = hex("ffff") + kOdd.mid(2);
        QTest::newRow("unchanged but for the odd flag")
            << ToDoEdit::None << "0000004" + kMilk + kBake + kSam + flagged << 3;
        QTest::newRow("completed") << ToDoEdit::Completed
                                   << "0000004" + hex("ffff") + kMilk.mid(2) + kBake + kSam + flagged << 3;
        QTest::newRow("no longer completed")
            << ToDoEdit::Reopened << "0000004" + kMilk + hex("0000") + kBake.mid(2) + kSam + flagged << 5;
        QTest::newRow("a title") << ToDoEdit::Retitled
                                 << "0000004" + kMilk + kBake + hex("0000") + hex("0700") + "Ring Jo" + hex("0100")
                                        + "x" + flagged
                                 << 3;
        QTest::newRow("the odd one deleted") << ToDoEdit::OddOneDeleted << "0000003" + kMilk + kBake + kSam << 2;
    }

    void toDos()
    {
        QFETCH(ToDoEdit, how);
        QFETCH(QByteArray, expected);
        QFETCH(int, pieces);
        RecordFile::Decoded<ToDoItem> decoded = ToDoFile::decode(kToDos);
        QVERIFY(decoded.damage);
        QList<ToDoItem> &table = decoded.records;
        if (how == ToDoEdit::Completed)
            table[0].Done = true;
        else if (how == ToDoEdit::Reopened)
            table[1].Done = false;
        else if (how == ToDoEdit::Retitled)
            table[2].Title = "Ring Jo";
        else if (how == ToDoEdit::OddOneDeleted)
            table.removeLast();
        QCOMPARE(ToDoFile::encode(table), expected);
        const RecordFile::Pieces saving = ToDoFile::encode.pieces(table);
        QCOMPARE(saved(saving), expected);
        QCOMPARE(saving.views().size(), pieces);
    }

    void tableSetByTheProgram_isOnePiece()
    {
        const QList<ToDoItem> table = {{false, "Buy milk", ""}, {true, "Bake", "\u00e9clairs\\nand tea"}};
        const RecordFile::Pieces saving = ToDoFile::encode.pieces(table);
        QCOMPARE(saving.views().size(), 1);
        QCOMPARE(saving.joined(), "0000002" + kMilk + kBake);
    }

    // Texts beyond the reach of a window's 32-bit places go to the next window.
    void textsOfManyWindows_saveAsOneRun()
    {
        RecordFile::Reader in(kAppointments, RecordFile::HeaderLength, 40);
        QList<Appointment> table;
        for (int i = 0; i < 3; ++i)
            table.append({in.getDouble(), in.getDouble(), in.getStoredText(), in.getStoredText(), in.getStoredText()});
        QVERIFY(in.atEnd());
        QCOMPARE(table[1].Description, QStringLiteral("Bring the\\nfigures"));
        QCOMPARE(table[2].Category, QStringLiteral("Family, friends"));
        QCOMPARE(table[2].Title, QStringLiteral("Caf\u00e9"));
        const RecordFile::Pieces saving = AppointmentFile::encode.pieces(table);
        QCOMPARE(saving.views().size(), 2);
        QCOMPARE(saving.joined(), kAppointments);
    }

    void pieces_keepTheFileAfterTheTableIsGone()
    {
        QByteArray own = kAppointments;
        own.detach();
        QList<Appointment> table = AppointmentFile::decode(own).records;
        own = QByteArray();
        const RecordFile::Pieces saving = AppointmentFile::encode.pieces(table);
        table.clear();
        QCOMPARE(saving.joined(), kAppointments);
    }

    void textTooLongForARecord_isRefused()
    {
        QList<Appointment> table = AppointmentFile::decode(kAppointments).records;
        table[2].Description = QString(65'536, u'x');
        QVERIFY_THROWS_EXCEPTION(AppError, AppointmentFile::encode.pieces(table));
    }

    // Each save reads back what the one before wrote, as the window does.
    void savedAgainAfterEachReload()
    {
        const QString file = dir.filePath(QStringLiteral("appointments.cal"));
        FileOps::writeWhole(file, kAppointments);
        const QByteArray edited = withBytes(kAppointments, 7 + 36, hex("00000000a8a3e640"));
        // Changed, saved as it was read, changed back, and saved as read again.
        const QByteArray expected[] = {edited, edited, kAppointments, kAppointments};
        const int pieces[] = {4, 2, 4, 2};
        for (int i = 0; i < 4; ++i) {
            QList<Appointment> table = AppointmentFile::decode(FileOps::readWhole(file)).records;
            table[1].StartTime = expected[i] == edited ? 46365.25 : 46363.5;
            const RecordFile::Pieces saving = AppointmentFile::encode.pieces(table);
            QCOMPARE(saving.views().size(), pieces[i]);
            FileOps::writeWhole(file, saving.views(), FileOps::Links::Refuse);
            QCOMPARE(FileOps::readWhole(file), expected[i]);
        }
    }

    void piecesAreWrittenInOrder()
    {
        const QString file = dir.filePath(QStringLiteral("pieces.bin"));
        FileOps::writeWhole(file, QList<QByteArrayView>{"one ", "", "two ", "three"});
        QCOMPARE(FileOps::readWhole(file), QByteArray("one two three"));
        FileOps::writeWhole(file, QList<QByteArrayView>{});
        QCOMPARE(FileOps::readWhole(file), QByteArray());
    }

    void failedWriteOfPieces_leavesTheOldFileWhole_data()
    {
        QTest::addColumn<Step>("failing");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<int>("number");
        QTest::newRow("write") << Step::Write << qint64(-1) << int(AppError::DeviceIOError);
        QTest::newRow("commit") << Step::Commit << qint64(-1) << int(AppError::PathFileAccessError);
        QTest::newRow("disk full at once") << Step::Remove << qint64(0) << int(AppError::DiskFull);
        QTest::newRow("disk full in the first piece") << Step::Remove << qint64(2) << int(AppError::DiskFull);
        QTest::newRow("disk full after the first piece") << Step::Remove << qint64(4) << int(AppError::DiskFull);
        QTest::newRow("disk full in the last piece") << Step::Remove << qint64(12) << int(AppError::DiskFull);
    }

    void failedWriteOfPieces_leavesTheOldFileWhole()
    {
        QFETCH(Step, failing);
        QFETCH(qint64, room);
        QFETCH(int, number);
        QTemporaryDir own;
        const QString file = own.filePath(QStringLiteral("todos.cal"));
        FileOps::writeWhole(file, kToDos);
        Disk disk;
        disk.failing = failing;
        disk.space = room;
        FileOps::setFaults(&disk);
        int thrown = 0;
        try {
            FileOps::writeWhole(file, QList<QByteArrayView>{"one ", "two ", "three"}, FileOps::Links::Refuse);
        } catch (const AppError &e) {
            thrown = e.number();
        }
        FileOps::setFaults(nullptr);
        QCOMPARE(thrown, number);
        QCOMPARE(FileOps::readWhole(file), kToDos);
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{"todos.cal"});

        // With room for every byte, the same pieces go through.
        disk.failing = Step::Remove;
        disk.space = 13;
        FileOps::setFaults(&disk);
        FileOps::writeWhole(file, QList<QByteArrayView>{"one ", "two ", "three"}, FileOps::Links::Refuse);
        FileOps::setFaults(nullptr);
        QCOMPARE(FileOps::readWhole(file), QByteArray("one two three"));
    }

    void piecesCutShortByTheSystem_leaveTheOldFileWhole()
    {
        QTemporaryDir own;
        const QString file = own.filePath(QStringLiteral("appointments.cal"));
        FileOps::writeWhole(file, kAppointments);
        const QByteArray big(60'000, 'x');
        // A file-size limit makes the write fail part way, for any user.
        QCOMPARE(throwsUnderFileSizeLimit(
                     4096,
                     [&] {
            FileOps::writeWhole(file, QList<QByteArrayView>{"small", big, big});
                     }),
                 std::optional(true));
        QCOMPARE(FileOps::readWhole(file), kAppointments);
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{"appointments.cal"});
    }
};

QTEST_GUILESS_MAIN(tst_StoredRecords)
#include "tst_storedrecords.moc"
