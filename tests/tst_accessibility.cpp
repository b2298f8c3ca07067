#include "BCGCalendar.h"
#include "FireAction.h"
#include "OleDate.h"
#include "WindowFixture.h"
#include "frmAbout.h"
#include "frmNewAppointment.h"
#include "frmNewToDo.h"
#include "frmPrefs.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTableView>
#include <QToolButton>

#include <functional>

namespace {

// The name a screen reader is given. On Linux Qt gives a combo box's value
// as its name, and its caption through a relation that only a buddy makes;
// the name the program gives is what the other desktops read.
QString nameOf(QObject *o, QAccessibleInterface *iface)
{
    if (auto *combo = qobject_cast<QComboBox *>(o))
        return combo->accessibleName();
    return iface->text(QAccessible::Name);
}

// What a screen reader would be told about the controls of one window, and
// where that falls short: a control a user can reach with no name, or with a
// role that does not say what it is.
class Audit
{
public:
    explicit Audit(QWidget *top)
    {
        QAccessibleInterface *root = QAccessible::queryAccessibleInterface(top);
        if (!root) {
            issues << QStringLiteral("%1: no accessible interface").arg(label(top));
            return;
        }
        walk(root, 0);
        // Every widget, whether or not the tree above leads to it.
        for (QWidget *w : top->findChildren<QWidget *>()) {
            if (seen_.contains(w))
                continue;
            if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w))
                check(w, iface);
            else
                issues << QStringLiteral("%1: no accessible interface").arg(label(w));
        }
    }

    QStringList issues;

