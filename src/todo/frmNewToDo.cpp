#include "frmNewToDo.h"

#include "Appearance.h"
#include "Controls.h"
#include "modMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

frmNewToDo::frmNewToDo(Operations operations, QWidget *parent)
    : EntryDialog(operations.lostFocus, QSize(4890 / 15, 3525 / 15), parent)
    , operations_(std::move(operations))
{
    setObjectName(QStringLiteral("frmNewToDo"));
    setWindowTitle(QStringLiteral("To do"));

    lblCaption[0] = place<QLabel>(this, QStringLiteral("lblCaption(0)"), twips(120, 120, 345, 195),
                                  QStringLiteral("Title:"));
    txtTitle = makeTitleBox(twips(120, 345, 4650, 315));
    lblCaption[1] = place<QLabel>(this, QStringLiteral("lblCaption(1)"), twips(120, 780, 840, 195),
                                  QStringLiteral("Description:"));
    for (QLabel *label : lblCaption)
        label->adjustSize(); // labels size themselves to their captions
    txtDescription = makeDescriptionBox(twips(120, 1005, 4650, 1980));
    // Each box is named after the caption above it.
    nameAfter(txtTitle, lblCaption[0]);
    nameAfter(txtDescription, lblCaption[1]);
    chkDone = place<QCheckBox>(this, QStringLiteral("chkDone"), twips(120, 3158, 1080, 195),
                               QStringLiteral("Completed"));
    chkDone->setToolTip(QStringLiteral("Set the status of the item to do"));
    Appearance::condense(chkDone);
    chkDone->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    makeButtons(twips(2325, 3090, 1200, 330), twips(3570, 3090, 1200, 330));

    const QList<QWidget *> order{txtTitle, txtDescription, chkDone, cmdOK, cmdCancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    txtTitle->setFocus();
}

void frmNewToDo::cmdOK_Click()
{
    if (txtTitle->text().isEmpty()) {
        warn(QStringLiteral("Please enter a title for this to do"));
        return;
    }
    modMain::ErrorTrap step(QStringLiteral("NewToDo.cmdOK"));
    step([&] {
        const Apply &apply = isNew() ? operations_.newToDo : operations_.editToDo;
        apply(chkDone->checkState() != Qt::Unchecked, titleText(), descriptionText());
    });
    accept();
}
