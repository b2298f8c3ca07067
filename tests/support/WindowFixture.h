#pragma once

#include "Appearance.h"
#include "AppointmentsPane.h"
#include "Controls.h"
#include "TestSupport.h"
#include "ToDoPane.h"
#include "frmMain.h"

#include <memory>

inline QByteArray shippedLogo()
{
    QFile f(QStringLiteral(BW_SOURCE_DIR "/data/logo.gif"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A list row's whole text: what shows, then the hidden key of record `index`.
inline QString row(const QString &visible, int index)
{
    return RowList::rowText(visible, index);
}

// The texts of a list's rows, top to bottom.
inline QStringList rowsOf(const RowList *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->textAt(i);
    return out;
}

// The texts of a list's selected rows, top to bottom.
inline QStringList selectedRowsOf(const RowList *list)
{
    QStringList out;
    for (const int i : list->selectedRows())
        out << list->textAt(i);
    return out;
}

// A fresh main window for each test, started on its own data folder that
// holds the shipped logo, so that start-up reports nothing of its own.
class WindowFixture
{
public:
    // The program's look and a British locale, once for a test case.
    static void prepareLook()
    {
        pinLocale();
        Appearance::apply();
    }

    void setUp()
    {
        box = std::make_unique<Sandbox>();
        box->write(QStringLiteral("logo.gif"), shippedLogo());
    }

    void tearDown()
    {
        w.reset();
        box.reset();
    }

    // Templates that make the to-do page easy to read back.
    void writeTemplates()
    {
        box->write(QStringLiteral("template_page.txt"), "[content]");
        box->write(QStringLiteral("template_item.txt"), "<[title]>");
    }

    // Starts (again) on whatever the data folder holds now.
    void restart()
    {
        w.reset();
        w = std::make_unique<frmMain>(box->services);
        QVERIFY(w->Form_Load());
    }

    template<class T = QWidget>
    T *child(const char *name) const
    {
        return w->findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<Sandbox> box;
    std::unique_ptr<frmMain> w;
};
