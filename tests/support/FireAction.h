#pragma once

#include <QAction>
#include <QMenu>
#include <QtDebug>

// Whether a user could reach the action: it is visible and enabled, and so
// is each menu on the way to it.
inline bool reachable(const QAction *action)
{
    if (!action->isVisible() || !action->isEnabled()) {
        qWarning("%s is %s", qPrintable(action->objectName()), action->isVisible() ? "disabled" : "hidden");
        return false;
    }
    for (QObject *holder : action->associatedObjects()) {
        if (const auto *menu = qobject_cast<QMenu *>(holder); menu && !reachable(menu->menuAction()))
            return false;
    }
    return true;
}

// Fires a command as a user would; false, with the reason logged, when it
// does not exist or could not be reached. Use it as QVERIFY(fire(w, "name")).
[[nodiscard]] inline bool fire(const QObject *root, const QString &name)
{
    auto *action = root->findChild<QAction *>(name);
    if (!action) {
        qWarning("no action named %s", qPrintable(name));
        return false;
    }
    if (!reachable(action))
        return false;
    action->trigger();
    return true;
}
