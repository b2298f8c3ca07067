#pragma once

namespace Platform {
class Services;
}

// What a pane may ask of the window that holds it. The panes never see the
// window itself, so each can be built and tested on its own terms.
class PaneHost
{
public:
    virtual Platform::Services &services() const = 0;
    // The window's LostFocus: true while an entry dialog is loaded.
    virtual bool *lostFocus() = 0;
    // Brings every command of the window in line with the selections.
    virtual void UpdateCommands() = 0;
    // After a pane's views were rebuilt: the commands follow, and the window
    // takes the focus back unless an entry dialog holds it.
    virtual void focusStep() = 0;

protected:
    ~PaneHost() = default;
};
