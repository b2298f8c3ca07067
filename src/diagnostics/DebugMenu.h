#pragma once

#include "Appointment.h"
#include "ToDoItem.h"

#include <QObject>

#include <functional>

class QMenu;
class QWidget;

namespace Platform {
class Services;
}

// The hidden Debug menu, which replaces all records with a small sample.
class DebugMenu : public QObject
{
    Q_OBJECT

public:
    // How the sample reaches the tables: each replaces one whole table and writes it.
    struct Operations {
        std::function<void(QList<Appointment>)> replaceAppointments;
        std::function<void(QList<ToDoItem>)> replaceToDos;
    };

    // The menu is made as a child of `window`, hidden until asked for.
    DebugMenu(Platform::Services &services, Operations operations, QWidget *window);

    QMenu *menu() const { return mnuDebug; }
    void mnuDebugReset_Click();

    // The sample, around `today`.
    static QList<Appointment> sampleAppointments(const QDate &today);
    static QList<ToDoItem> sampleToDos();

private:
    Platform::Services &services_;
    Operations operations_;
    QMenu *mnuDebug = nullptr;
};
