#include "AppError.h"
#include "BCGCalendar.h"
#include "BCGDateTime.h"
#include "Controls.h"
#include "OleDate.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <numeric>

namespace {

// A list of its own, filled as a pane fills one: records 2, 0 and 1 of a
// table of four, the first two of which read alike; record 3 is not shown.
const QStringList kRecordTexts{"Same", "Same", "Other", "Not shown"};

void fill(RowList &list)
{
    list.setVisibleText([](qint32 index) { return kRecordTexts.value(index); });
    list.setRows({2, 0, 1});
}

// The texts a view's rows were painted with, as the style was asked to draw them.
class PaintedTexts : public QProxyStyle
{
public:
    mutable QStringList texts;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (const auto *row = qstyleoption_cast<const QStyleOptionViewItem *>(option);
            row && element == CE_ItemViewItem)
            texts << row->text;
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

QStringList visibleMenus(const QMenuBar *bar)
{
    QStringList titles;
    for (const QAction *a : bar->actions()) {
        if (a->isVisible())
            titles << a->text();
    }
    return titles;
}

// Each item of a menu as "name:caption", separators as "name:-", submenus followed by their items.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions()) {
        out << a->objectName() + u':' + (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (a->menu())
            out << describe(a->menu());
    }
    return out;
}

// The named ancestor a focus widget belongs to (a calendar's inner view counts as the calendar).
QString owner(QWidget *w, const QStringList &names)
{
    for (; w; w = w->parentWidget()) {
        if (names.contains(w->objectName()))
            return w->objectName();
    }
    return {};
}

} // namespace

