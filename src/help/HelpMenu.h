#pragma once

#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace Platform {
class Services;
}

// The Help menu: each command hands one target to the desktop, and About
// opens the about box.
class HelpMenu : public QObject
{
    Q_OBJECT

public:
    // The menu is made as a child of `window`.
    HelpMenu(Platform::Services &services, QWidget *window);

    QMenu *menu() const { return mnuHelp; }

    void mnuHelpReadMe_Click();
    // Opens the donation page; the about box uses it too.
    void mnuHelpDonate_Click();
    void mnuHelpVerCheck_Click();
    void mnuHelpWebHome_Click();
    void mnuHelpWebForums_Click();
    void mnuHelpWebEmail_Click();
    void mnuHelpAboot_Click();

private:
    void openExternal(const QString &target);

    Platform::Services &services_;
    QMenu *mnuHelp = nullptr;
};
