#include "frmNewAppointment.h"

#include "BCGDateTime.h"
#include "Controls.h"
#include "DataFiles.h"
#include "TextFile.h"
#include "modMain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

frmNewAppointment::frmNewAppointment(Operations operations, QWidget *parent)
    : EntryDialog(operations.lostFocus, QSize(4890 / 15, 4260 / 15), parent)
    , operations_(std::move(operations))
{
    setObjectName(QStringLiteral("frmNewAppointment"));
    buildLayout();
    Form_Load();
}

void frmNewAppointment::buildLayout()
{
    setWindowTitle(QStringLiteral("Appointment"));

    struct Caption {
        int index;
        const char *text;
        QRect at;
    };
    const Caption captions[] = {{0, "Title:", twips(1770, 840, 345, 195)},
                                {1, "Description:", twips(120, 1500, 840, 195)},
                                {2, "Start:", twips(120, 120, 375, 195)},
                                {3, "End:", twips(2505, 120, 330, 195)},
                                {4, "Category:", twips(120, 840, 675, 195)}};
    for (const Caption &c : captions) {
        QLabel *label = place<QLabel>(this, QStringLiteral("lblCaption(%1)").arg(c.index), c.at);
        label->setText(QString::fromLatin1(c.text));
        label->adjustSize(); // auto-size
        lblCaption[c.index] = label;
    }

    CalStart = place<BCGDateTime>(this, QStringLiteral("CalStart"), twips(120, 375, 1830, 315));
    CalEnd = place<BCGDateTime>(this, QStringLiteral("CalEnd"), twips(2505, 375, 1830, 315));
    cmbCategory = place<QComboBox>(this, QStringLiteral("cmbCategory"), twips(120, 1065, 1515, 315));
    cmbCategory->setEditable(false);
    txtTitle = makeTitleBox(twips(1770, 1065, 3000, 315));
    txtDescription = makeDescriptionBox(twips(120, 1725, 4650, 1980));
    makeButtons(twips(2325, 3795, 1200, 330), twips(3570, 3810, 1200, 330));

    // Each box is named after the caption above it.
    nameAfter(txtTitle, lblCaption[0]);
    nameAfter(txtDescription, lblCaption[1]);
    nameAfter(CalStart, lblCaption[2]);
    nameAfter(CalEnd, lblCaption[3]);
    nameAfter(cmbCategory, lblCaption[4]);
    nameAfter(cmbCategory->view(), lblCaption[4]);
    // On Linux a screen reader takes a combo box's name from its label's buddy
    // only; the caption has no mnemonic, so nothing on screen changes.
    lblCaption[4]->setBuddy(cmbCategory);

    const QList<QWidget *> order{cmbCategory, txtTitle, txtDescription, cmdOK, cmdCancel, CalStart, CalEnd};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    cmbCategory->setFocus();
}

void frmNewAppointment::Form_Load()
{
    // What could be read is offered, even when the file could not be read to its end.
    modMain::ErrorTrap(QStringLiteral("NewAppointment.Load"))([&] {
        cmbCategory->addItems(
            TextFile::readLines(operations_.dataFolder + u'/' + DataFiles::Categories, TextFile::LineEnds::Any));
    });
    cmbCategory->setCurrentIndex(-1);
}

void frmNewAppointment::selectCategory(const QString &category, bool addIfMissing)
{
    int index = cmbCategory->findText(category, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && addIfMissing) {
        cmbCategory->addItem(category);
        index = cmbCategory->count() - 1;
    }
    cmbCategory->setCurrentIndex(index);
}

void frmNewAppointment::cmdOK_Click()
{
    modMain::ErrorTrap step(QStringLiteral("NewAppointment.cmdOK"));
    bool valid = true;
    step([&] {
        if (CalEnd->DateTimeValue() < CalStart->DateTimeValue()) {
            warn(QStringLiteral("The end of the appointment cannot be before the start."));
            valid = false;
        } else if (txtTitle->text().isEmpty()) {
            warn(QStringLiteral("Please enter a title for this appointment."));
            valid = false;
        }
    });
    if (!valid)
        return;
    step([&] {
        const Apply &apply = isNew() ? operations_.newAppointment : operations_.editAppointment;
        apply(CalStart->DateTimeValue(), CalEnd->DateTimeValue(), cmbCategory->currentText(), titleText(),
              descriptionText());
    });
    accept();
}
