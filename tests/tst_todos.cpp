#include "Controls.h"
#include "FireAction.h"
#include "Rows.h"
#include "ToDoItem.h"
#include "WindowFixture.h"
#include "frmNewToDo.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

namespace {

QByteArray buyMilk(bool done)
{
    return QByteArray("0000001") + (done ? QByteArray::fromHex("ffff") : QByteArray::fromHex("0000"))
           + QByteArray::fromHex("0800") + "Buy milk" + QByteArray::fromHex("0000");
}

} // namespace

class tst_ToDos : public QObject, WindowFixture
{
    Q_OBJECT

    void start(const QList<ToDoItem> &table)
    {
        if (!table.isEmpty())
            box->write(QStringLiteral("todos.cal"), ToDoFile::encode(table));
        restart();
    }
    RowList *list() const { return w->findChild<RowList *>(QStringLiteral("lstToDos")); }
    QString status() const { return w->findChild<QLabel *>(QStringLiteral("lblToDoStatus"))->text(); }
    QString details() const { return w->findChild<DetailsBox *>(QStringLiteral("txtToDo"))->text(); }
    QAction *action(const char *name) const { return w->findChild<QAction *>(QLatin1String(name)); }
    QPushButton *button(const char *name) const { return w->findChild<QPushButton *>(QLatin1String(name)); }
    QList<ToDoItem> onDisk() const { return ToDoFile::decode(box->read(QStringLiteral("todos.cal"))).records; }
    void selectIndex(int index)
    {
        for (int r = 0; r < list()->count(); ++r) {
            if (list()->textAt(r).endsWith(QStringLiteral("%1").arg(index, 7, 10, QLatin1Char('0'))))
                list()->setCurrentRow(r);
        }
    }

private slots:
    void initTestCase() { prepareLook(); }

    void init() { setUp(); }

