#pragma once

#include <QObject>

class QLabel;
class QWidget;

// The panel behind the logo: a double-click on the logo shows it, one on the
// panel hides it again.
class EasterEgg : public QObject
{
    Q_OBJECT

public:
    // Makes the panel over `logo`, in `container`, as the topmost of the logo area.
    EasterEgg(QLabel *logo, QWidget *container);

    void imgLogo_DblClick();
    void lblEasterEgg_DblClick();
    void picDebug_DblClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *imgLogo;
    QWidget *picDebug = nullptr;
    QLabel *lblEasterEgg = nullptr;
};
