#include "Appearance.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace Appearance {

void apply()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
    QApplication::setFont(font);
    // Group boxes with the caption on the frame line, so the panes' contents
    // start right below it as the design places them.
    qApp->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; padding: 0 2px; }"));
}

void condense(QWidget *widget)
{
    QFont narrow = widget->font();
    narrow.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    widget->setFont(narrow);
}

} // namespace Appearance