    void cleanup()
    {
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void file_buyMilkAndItsCompletedTwin_data()
    {
        QTest::addColumn<bool>("done");
        QTest::newRow("pending") << false;
        QTest::newRow("completed") << true;
    }

    void file_buyMilkAndItsCompletedTwin()
    {
        QFETCH(bool, done);
        const QByteArray bytes = ToDoFile::encode({ToDoItem{done, "Buy milk", ""}});
        QCOMPARE(bytes.size(), 21);
        QCOMPARE(bytes, buyMilk(done));
        const auto decoded = ToDoFile::decode(bytes);
        QVERIFY(!decoded.damage);
        QCOMPARE(decoded.records.size(), 1);
        QCOMPARE(decoded.records[0].Done, done);
        QCOMPARE(decoded.records[0].Title, QStringLiteral("Buy milk"));
    }

    void file_twoLineDescription()
    {
        const QByteArray bytes = ToDoFile::encode({ToDoItem{false, "T", RecordFile::escape("a\r\nb")}});
        QCOMPARE(bytes.mid(12), QByteArray::fromHex("0400") + "a\\nb");
    }

    void list_groupsPendingThenCompletedNewestFirst()
    {
        start({{false, "A", ""}, {true, "B", ""}, {false, "C", ""}, {true, "D", ""}});
        QCOMPARE(rowsOf(list()), QStringList({row("C", 2), row("A", 0), row("[ x ] D", 3), row("[ x ] B", 1)}));
        QCOMPARE(status(), QStringLiteral("2 pending, 2 completed (4 total)"));
        QVERIFY(list()->selectedRows().isEmpty());
        for (const char *name : {"mnuToDoEdit", "mnuToDoDelete", "mnuToDoCompleted"})
            QVERIFY(!action(name)->isEnabled());
    }

    void order_data()
    {
        // The table as P (pending) and C (completed) for each record.
        QTest::addColumn<QString>("table");
        QTest::addColumn<QList<qint32>>("expected");
        QTest::newRow("empty") << "" << QList<qint32>();
        QTest::newRow("one pending") << "P" << QList<qint32>{0};
        QTest::newRow("one completed") << "C" << QList<qint32>{0};
        QTest::newRow("all pending") << "PPP" << QList<qint32>{2, 1, 0};
        QTest::newRow("all completed") << "CCC" << QList<qint32>{2, 1, 0};
        QTest::newRow("alternating") << "PCPC" << QList<qint32>{2, 0, 3, 1};
        QTest::newRow("completed first") << "CPPCP" << QList<qint32>{4, 2, 1, 3, 0};
    }

    void order()
    {
        QFETCH(QString, table);
        QFETCH(QList<qint32>, expected);
        QList<ToDoItem> items;
        for (const QChar state : table)
            items.append({state == u'C', StoredText(QString(state)), StoredText()});
        QCOMPARE(Rows::toDoOrder(items), expected);
    }

    void list_oddDoneValueCountsAsCompleted()
    {
        box->write(QStringLiteral("todos.cal"), QByteArray("0000001") + QByteArray::fromHex("0100")
                                                    + QByteArray::fromHex("0100") + "X" + QByteArray::fromHex("0000"));
        restart();
        QCOMPARE(rowsOf(list()), QStringList{row("[ x ] X", 0)});
        QCOMPARE(status(), QStringLiteral("0 pending, 1 completed (1 total)"));
        // Reported, and the file kept, since the next save changes its bytes.
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 13 in Main.LoadToDos")));
        QVERIFY(box->services.messages[0].text.contains(QStringLiteral("completion flag 0001")));
        // The next save writes the flag the way the program always does.
        w->toDoPane()->NewToDo(false, "Y", "");
        QCOMPARE(box->read(QStringLiteral("todos.cal")).mid(7, 2), QByteArray::fromHex("ffff"));
    }

    void selection_showsDetailsAndTheCheckMark()
    {
        start({{false, "Water the plants", "line1\\nline2"}, {true, "Done thing", ""}});
        selectIndex(0);
        QCOMPARE(details(), QStringLiteral("Water the plants\r\nStatus: Pending\r\n") + QString(75, u'-')
                                + QStringLiteral("\r\nline1\r\nline2"));
        QVERIFY(!action("mnuToDoCompleted")->isChecked());
        QVERIFY(action("mnuToDoCompleted")->isEnabled());
        QVERIFY(button("cmdEditToDo")->isEnabled());
        selectIndex(1);
        QVERIFY(details().startsWith(QStringLiteral("Done thing\r\nStatus: Completed\r\n")));
        QVERIFY(action("mnuToDoCompleted")->isChecked());
    }

    void completed_togglesAndKeepsTheSelection()
    {
        start({{false, "Zero", ""}, {true, "One", ""}, {true, "Two", ""}});
        selectIndex(0);
        QVERIFY(fire(w.get(), QStringLiteral("mnuToDoCompleted")));
        QCOMPARE(rowsOf(list()), QStringList({row("[ x ] Two", 2), row("[ x ] One", 1), row("[ x ] Zero", 0)}));
        QCOMPARE(selectedRowsOf(list()), QStringList{row("[ x ] Zero", 0)});
        QVERIFY(details().contains(QStringLiteral("Status: Completed")));
        QVERIFY(action("mnuToDoCompleted")->isChecked());
        QVERIFY(onDisk()[0].Done);

        QVERIFY(fire(w.get(), QStringLiteral("mnuToDoCompleted")));
        QCOMPARE(rowsOf(list()).first(), row("Zero", 0));
        QCOMPARE(selectedRowsOf(list()), QStringList{row("Zero", 0)});
        QVERIFY(!action("mnuToDoCompleted")->isChecked());
        QVERIFY(!onDisk()[0].Done);
        QCOMPARE(status(), QStringLiteral("1 pending, 2 completed (3 total)"));
    }

    void delete_fromTheMiddleRekeysTheRows()
    {
        start({{false, "Zero", ""}, {false, "One", ""}, {false, "Two", "kept"}});
        selectIndex(1);
        QTest::mouseClick(button("cmdDeleteToDo"), Qt::LeftButton);
        QCOMPARE(rowsOf(list()), QStringList({row("Two", 1), row("Zero", 0)}));
        QCOMPARE(onDisk().size(), 2);
        QCOMPARE(onDisk()[1].Description, QStringLiteral("kept"));
        QCOMPARE(details(), QString());
        QVERIFY(!button("cmdDeleteToDo")->isEnabled());
        QVERIFY(!action("mnuToDoCompleted")->isEnabled());
    }

    void delete_theOnlyItemRemovesTheFile()
    {
        start({{false, "Only", ""}});
        selectIndex(0);
        QVERIFY(fire(w.get(), QStringLiteral("mnuToDoDelete")));
        QVERIFY(!box->exists(QStringLiteral("todos.cal")));
        QCOMPARE(list()->count(), 0);
        QCOMPARE(status(), QStringLiteral("0 pending, 0 completed (0 total)"));
    }

    void delete_withNothingSelectedDoesNothing()
    {
        start({{false, "Zero", ""}});
        const QByteArray before = box->read(QStringLiteral("todos.cal"));
        QMetaObject::invokeMethod(button("cmdDeleteToDo"), "clicked");
        QCOMPARE(box->read(QStringLiteral("todos.cal")), before);
        QCOMPARE(w->toDoPane()->ToDoCount(), 1);
    }

    void new_throughTheDialog_data()
    {
        QTest::addColumn<bool>("completed");
        QTest::addColumn<QString>("expectedRow");
        QTest::newRow("pending goes first") << false << "Call Mum";
        QTest::newRow("completed heads the completed group") << true << "[ x ] Call Mum";
    }

    void new_throughTheDialog()
    {
        QFETCH(bool, completed);
        QFETCH(QString, expectedRow);
        start({{false, "Older", ""}, {true, "Old done", ""}});
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdNewToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("New to do"));
            QVERIFY(w->LostFocus);
            QCOMPARE(d->txtTitle->text(), QString());
            QVERIFY(!d->chkDone->isChecked());
            QCOMPARE(d->chkDone->toolTip(), QStringLiteral("Set the status of the item to do"));
            QVERIFY(d->chkDone->sizeHint().width() <= d->chkDone->width());
            QCOMPARE(d->size(), QSize(326, 235));
            QTest::keyClicks(d->txtTitle, QStringLiteral("Call Mum"));
            d->txtDescription->setPlainText(QStringLiteral("About Sunday\nand the cake"));
            d->chkDone->setChecked(completed);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QVERIFY(!w->LostFocus);
        QCOMPARE(onDisk().size(), 3);
        QCOMPARE(onDisk()[2].Description, QStringLiteral("About Sunday\\nand the cake"));
        QCOMPARE(selectedRowsOf(list()), QStringList{row(expectedRow, 2)});
        const int expectedPosition = completed ? 1 : 0;
        QCOMPARE(list()->currentRow(), expectedPosition);
        QCOMPARE(action("mnuToDoCompleted")->isChecked(), completed);
    }