private:
    static QString label(const QObject *o)
    {
        QString name = o->objectName();
        if (name.isEmpty())
            name = QString::fromLatin1(o->metaObject()->className());
        if (o->parent() && o->objectName().isEmpty())
            name += QStringLiteral(" in ") + label(o->parent());
        return name;
    }

    // The role each kind of control must have; the first that fits counts.
    static std::optional<QAccessible::Role> expectedRole(const QWidget *w)
    {
        if (qobject_cast<const HyperlinkLabel *>(w))
            return QAccessible::Link;
        if (const auto *l = qobject_cast<const QLabel *>(w))
            return l->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
        const struct {
            const QMetaObject *kind;
            QAccessible::Role role;
        } roles[] = {
            {&QListView::staticMetaObject, QAccessible::List},
            {&QTableView::staticMetaObject, QAccessible::Table},
            {&QCalendarWidget::staticMetaObject, QAccessible::Table},
            {&QPlainTextEdit::staticMetaObject, QAccessible::EditableText},
            {&QAbstractSpinBox::staticMetaObject, QAccessible::SpinBox},
            {&QComboBox::staticMetaObject, QAccessible::ComboBox},
            {&QScrollBar::staticMetaObject, QAccessible::ScrollBar},
            {&QCheckBox::staticMetaObject, QAccessible::CheckBox},
            {&QRadioButton::staticMetaObject, QAccessible::RadioButton},
            {&QPushButton::staticMetaObject, QAccessible::Button},
            {&QGroupBox::staticMetaObject, QAccessible::Grouping},
            {&QMenuBar::staticMetaObject, QAccessible::MenuBar},
            {&QMenu::staticMetaObject, QAccessible::PopupMenu},
            {&QDialog::staticMetaObject, QAccessible::Dialog},
            {&QMainWindow::staticMetaObject, QAccessible::Window},
        };
        for (const auto &r : roles) {
            if (w->inherits(r.kind->className()))
                return r.role;
        }
        // A spin box's own editor is left to the spin box (see below).
        if (qobject_cast<const QLineEdit *>(w) && !qobject_cast<const QAbstractSpinBox *>(w->parent()))
            return QAccessible::EditableText;
        return std::nullopt;
    }

    void check(QWidget *w, QAccessibleInterface *iface)
    {
        seen_.insert(w);
        // What is not on screen is checked in the row that shows it.
        if (!w->isVisible())
            return;
        const QAccessible::Role role = iface->role();
        if (const auto expected = expectedRole(w); expected && role != *expected) {
            issues << QStringLiteral("%1: role %2, expected %3").arg(label(w)).arg(role).arg(*expected);
            return;
        }
        if (!w->toolTip().isEmpty() && iface->text(QAccessible::Description).isEmpty())
            issues << QStringLiteral("%1: the tooltip is not its description").arg(label(w));
        // The scroll bars of a list or a text box scroll the box, which carries
        // the name; a spin box's editor hands its focus and its words to the spin box.
        if (w->parent() && w->parent()->objectName().startsWith(QLatin1String("qt_scrollarea_")))
            return;
        if (qobject_cast<QAbstractSpinBox *>(w->parent()) && w->objectName() == QLatin1String("qt_spinbox_lineedit"))
            return;
        const bool focusable = w->focusPolicy() != Qt::NoFocus && !w->focusProxy();
        static const QSet<QAccessible::Role> controls{
            QAccessible::Button,   QAccessible::CheckBox, QAccessible::RadioButton,  QAccessible::ButtonMenu,
            QAccessible::ComboBox, QAccessible::SpinBox,  QAccessible::List,         QAccessible::Table,
            QAccessible::Slider,   QAccessible::Link,     QAccessible::EditableText, QAccessible::Graphic,
            QAccessible::ScrollBar};
        if (!focusable && !controls.contains(role))
            return;
        if (focusable && (role == QAccessible::NoRole || role == QAccessible::Client))
            issues << QStringLiteral("%1: takes the focus with no role of its own").arg(label(w));
        if (nameOf(w, iface).trimmed().isEmpty())
            issues << QStringLiteral("%1: no accessible name").arg(label(w));
    }

    void walk(QAccessibleInterface *iface, int depth)
    {
        if (auto *w = qobject_cast<QWidget *>(iface->object())) {
            if (seen_.contains(w))
                return;
            check(w, iface);
        } else {
            checkItem(iface);
        }
        // A calendar's days and a list's rows have no children of their own.
        if (depth > 12 || iface->role() == QAccessible::Cell || iface->role() == QAccessible::ListItem)
            return;
        for (int i = 0; i < iface->childCount(); ++i) {
            if (QAccessibleInterface *child = iface->child(i))
                walk(child, depth + 1);
        }
    }

    // Menu items and list rows, which are no widgets of their own.
    void checkItem(QAccessibleInterface *iface)
    {
        const QString name = iface->text(QAccessible::Name);
        const QString where = iface->object() ? label(iface->object())
                              : iface->parent() && iface->parent()->object()
                                  ? QStringLiteral("a row of ") + label(iface->parent()->object())
                                  : QStringLiteral("an item");
        if (iface->role() == QAccessible::MenuItem && name.isEmpty())
            issues << QStringLiteral("%1: menu item with no name").arg(where);
        if (iface->role() == QAccessible::ListItem && iface->parent()
            && qobject_cast<RowList *>(iface->parent()->object())) {
            if (name.isEmpty() || name != RowList::visibleText(name) || name != name.trimmed())
                issues << QStringLiteral("%1 is read as \"%2\"").arg(where, name);
        }
    }

    QSet<QWidget *> seen_;
};

// A control found by the object names on the way to it, separated by '/'; a
// part Qt leaves unnamed is found by its class.
QObject *find(QObject *top, const QString &path)
{
    QObject *at = top;
    for (const QString &name : path.split(u'/')) {
        QObject *next = nullptr;
        for (QObject *c : at ? at->findChildren<QObject *>() : QList<QObject *>()) {
            if (c->objectName() == name
                || (c->objectName().isEmpty() && QLatin1String(c->metaObject()->className()) == name)) {
                next = c;
                break;
            }
        }
        at = next;
    }
    return at;
}

// Closes whatever pop-up is open, as Escape would.
void closePopups()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

} // namespace

class tst_Accessibility : public QObject, WindowFixture
{
    Q_OBJECT