class tst_MainWindow : public QObject, WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareLook(); }

    void init()
    {
        setUp();
        restart();
    }

    void cleanup()
    {
        tearDown();
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void window_fixedClientArea()
    {
        QCOMPARE(w->centralWidget()->size(), QSize(567, 532));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!w->windowIcon().isNull());
    }

    void menuBar_fourMenusThenDebug()
    {
        const QStringList four{"&Brindlewatch", "&To Do", "&Appointments", "&Help"};
        QCOMPARE(visibleMenus(w->menuBar()), four);
        QTest::keyRelease(child<QWidget>("lstToDos"), Qt::Key_F12);
        QCOMPARE(visibleMenus(w->menuBar()), four + QStringList{"&Debug"});
        for (const QAction *a : w->menuBar()->actions())
            QVERIFY(a->text() != QStringLiteral("System Tray"));
        QVERIFY(child<QMenu>("mnuSysTray"));
    }

    void menus_itemsAndCaptions_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("file") << "mnuFile"
                              << QStringList{"mnuFilePrefs:Preferences...", "mnuFileLine1:-", "mnuFileExit:E&xit"};
        QTest::newRow("todo") << "mnuToDo"
                              << QStringList{"mnuToDoNew:New",       "mnuToDoLine1:-", "mnuToDoEdit:Edit",
                                             "mnuToDoDelete:Delete", "mnuToDoLine2:-", "mnuToDoCompleted:Completed"};
        QTest::newRow("appointments") << "mnuAppointments"
                                      << QStringList{"mnuAppointmentsNew:New", "mnuAppointmentsLine1:-",
                                                     "mnuAppointmentsEdit:Edit", "mnuAppointmentsDelete:Delete"};
        QTest::newRow("help") << "mnuHelp"
                              << QStringList{"mnuHelpReadMe:Read Me...",
                                             "mnuHelpLine0:-",
                                             "mnuHelpDonate:Donate!",
                                             "mnuHelpLine1:-",
                                             "mnuHelpVerCheck:Check for Update",
                                             "mnuHelpWeb:Kestrix on the Web",
                                             "mnuHelpWebHome:Kestrix Website",
                                             "mnuHelpWebForums:Kestrix Forums",
                                             "mnuHelpWebEmail:E-mail Kestrix",
                                             "mnuHelpLine2:-",
                                             "mnuHelpAboot:About..."};
        QTest::newRow("tray") << "mnuSysTray" << QStringList{"mnuSysTrayRestore:Restore", "mnuSysTrayExit:Exit"};
        QTest::newRow("debug") << "mnuDebug" << QStringList{"mnuDebugReset:Reset Test Data"};
    }

    void menus_itemsAndCaptions()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, items);
        const QMenu *m = w->findChild<QMenu *>(menu);
        QVERIFY(m);
        QCOMPARE(describe(m), items);
        for (const QAction *a : m->actions())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
    }

    void controls_geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("twips");
        const QString window = QStringLiteral("client");
        auto row = [](const char *name, const QString &in, int l, int t, int wd, int h) {
            QTest::newRow(name) << QString::fromLatin1(name) << in << QRect(l, t, wd, h);
        };
        row("picDebug", window, 195, 135, 3900, 1500);
        row("lblEasterEgg", "picDebug", 135, 135, 3630, 1200);
        row("shpCover", window, 180, -15, 3930, 150);
        row("shpLogo", window, 180, 120, 3930, 1530);
        row("imgLogo", window, 195, 135, 3900, 1500);
        row("imgIcon", window, 4110, 6705, 240, 240);
        row("fraFrame(0)", window, 135, 1725, 4020, 6105);
        row("picFrameCont(0)", "fraFrame(0)", 45, 225, 3930, 5835);
        row("lblToDoStatus", "picFrameCont(0)", 90, 15, 3750, 195);
        row("lstToDos", "picFrameCont(0)", 90, 285, 3750, 3180);
        row("txtToDo", "picFrameCont(0)", 90, 3510, 3750, 1875);
        row("cmdNewToDo", "picFrameCont(0)", 90, 5460, 1230, 300);
        row("cmdEditToDo", "picFrameCont(0)", 1350, 5460, 1230, 300);
        row("cmdDeleteToDo", "picFrameCont(0)", 2610, 5460, 1230, 300);
        row("fraFrame(1)", window, 4320, 90, 4020, 7740);
        row("picFrameCont(1)", "fraFrame(1)", 45, 225, 3930, 7470);
        row("lblAppointmentsStatus", "picFrameCont(1)", 90, 15, 3750, 195);
        row("Calendar", "picFrameCont(1)", 90, 285, 3750, 2370);
        row("lstAppointments", "picFrameCont(1)", 90, 2715, 3750, 2400);
        row("txtAppointment", "picFrameCont(1)", 90, 5145, 3750, 1875);
        row("cmdNewAppointment", "picFrameCont(1)", 90, 7095, 1230, 300);
        row("cmdEditAppointment", "picFrameCont(1)", 1350, 7095, 1230, 300);
        row("cmdDeleteAppointment", "picFrameCont(1)", 2610, 7095, 1230, 300);
    }

    void controls_geometry()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QWidget *c = w->findChild<QWidget *>(name);
        QVERIFY(c);
        QCOMPARE(c->parentWidget()->objectName(), container);
        QCOMPARE(c->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    }

    void logoArea_paintingOrder()
    {
        // Front to back: panel, cover, tray picture, frame, logo.
        const QObjectList &z = w->centralWidget()->children();
        const auto at = [&](const char *name) { return z.indexOf(w->findChild<QWidget *>(QLatin1String(name))); };
        QVERIFY(at("picDebug") > at("shpCover"));
        QVERIFY(at("shpCover") > at("imgIcon"));
        QVERIFY(at("imgIcon") > at("shpLogo"));
        QVERIFY(at("shpLogo") > at("imgLogo"));
        QVERIFY(!child<QWidget>("picDebug")->isVisible());
        QVERIFY(!child<QWidget>("imgIcon")->isVisible());
        QVERIFY(child<QWidget>("imgLogo")->isVisible());
    }

    void initialTexts()
    {
        QCOMPARE(child<QGroupBox>("fraFrame(0)")->title(), QStringLiteral("To Do"));
        QCOMPARE(child<QGroupBox>("fraFrame(1)")->title(), QStringLiteral("Appointments"));
        QCOMPARE(child<QLabel>("lblToDoStatus")->text(), QStringLiteral("0 pending, 0 completed (0 total)"));
        QCOMPARE(child<QLabel>("lblAppointmentsStatus")->text(),
                 QStringLiteral("0 today, 0 on selected day (0 total)"));
        QCOMPARE(child<QLabel>("lblToDoStatus")->alignment(), Qt::AlignCenter);
        QVERIFY(child<QLabel>("lblEasterEgg")->text().startsWith(QStringLiteral("OMG CONGRATULATIONS TO YOU!")));
        auto *egg = child<QLabel>("lblEasterEgg");
        QVERIFY(egg->wordWrap());
        QTest::mouseDClick(child<QLabel>("imgLogo"), Qt::LeftButton); // its font is chosen when it first shows
        QVERIFY(egg->isVisible());
        QVERIFY2(egg->heightForWidth(egg->width()) <= egg->height(), "the easter egg's text does not fit its label");
    }

    void tabOrder()
    {
        const QStringList expected{
            "txtToDo",        "cmdDeleteToDo",     "cmdEditToDo",    "lstToDos",           "cmdNewToDo",
            "Calendar",       "cmdNewAppointment", "txtAppointment", "cmdEditAppointment", "cmdDeleteAppointment",
            "lstAppointments"};
        // Edit and Delete take no focus while they are unavailable; make them available to walk the whole chain.
        for (const char *name : {"cmdEditToDo", "cmdDeleteToDo", "cmdEditAppointment", "cmdDeleteAppointment"})
            child<QPushButton>(name)->setEnabled(true);
        QStringList seen;
        QWidget *start = child<QWidget>("txtToDo");
        QWidget *next = start;
        do {
            const QString name = owner(next, expected);
            if (!name.isEmpty() && (seen.isEmpty() || seen.back() != name) && next->focusPolicy() & Qt::TabFocus)
                seen << name;
            next = next->nextInFocusChain();
        } while (next != start && seen.size() <= expected.size());
        QCOMPARE(seen.mid(0, expected.size()), expected);
    }

    void detailsBoxes_readOnlyAndLimited()
    {
        for (const char *name : {"txtToDo", "txtAppointment"}) {
            auto *box = child<DetailsBox>(name);
            QVERIFY(box->isReadOnly());
            QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse);
            QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByKeyboard);
            box->setText(QString(6000, u'x'));
            QCOMPARE(box->text().size(), 5000);
            box->setText(QStringLiteral("line one\r\nline two"));
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("typed"));
            QCOMPARE(box->toPlainText(), QStringLiteral("line one\nline two"));
            QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        }
    }

    // A list shows the records in the order its pane gives, whatever their texts.
    void lists_keepTheirOrderAndHideKeys()
    {
        const QStringList visible{"[14:30] (General) Later", "[09:00] (General) Earlier"};
        for (const char *name : {"lstAppointments", "lstToDos"}) {
            auto *list = child<RowList>(name);
            list->setVisibleText([visible](qint32 index) { return visible.value(index); });
            list->setRows({0, 1});
            QCOMPARE(rowsOf(list), QStringList({row(visible[0], 0), row(visible[1], 1)}));
            QCOMPARE(RowList::visibleText(list->textAt(0)), visible[0]);
            QCOMPARE(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(list->textElideMode(), Qt::ElideNone);
            QVERIFY(!list->wordWrap());
            QVERIFY(list->uniformItemSizes());
            QStyleOptionViewItem option;
            option.initFrom(list);
            QVERIFY(list->itemDelegate()->sizeHint(option, list->model()->index(0, 0)).width()
                    <= list->viewport()->width());
        }
    }

    void rightClick_popsUpThePaneMenuAndKeepsSelection_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("menu");
        QTest::newRow("to-do") << "lstToDos"
                               << "mnuToDo";
        QTest::newRow("appointments") << "lstAppointments"
                                      << "mnuAppointments";
    }

    void rightClick_popsUpThePaneMenuAndKeepsSelection()
    {
        QFETCH(QString, list);
        QFETCH(QString, menu);
        auto *l = w->findChild<RowList *>(list);
        l->setVisibleText([](qint32 index) { return QStringList{"a", "b"}.value(index); });
        l->setRows({0, 1});
        l->setCurrentRow(0);
        QString popped;
        QTimer::singleShot(0, this, [&] {
            if (QWidget *p = QApplication::activePopupWidget()) {
                popped = p->objectName();
                p->close();
            }
        });
        QTest::mousePress(l->viewport(), Qt::RightButton, {}, l->visualRowRect(1).center());
        QCOMPARE(popped, menu);
        QCOMPARE(l->currentRow(), 0);
        QCOMPARE(l->selectedRows(), QList<int>{0});
    }

    void updateCommands_followsSelection()
    {
        auto enabled = [&](const char *name) {
            if (auto *b = w->findChild<QPushButton *>(QLatin1String(name)))
                return b->isEnabled();
            return w->findChild<QAction *>(QLatin1String(name))->isEnabled();
        };
        const QList<const char *> todo{"cmdEditToDo", "cmdDeleteToDo", "mnuToDoEdit", "mnuToDoDelete",
                                       "mnuToDoCompleted"};
        const QList<const char *> appt{"cmdEditAppointment", "cmdDeleteAppointment", "mnuAppointmentsEdit",
                                       "mnuAppointmentsDelete"};
        for (const char *n : todo + appt)
            QVERIFY2(!enabled(n), n);
        QVERIFY(enabled("cmdNewToDo") && enabled("mnuToDoNew") && enabled("mnuAppointmentsNew"));
        auto *todos = child<RowList>("lstToDos");
        todos->setRows({0});
        todos->setCurrentRow(0);
        w->UpdateCommands();
        for (const char *n : todo)
            QVERIFY2(enabled(n), n);
        for (const char *n : appt)
            QVERIFY2(!enabled(n), n);
    }

    void rowList_selectRow_data()
    {
        QTest::addColumn<QString>("text");
        // The row selected afterwards, or -1 for none.
        QTest::addColumn<int>("expected");
        const QString pad(100, u' ');
        QTest::newRow("first of two alike") << row("Same", 0) << 1;
        QTest::newRow("second of two alike") << row("Same", 1) << 2;
        QTest::newRow("the row already selected") << row("Other", 2) << 0;
        QTest::newRow("record not in the list") << row("Not shown", 3) << -1;
        QTest::newRow("key past the table") << row("Same", 9) << -1;
        QTest::newRow("visible text differs") << row("Sam", 0) << -1;
        QTest::newRow("another row's visible text") << row("Other", 0) << -1;
        QTest::newRow("one blank short") << "Same" + QString(99, u' ') + "0000000" << -1;
        QTest::newRow("key not all digits") << "Same" + pad + "000000x" << -1;
        QTest::newRow("visible text alone") << "Same" << -1;
        QTest::newRow("nothing") << QString() << -1;
    }

    void rowList_selectRow()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        RowList list;
        fill(list);
        list.setCurrentRow(0);
        QSignalSpy changes(&list, &RowList::rowSelectionChanged);
        list.selectRow(text);
        QCOMPARE(list.selectedRows(), expected < 0 ? QList<int>() : QList<int>{expected});
        QCOMPARE(list.selectedKey(), expected < 0 ? -1 : list.keyAt(expected));
        if (expected >= 0)
            QCOMPARE(list.currentRow(), expected);
        QCOMPARE(changes.size(), expected == 0 ? 0 : 1);
    }

    void rowList_setRowsClearsTheSelectionQuietly()
    {
        RowList list;
        fill(list);
        list.setCurrentRow(1);
        QCOMPARE(list.selectedKey(), 0);
        QSignalSpy changes(&list, &RowList::rowSelectionChanged);
        list.setRows({1, 3});
        QCOMPARE(rowsOf(&list), QStringList({row("Same", 1), row("Not shown", 3)}));
        QVERIFY(!list.hasSelection());
        QCOMPARE(list.selectedKey(), -1);
        QCOMPARE(changes.size(), 0);
    }

    void rowList_modelData_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("display") << 1 << int(Qt::DisplayRole) << QVariant(row("Same", 0));
        QTest::newRow("edit") << 2 << int(Qt::EditRole) << QVariant(row("Same", 1));
        QTest::newRow("accessible text") << 0 << int(Qt::AccessibleTextRole) << QVariant(QStringLiteral("Other"));
        QTest::newRow("tool tip") << 0 << int(Qt::ToolTipRole) << QVariant();
        QTest::newRow("past the last row") << 3 << int(Qt::DisplayRole) << QVariant();
    }

    void rowList_modelData()
    {
        QFETCH(int, at);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        RowList list;
        fill(list);
        const QAbstractItemModel *model = list.model();
        QCOMPARE(model, list.rowModel());
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->data(model->index(at, 0), role), expected);
    }

    // The key at the end of a row is neither painted nor spoken, however wide
    // the list and however long the visible text.
    void rowList_showsAndSpeaksTheVisibleTextOnly_data()
    {
        QTest::addColumn<QString>("visible");
        QTest::addColumn<int>("width");
        QTest::newRow("short, narrow list") << "Buy milk" << 250;
        QTest::newRow("short, wide list") << "Buy milk" << 4000;
        QTest::newRow("completed, wide list") << "[ x ] Buy milk" << 4000;
        QTest::newRow("appointment, wide list") << "[09:00] (Work) Stand-up" << 4000;
        QTest::newRow("wider than the list") << QString(300, u'w') << 250;
        QTest::newRow("ends in digits") << "Room 1234567" << 4000;
        // An untitled item: a blank is read, since an empty name would make the reader fall back to the key.
        QTest::newRow("nothing visible") << QString() << 4000;
    }

    void rowList_showsAndSpeaksTheVisibleTextOnly()
    {
        QFETCH(QString, visible);
        QFETCH(int, width);
        PaintedTexts style;
        RowList list;
        list.setStyle(&style);
        list.setVisibleText([&](qint32 index) { return index == 7 ? visible : QStringLiteral("Other"); });
        list.setRows({4, 7});
        list.resize(width, 200);
        list.grab();
        QCOMPARE(style.texts, QStringList({"Other", visible}));
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&list);
        QVERIFY(iface);
        QCOMPARE(iface->childCount(), 2);
        QCOMPARE(iface->child(0)->text(QAccessible::Name), QStringLiteral("Other"));
        QCOMPARE(iface->child(1)->text(QAccessible::Name), visible.isEmpty() ? QStringLiteral(" ") : visible);
    }

    // A row's text is made when the row shows or is looked up, never for
    // every row: filling, painting and selecting stay cheap in a long list.
    void rowList_makesTextsOnlyForRowsInUse()
    {
        int made = 0;
        RowList list;
        list.setVisibleText([&made](qint32 index) {
            ++made;
            return QString::number(index);
        });
        QList<qint32> keys(100'000);
        std::iota(keys.begin(), keys.end(), 0);
        list.setRows(keys);
        QCOMPARE(made, 0);
        QCOMPARE(list.count(), 100'000);
        list.resize(250, 200);
        list.grab();
        QVERIFY(made > 0);
        QVERIFY2(made < 100, qPrintable(QString::number(made)));
        made = 0;
        list.selectRow(row("99999", 99'999));
        QCOMPARE(list.currentRow(), 99'999);
        QCOMPARE(list.selectedKey(), 99'999);
        QVERIFY2(made < 10, qPrintable(QString::number(made)));
    }

    void captionsFit()
    {
        for (QPushButton *b : w->findChildren<QPushButton *>())
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width(), qPrintable(b->objectName()));
        for (const char *name : {"lblToDoStatus", "lblAppointmentsStatus"}) {
            auto *l = child<QLabel>(name);
            // A wide status line: two-digit counts of the day beside a total of a long-kept organiser.
            QString widest = l->text();
            widest.replace(QStringLiteral("(0 total)"), QStringLiteral("(999999 total)"))
                .replace(u'0', QStringLiteral("99"));
            QVERIFY2(l->fontMetrics().horizontalAdvance(widest) <= l->width(), name);
            QVERIFY2(l->fontMetrics().height() <= l->height() + 2, name);
        }
        for (QGroupBox *g : w->findChildren<QGroupBox *>())
            QVERIFY(g->fontMetrics().height() <= 15); // the caption stays above the pane's container
        const QMenuBar *bar = w->menuBar();
        QCOMPARE(bar->sizeHint().height(), w->height() - 532);
    }

    void calendar_fitsItsRectangle()
    {
        auto *cal = child<BCGCalendar>("Calendar");
        QVERIFY(cal->minimumSizeHint().width() <= cal->width());
        QVERIFY(cal->minimumSizeHint().height() <= cal->height());
    }

    void calendar_notifications_data()
    {
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("months");
        // The calendar holds wall-clock times of no zone, as Qt::UTC.
        const QDateTime base(QDate(2026, 12, 7), QTime(14, 5), Qt::UTC);
        QTest::newRow("same value") << base << base << 0 << 0;
        QTest::newRow("same month") << base << QDateTime(QDate(2026, 12, 31), QTime(14, 5), Qt::UTC) << 1 << 0;
        QTest::newRow("same day, other time") << base << QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC) << 1 << 0;
        QTest::newRow("next month") << base << QDateTime(QDate(2027, 1, 7), QTime(14, 5), Qt::UTC) << 1 << 1;
        QTest::newRow("same month, other year")
            << base << QDateTime(QDate(2025, 12, 7), QTime(14, 5), Qt::UTC) << 1 << 1;
    }

    void calendar_notifications()
    {
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QFETCH(int, days);
        QFETCH(int, months);
        BCGCalendar cal;
        cal.setSelectedDate(from);
        QStringList order;
        connect(&cal, &BCGCalendar::selectedDayChanged, this,
                [&] { order << "day:" + cal.SelectedDate().toString(Qt::ISODate); });
        connect(&cal, &BCGCalendar::selectedMonthChanged, this,
                [&] { order << "month:" + cal.SelectedDate().toString(Qt::ISODate); });
        cal.setSelectedDate(to);
        // Raised before the write returned, each seeing the new value.
        QCOMPARE(order.filter("day:").size(), days);
        QCOMPARE(order.filter("month:").size(), months);
        for (const QString &seen : order)
            QVERIFY(seen.endsWith(to.toString(Qt::ISODate)));
        QCOMPARE(cal.SelectedDate(), to);
        QCOMPARE(cal.monthShown(), to.date().month());
    }

    void calendar_pagingMovesTheSelection_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QString>("arrow");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("next") << QDate(2026, 12, 7) << "qt_calendar_nextmonth" << QDate(2027, 1, 7);
        QTest::newRow("previous") << QDate(2026, 12, 7) << "qt_calendar_prevmonth" << QDate(2026, 11, 7);
        QTest::newRow("clamped to february") << QDate(2028, 1, 31) << "qt_calendar_nextmonth" << QDate(2028, 2, 29);
        QTest::newRow("clamped to april") << QDate(2027, 3, 31) << "qt_calendar_nextmonth" << QDate(2027, 4, 30);
    }

    void calendar_pagingMovesTheSelection()
    {
        QFETCH(QDate, from);
        QFETCH(QString, arrow);
        QFETCH(QDate, expected);
        auto *cal = child<BCGCalendar>("Calendar");
        cal->setSelectedDate(QDateTime(from, QTime(10, 30)));
        QSignalSpy days(cal, &BCGCalendar::selectedDayChanged);
        QSignalSpy months(cal, &BCGCalendar::selectedMonthChanged);
        auto *button = cal->findChild<QToolButton *>(arrow);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(cal->SelectedDate(), QDateTime(expected, QTime(10, 30), Qt::UTC));
        QCOMPARE(cal->selectedDate(), expected);
        QCOMPARE(days.size(), 1);
        QCOMPARE(months.size(), 1);
    }

    // Days picked in the grid, by key or by a click on a greyed day of the
    // month before or after, are the days selected; only the arrow buttons
    // keep the day of the month.
    void calendar_pickedDayIsTheDaySelected_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<int>("key"); // 0: click the greyed day `clicked`
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("down from the 31st") << QDate(2026, 12, 31) << int(Qt::Key_Down) << 0 << QDate(2027, 1, 7);
        QTest::newRow("up into a shorter month") << QDate(2027, 3, 3) << int(Qt::Key_Up) << 0 << QDate(2027, 2, 24);
        QTest::newRow("right on the last day") << QDate(2028, 2, 29) << int(Qt::Key_Right) << 0 << QDate(2028, 3, 1);
        QTest::newRow("left on the first day") << QDate(2027, 1, 1) << int(Qt::Key_Left) << 0 << QDate(2026, 12, 31);
        QTest::newRow("greyed day of the next month") << QDate(2026, 12, 15) << 0 << 2 << QDate(2027, 1, 2);
        QTest::newRow("greyed day of the month before") << QDate(2026, 12, 15) << 0 << 30 << QDate(2026, 11, 30);
    }

    void calendar_pickedDayIsTheDaySelected()
    {
        QFETCH(QDate, from);
        QFETCH(int, key);
        QFETCH(int, clicked);
        QFETCH(QDate, expected);
        auto *cal = child<BCGCalendar>("Calendar");
        cal->setSelectedDate(QDateTime(from, QTime(10, 30)));
        QSignalSpy days(cal, &BCGCalendar::selectedDayChanged);
        auto *view = cal->findChild<QTableView *>(QStringLiteral("qt_calendar_calendarview"));
        QVERIFY(view);
        if (key) {
            QTest::keyClick(view, Qt::Key(key));
        } else {
            // The greyed cell: in the grid's first row for a day of the month
            // before, in its last rows for one of the month after.
            const QAbstractItemModel *model = view->model();
            QModelIndex cell;
            const bool before = clicked > 15;
            for (int r = 1; r < model->rowCount() && !cell.isValid(); ++r) {
                const int row = before ? r : model->rowCount() - r;
                for (int c = 0; c < model->columnCount(); ++c) {
                    if (model->index(row, c).data().toInt() == clicked) {
                        cell = model->index(row, c);
                        break;
                    }
                }
            }
            QVERIFY(cell.isValid());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
        }
        QCOMPARE(cal->SelectedDate(), QDateTime(expected, QTime(10, 30), Qt::UTC));
        QCOMPARE(cal->selectedDate(), expected);
        QCOMPARE(cal->monthShown(), expected.month());
        QVERIFY(days.size() >= 1);
    }

    void calendar_userPickKeepsTheTimeOfDay()
    {
        auto *cal = child<BCGCalendar>("Calendar");
        cal->setSelectedDate(QDateTime(QDate(2026, 12, 7), QTime(10, 30)));
        QSignalSpy days(cal, &BCGCalendar::selectedDayChanged);
        cal->QCalendarWidget::setSelectedDate(QDate(2026, 12, 8)); // as a click on the 8th does
        QCOMPARE(cal->SelectedDate(), QDateTime(QDate(2026, 12, 8), QTime(10, 30), Qt::UTC));
        QCOMPARE(days.size(), 1);
    }

    void calendar_marks()
    {
        auto *cal = child<BCGCalendar>("Calendar");
        cal->setSelectedDate(QDateTime(QDate(2026, 2, 10), QTime(0, 0)));
        cal->MarkDay(3, true);
        cal->MarkDay(28, true);
        QVERIFY(cal->isMarked(QDate(2026, 2, 3)));
        QVERIFY(cal->isMarked(QDate(2026, 2, 28)));
        QVERIFY(!cal->isMarked(QDate(2026, 2, 4)));
        QVERIFY_THROWS_EXCEPTION(AppError, cal->MarkDay(29, true));
        QVERIFY_THROWS_EXCEPTION(AppError, cal->MarkDay(0, true));
        cal->ClearMarks();
        QVERIFY(!cal->isMarked(QDate(2026, 2, 3)));
    }

    void dateTimePicker_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the text is refused
        QTest::newRow("british") << "en_GB"
                                 << "07/12/2026 14:05" << QDateTime(QDate(2026, 12, 7), QTime(14, 5), Qt::UTC);
        QTest::newRow("midnight") << "en_GB"
                                  << "29/02/2028 0:00" << QDateTime(QDate(2028, 2, 29), QTime(0, 0), Qt::UTC);
        QTest::newRow("american, four-digit year")
            << "en_US"
            << "12/7/2026 23:59" << QDateTime(QDate(2026, 12, 7), QTime(23, 59), Qt::UTC);
        QTest::newRow("german") << "de_DE"
                                << "07.12.2026 09:30" << QDateTime(QDate(2026, 12, 7), QTime(9, 30), Qt::UTC);
        QTest::newRow("no time") << "en_GB"
                                 << "07/12/2026" << QDateTime();
        QTest::newRow("not a date") << "en_GB"
                                    << "31/02/2026 10:00" << QDateTime();
        QTest::newRow("hour 24") << "en_GB"
                                 << "07/12/2026 24:00" << QDateTime();
    }

    void dateTimePicker()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QLocale::setDefault(QLocale(locale));
        BCGDateTime picker;
        const QDateTime before(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
        picker.setDateTimeValue(OleDate::fromDateTime(before));
        if (expected.isValid()) {
            picker.setDateTimeValue(text);
            QCOMPARE(OleDate::toDateTime(picker.DateTimeValue()), expected);
            QVERIFY(picker.displayFormat().contains(QStringLiteral("yyyy")));
            QVERIFY(picker.displayFormat().endsWith(QStringLiteral("HH:mm")));
        } else {
            QVERIFY_THROWS_EXCEPTION(AppError, picker.setDateTimeValue(text));
            QCOMPARE(OleDate::toDateTime(picker.DateTimeValue()), before);
        }
        pinLocale();
    }

    void dateTimePicker_fitsTheDialogRectangle()
    {
        BCGDateTime picker;
        picker.setDateTimeValue(OleDate::fromDateTime(QDateTime(QDate(2026, 12, 28), QTime(23, 58))));
        QVERIFY2(picker.sizeHint().width() <= 1830 / 15, qPrintable(QString::number(picker.sizeHint().width())));
        QVERIFY(picker.sizeHint().height() <= 315 / 15 + 2);
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