    void dialog_validation()
    {
        start({});
        bool stayed = false;
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdNewToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            d->txtDescription->setPlainText(QStringLiteral("kept"));
            d->chkDone->setChecked(true);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            stayed = d->isVisible();
            QCOMPARE(d->txtDescription->toPlainText(), QStringLiteral("kept"));
            QVERIFY(d->chkDone->isChecked());
            QTest::keyClicks(d->txtTitle, QString(60, u'x'));
            QCOMPARE(d->txtTitle->text().size(), 50);
            d->txtTitle->setText(QStringLiteral(" "));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QVERIFY(stayed);
        QCOMPARE(box->services.messages.size(), 1);
        QCOMPARE(lastMessage(box->services), QStringLiteral("Brindlewatch|Please enter a title for this to do"));
        QCOMPARE(onDisk().size(), 1);
        QCOMPARE(onDisk()[0].Title, QStringLiteral(" "));
    }

    void edit_opensFilledAndKeepsTheIndex()
    {
        start({{false, "First", ""}, {true, "New potatoes", "two\\nlines"}, {false, "Third", ""}});
        const QByteArray before = box->read(QStringLiteral("todos.cal"));
        selectIndex(1);
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdEditToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Edit to do [New potatoes]"));
            QVERIFY(d->chkDone->isChecked());
            QCOMPARE(d->txtDescription->toPlainText(), QStringLiteral("two\nlines"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(box->read(QStringLiteral("todos.cal")), before);
        QCOMPARE(selectedRowsOf(list()), QStringList{row("[ x ] New potatoes", 1)});

        // Un-checking moves it into the pending group at the place its index gives it.
        const bool again = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdEditToDo"), Qt::LeftButton); },
                                                 [&](frmNewToDo *d) {
            d->chkDone->setChecked(false);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(again);
        QCOMPARE(rowsOf(list()), QStringList({row("Third", 2), row("New potatoes", 1), row("First", 0)}));
        QCOMPARE(list()->currentRow(), 1);
    }

    // A title longer than the box (from a file or another calendar) comes
    // back whole from an edit that leaves it alone; one typed over is taken.
    void edit_longTitle_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed"); // null: the title is left alone
        QTest::addColumn<QString>("expected");
        const QString longTitle = QString(60, u'x') + QStringLiteral("end");
        QTest::newRow("fits the box") << QString(50, u'f') << QString() << QString(50, u'f');
        QTest::newRow("one past the box") << QString(51, u'o') << QString() << QString(51, u'o');
        QTest::newRow("much longer") << longTitle << QString() << longTitle;
        QTest::newRow("typed over") << longTitle << QStringLiteral("Short") << QStringLiteral("Short");
    }

    void edit_longTitle()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        start({{false, stored, "old"}});
        selectIndex(0);
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdEditToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            QCOMPARE(d->txtTitle->text(), stored.left(50));
            if (!typed.isNull()) {
                d->txtTitle->selectAll();
                QTest::keyClicks(d->txtTitle, typed);
            }
            d->txtDescription->setPlainText(QStringLiteral("new"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(onDisk().size(), 1);
        QCOMPARE(QString(onDisk()[0].Title), expected);
        QCOMPARE(QString(onDisk()[0].Description), QStringLiteral("new"));
    }

    // The description box holds 5000 characters as stored, where a line
    // break takes two.
    void description_limitCountsLineBreaksAsStored_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("storedLength");
        QTest::newRow("plain text at the limit") << QString(5000, u'a') << 5000;
        QTest::newRow("plain text past it") << QString(5003, u'a') << 5000;
        QTest::newRow("line breaks") << QString(2000, u'\n') + QString(1500, u'b') << 5000;
        QTest::newRow("a break that would cross it") << QString(4999, u'c') + u'\n' << 4999;
    }

    void description_limitCountsLineBreaksAsStored()
    {
        QFETCH(QString, typed);
        QFETCH(int, storedLength);
        start({});
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdNewToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            QTest::keyClicks(d->txtTitle, QStringLiteral("Long"));
            d->txtDescription->setPlainText(typed);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(onDisk().size(), 1);
        // Stored escaped: a line break is the two characters backslash and n.
        QCOMPARE(QString(onDisk()[0].Description).size(), storedLength);
    }

    // Once a row is selected one stays selected, and the details and the
    // commands agree with it.
    void selection_staysOnARow_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::newRow("click beside the rows") << "click";
        QTest::newRow("ctrl+click beside the rows") << "ctrl+click";
        QTest::newRow("ctrl+click on the selected row") << "ctrl+click row";
        QTest::newRow("double-click beside the rows") << "double-click";
        QTest::newRow("ctrl+space") << "ctrl+space";
    }

    void selection_staysOnARow()
    {
        QFETCH(QString, gesture);
        start({{false, "First", "one"}, {false, "Second", "two"}});
        selectIndex(1);
        const QString shown = details();
        QVERIFY(shown.startsWith(QStringLiteral("Second")));
        QWidget *viewport = list()->viewport();
        const QPoint beside(viewport->width() / 2, viewport->height() - 3);
        QVERIFY(!list()->indexAt(beside).isValid());
        const QPoint onRow = list()->visualRowRect(list()->selectedRows().first()).center();
        if (gesture == QLatin1String("click"))
            QTest::mouseClick(viewport, Qt::LeftButton, {}, beside);
        else if (gesture == QLatin1String("ctrl+click"))
            QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, beside);
        else if (gesture == QLatin1String("ctrl+click row"))
            QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, onRow);
        else if (gesture == QLatin1String("double-click"))
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, beside);
        else
            QTest::keyClick(list(), Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(list()->selectedRows().size(), 1);
        QCOMPARE(list()->selectedKey(), 1);
        QCOMPARE(details(), shown);
        QVERIFY(button("cmdEditToDo")->isEnabled());
        QVERIFY(action("mnuToDoDelete")->isEnabled());
    }

    void cancel_changesNothing()
    {
        start({{false, "First", ""}});
        const QByteArray before = box->read(QStringLiteral("todos.cal"));
        const bool ran = withModal<frmNewToDo>([&] { QTest::mouseClick(button("cmdNewToDo"), Qt::LeftButton); },
                                               [&](frmNewToDo *d) {
            QTest::keyClicks(d->txtTitle, QStringLiteral("Typed"));
            QTest::keyClick(d, Qt::Key_Escape); // means nothing here
            QVERIFY(d->isVisible());
            QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(box->read(QStringLiteral("todos.cal")), before);
        QVERIFY(!w->LostFocus);
    }

    void damagedFile_isReportedAndKept()
    {
        box->write(QStringLiteral("todos.cal"), buyMilk(false) + "trailing");
        restart();
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 62 in Main.LoadToDos")));
        QCOMPARE(box->read(QStringLiteral("todos.cal.damaged-20261207-140509")), buyMilk(false) + "trailing");
        QCOMPARE(rowsOf(list()), QStringList{row("Buy milk", 0)});
    }

    void failedSave_keepsTheChangeOnScreen()
    {
        start({{false, "On disk", ""}});
        const QByteArray before = box->read(QStringLiteral("todos.cal"));
        QFile::setPermissions(box->dataPath(QStringLiteral("todos.cal")), QFileDevice::ReadOwner);
        w->toDoPane()->NewToDo(false, "Only in memory", "");
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 70 in Main.SaveToDos")));
        QCOMPARE(box->read(QStringLiteral("todos.cal")), before);
        QCOMPARE(rowsOf(list()), QStringList({row("Only in memory", 1), row("On disk", 0)}));
        QCOMPARE(list()->currentRow(), 0);
    }

    void rightClick_offersThePreviousSelection()
    {
        start({{false, "A", ""}, {false, "B", ""}});
        QString popped;
        bool editEnabled = false;
        QTimer::singleShot(0, this, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                popped = menu->objectName();
                editEnabled = action("mnuToDoEdit")->isEnabled();
                menu->close();
            }
        });
        QTest::mousePress(list()->viewport(), Qt::RightButton, {}, list()->visualRowRect(0).center());
        QCOMPARE(popped, QStringLiteral("mnuToDo"));
        QVERIFY(!editEnabled);
        QVERIFY(list()->selectedRows().isEmpty());
    }
};

QTEST_MAIN(tst_ToDos)
#include "tst_todos.moc"