    // Opens the window the row names, in the state it names, and hands it to
    // `act`; dialogs open as a user opens them, from their commands.
    void inWindow(const QString &which, const std::function<void(QWidget *)> &act)
    {
        if (which.startsWith(QLatin1String("main window"))) {
            if (which.endsWith(QLatin1String("year box open"))) {
                QTest::mouseClick(child<QToolButton>("qt_calendar_yearbutton"), Qt::LeftButton);
                QVERIFY(child<QWidget>("qt_calendar_yearedit")->isVisible());
            }
            act(w.get());
            return;
        }
        const QString command = which.startsWith(QLatin1String("new appointment"))
                                    ? QStringLiteral("mnuAppointmentsNew")
                                : which.startsWith(QLatin1String("edit appointment"))
                                    ? QStringLiteral("mnuAppointmentsEdit")
                                : which == QLatin1String("new to-do")   ? QStringLiteral("mnuToDoNew")
                                : which == QLatin1String("edit to-do")  ? QStringLiteral("mnuToDoEdit")
                                : which == QLatin1String("preferences") ? QStringLiteral("mnuFilePrefs")
                                                                        : QStringLiteral("mnuHelpAboot");
        const bool ran = withModal<QDialog>([&] { QVERIFY(fire(w.get(), command)); },
                                            [&](QDialog *d) {
            if (which.endsWith(QLatin1String("category list open")))
                d->findChild<QComboBox *>(QStringLiteral("cmbCategory"))->showPopup();
            // No key opens the pop-up; the date and time are typed or stepped instead.
            if (which.endsWith(QLatin1String("start calendar open"))) {
                auto *start = d->findChild<QWidget *>(QStringLiteral("CalStart"));
                QTest::mouseClick(start, Qt::LeftButton, {}, QPoint(start->width() - 4, start->height() / 2));
                QVERIFY(QApplication::activePopupWidget());
            }
            act(d);
            closePopups();
            d->close();
        });
        QVERIFY(ran);
    }

private slots:
    void initTestCase() { prepareLook(); }
    void init()
    {
        setUp();
        box->write(QStringLiteral("category.txt"), "General\r\nWork\r\n");
        restart();
        // A row in each list, on the day the calendar shows, and selected.
        w->toDoPane()->NewToDo(false, QStringLiteral("Pay the rent"), QString());
        const double nine = OleDate::fromDateTime(QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC));
        w->appointmentsPane()->NewAppointment(nine, nine, QStringLiteral("General"), QStringLiteral("Dentist"),
                                              QString());
        child<RowList>("lstToDos")->setCurrentRow(0);
        w->UpdateCommands();
    }
    void cleanup()
    {
        closePopups();
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void everyControlIsNamed_data()
    {
        QTest::addColumn<QString>("window");
        // Names the program gives, as "path|name"; the path runs through object names.
        QTest::addColumn<QStringList>("names");
        const QStringList main{"imgLogo|Brindlewatch logo",
                               "lstToDos|To-do items",
                               "txtToDo|To-do item details",
                               "lstAppointments|Appointments on the selected day",
                               "txtAppointment|Appointment details",
                               "Calendar|Appointment calendar",
                               "Calendar/qt_calendar_calendarview|Appointment calendar",
                               "Calendar/qt_calendar_prevmonth|Previous month",
                               "Calendar/qt_calendar_nextmonth|Next month",
                               "cmdNewToDo|New",
                               "cmdNewAppointment|New"};
        const QStringList appointment{"CalStart|Start",  "CalEnd|End", "cmbCategory|Category",
                                      "txtTitle|Title",  "cmdOK|OK",   "txtDescription|Description",
                                      "cmdCancel|Cancel"};
        QTest::newRow("main window") << "main window" << main;
        QTest::newRow("main window, year box open")
            << "main window, year box open" << QStringList{"Calendar/qt_calendar_yearedit|Year"};
        QTest::newRow("new appointment") << "new appointment" << appointment;
        QTest::newRow("new appointment, category list open")
            << "new appointment, category list open" << QStringList{"cmbCategory/QComboBoxListView|Category"};
        QTest::newRow("new appointment, start calendar open")
            << "new appointment, start calendar open"
            << QStringList{"CalStart/qt_calendar_calendarview|Start calendar",
                           "CalStart/qt_calendar_nextmonth|Next month"};
        QTest::newRow("edit appointment") << "edit appointment" << appointment;
        QTest::newRow("new to-do") << "new to-do"
                                   << QStringList{"txtTitle|Title", "txtDescription|Description", "chkDone|Completed"};
        QTest::newRow("edit to-do") << "edit to-do" << QStringList{"txtTitle|Title", "txtDescription|Description"};
        QTest::newRow("preferences") << "preferences"
                                     << QStringList{"hscExportToDo|Number of recent pending items",
                                                    "optMinimize(0)|Taskbar Only", "chkExportToDo|Enable HTML Export"};
        QTest::newRow("about") << "about"
                               << QStringList{"Picture1|Brindlewatch icon", "lblHyperlink(0)|support@kestrix.example",
                                              "lblHyperlink(1)|https://www.kestrix.example", "cmdDonate|Donate!"};
    }

    void everyControlIsNamed()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, names);
        if (window.startsWith(QLatin1String("edit appointment")))
            child<RowList>("lstAppointments")->setCurrentRow(0);
        QStringList issues;
        inWindow(window, [&](QWidget *top) {
            issues = Audit(top).issues;
            for (const QString &pair : names) {
                const QString path = pair.section(u'|', 0, 0);
                const QString name = pair.section(u'|', 1);
                QObject *control = find(top, path);
                QAccessibleInterface *iface = control ? QAccessible::queryAccessibleInterface(control) : nullptr;
                if (!iface)
                    issues << path + QStringLiteral(": not found");
                else if (nameOf(control, iface) != name)
                    issues
                        << QStringLiteral("%1: named \"%2\", expected \"%3\"").arg(path, nameOf(control, iface), name);
            }
        });
        QVERIFY2(issues.isEmpty(), qPrintable(issues.join(u'\n')));
    }

    // The key at the end of a row is never painted, and must never be spoken.
    void listRows_areReadAsTheyShow()
    {
        for (const char *name : {"lstToDos", "lstAppointments"}) {
            auto *list = child<RowList>(name);
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
            QVERIFY(iface);
            QCOMPARE(iface->childCount(), list->count());
            for (int i = 0; i < list->count(); ++i)
                QCOMPARE(iface->child(i)->text(QAccessible::Name), RowList::visibleText(list->textAt(i)));
        }
        QCOMPARE(child<RowList>("lstToDos")->textAt(0), row(QStringLiteral("Pay the rent"), 0));
        QCOMPARE(QAccessible::queryAccessibleInterface(child<RowList>("lstToDos"))->child(0)->text(QAccessible::Name),
                 QStringLiteral("Pay the rent"));
    }

    // What the key list of the read-me promises, beside the menus and Tab below.
    void space_pressesTheFocusedButton()
    {
        auto *button = child<QPushButton>("cmdNewToDo");
        QApplication::setActiveWindow(w.get());
        button->setFocus();
        QVERIFY(
            withModal<frmNewToDo>([&] { QTest::keyClick(button, Qt::Key_Space); }, [](frmNewToDo *d) { d->close(); }));
    }

    void escape_closesPreferencesAndAbout_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("preferences") << "mnuFilePrefs";
        QTest::newRow("about") << "mnuHelpAboot";
    }

    void escape_closesPreferencesAndAbout()
    {
        QFETCH(QString, command);
        bool closed = false;
        QVERIFY(withModal<QDialog>([&] { QVERIFY(fire(w.get(), command)); },
                                   [&](QDialog *d) {
            QWidget *focus = QApplication::focusWidget();
            QTest::keyClick(focus && focus->window() == d ? focus : d, Qt::Key_Escape);
            closed = !d->isVisible();
            d->close();
        }));
        QVERIFY(closed);
    }

    void calendar_pagesAndJumpsByKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("Page Down: next month") << int(Qt::Key_PageDown) << QDate(2027, 1, 15);
        QTest::newRow("Page Up: month before") << int(Qt::Key_PageUp) << QDate(2026, 11, 15);
        QTest::newRow("Home: first day") << int(Qt::Key_Home) << QDate(2026, 12, 1);
        QTest::newRow("End: last day") << int(Qt::Key_End) << QDate(2026, 12, 31);
    }

    void calendar_pagesAndJumpsByKey()
    {
        QFETCH(int, key);
        QFETCH(QDate, expected);
        auto *cal = child<BCGCalendar>("Calendar");
        cal->setSelectedDate(QDateTime(QDate(2026, 12, 15), QTime(10, 0)));
        QTest::keyClick(child<QWidget>("qt_calendar_calendarview"), Qt::Key(key));
        QCOMPARE(cal->SelectedDate().date(), expected);
    }

    void calendar_saysWhichDaysHaveAppointments()
    {
        auto *grid = child<QWidget>("qt_calendar_calendarview");
        const auto description = [&] {
            return QAccessible::queryAccessibleInterface(grid)->text(QAccessible::Description);
        };
        QCOMPARE(description(), QStringLiteral("Days with appointments: 7"));
        const double later = OleDate::fromDateTime(QDateTime(QDate(2026, 12, 24), QTime(18, 0), Qt::UTC));
        w->appointmentsPane()->NewAppointment(later, later, QStringLiteral("General"), QStringLiteral("Eve"),
                                              QString());
        QCOMPARE(description(), QStringLiteral("Days with appointments: 7, 24"));
        w->appointmentsPane()->showDay(QDateTime(QDate(2027, 1, 10), QTime(12, 0)));
        QCOMPARE(description(), QStringLiteral("No days with appointments this month"));
    }

    void links_canBeFollowedByAScreenReader()
    {
        const bool ran = withModal<frmAbout>([&] { QVERIFY(fire(w.get(), QStringLiteral("mnuHelpAboot"))); },
                                             [&](frmAbout *about) {
            QAccessibleInterface *link = QAccessible::queryAccessibleInterface(about->lblHyperlink[1]);
            QCOMPARE(link->role(), QAccessible::Link);
            QCOMPARE(link->text(QAccessible::Description), QStringLiteral("Website"));
            QVERIFY(link->actionInterface());
            QVERIFY(link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
            link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            about->close();
        });
        QVERIFY(ran);
        QCOMPARE(box->services.opened, QStringList{QStringLiteral("https://www.kestrix.example")});
    }

    void menus_openWithTheirAltKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("menu");
        QTest::newRow("Alt+B") << int(Qt::Key_B) << "mnuFile";
        QTest::newRow("Alt+T") << int(Qt::Key_T) << "mnuToDo";
        QTest::newRow("Alt+A") << int(Qt::Key_A) << "mnuAppointments";
        QTest::newRow("Alt+H") << int(Qt::Key_H) << "mnuHelp";
        QTest::newRow("F12, then Alt+D") << int(Qt::Key_D) << "mnuDebug";
    }

    void menus_openWithTheirAltKeys()
    {
        QFETCH(int, key);
        QFETCH(QString, menu);
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        if (key == Qt::Key_D)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), menu);
        closePopups();
    }

    void tab_reachesEveryControl_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"main window", "new appointment", "new to-do", "preferences", "about"})
            QTest::newRow(window) << window;
    }

    void tab_reachesEveryControl()
    {
        QFETCH(QString, window);
        QStringList missed;
        inWindow(window, [&](QWidget *top) {
            QApplication::setActiveWindow(top);
            QVERIFY(QTest::qWaitForWindowActive(top));
            if (!QApplication::focusWidget())
                QTest::keyClick(top, Qt::Key_Tab);
            QSet<QWidget *> visited;
            for (int press = 0; press < 200; ++press) {
                visited.insert(QApplication::focusWidget());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            for (QWidget *c : top->findChildren<QWidget *>()) {
                if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus) && !c->focusProxy()
                    && !visited.contains(c))
                    missed << c->objectName();
            }
        });
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
