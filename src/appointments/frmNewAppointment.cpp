#include "frmNewAppointment.h"

#include "AppInfo.h"
#include "BCGDateTime.h"
#include "Controls.h"
#include "Services.h"
#include "TextFile.h"
#include "modMain.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

template<class W>
W *place(QWidget *dialog, const QString &name, const QRect &geometry)
{
    auto *w = new W(dialog);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

} // namespace

frmNewAppointment::frmNewAppointment(Operations operations, QWidget *parent)
    : QDialog(parent)
    , operations_(std::move(operations))
{
    setObjectName(QStringLiteral("frmNewAppointment"));
    buildLayout();
    Form_Load();
}

frmNewAppointment::~frmNewAppointment()
{
    Form_Unload();
}

void frmNewAppointment::buildLayout()
{
    setWindowTitle(QStringLiteral("Appointment"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(4890 / 15, 4260 / 15);

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
    txtTitle = place<QLineEdit>(this, QStringLiteral("txtTitle"), twips(1770, 1065, 3000, 315));
    txtTitle->setMaxLength(TitleLength);
    txtDescription = place<QPlainTextEdit>(this, QStringLiteral("txtDescription"), twips(120, 1725, 4650, 1980));
    txtDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtDescription->setTabChangesFocus(true);
    connect(txtDescription, &QPlainTextEdit::textChanged, this, &frmNewAppointment::limitDescription);
    cmdOK = place<QPushButton>(this, QStringLiteral("cmdOK"), twips(2325, 3795, 1200, 330));
    cmdOK->setText(QStringLiteral("OK"));
    cmdCancel = place<QPushButton>(this, QStringLiteral("cmdCancel"), twips(3570, 3810, 1200, 330));
    cmdCancel->setText(QStringLiteral("Cancel"));
    // Neither button answers Enter: Enter belongs to the description.
    for (QPushButton *b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(cmdOK, &QPushButton::clicked, this, &frmNewAppointment::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmNewAppointment::cmdCancel_Click);

    const QList<QWidget *> order{cmbCategory, txtTitle, txtDescription, cmdOK, cmdCancel, CalStart, CalEnd};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    cmbCategory->setFocus();
}

void frmNewAppointment::Form_Load()
{
    *operations_.lostFocus = true;
    // What could be read is offered, even when the file could not be read to its end.
    modMain::ErrorTrap(QStringLiteral("NewAppointment.Load"))([&] {
        cmbCategory->addItems(
            TextFile::readLines(operations_.dataFolder + QStringLiteral("/category.txt"), TextFile::LineEnds::Any));
    });
    cmbCategory->setCurrentIndex(-1);
}

void frmNewAppointment::Form_Unload()
{
    *operations_.lostFocus = false;
}

void frmNewAppointment::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmNewAppointment::keyPressEvent(QKeyEvent *event)
{
    // Enter and Escape mean nothing special to this dialog.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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

void frmNewAppointment::setTitleText(const QString &title)
{
    txtTitle->setText(title);
}

void frmNewAppointment::setDescriptionText(const QString &description)
{
    QString shown = description;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtDescription->setPlainText(shown);
    setDescription_ = description;
    shownDescription_ = txtDescription->toPlainText();
}

QString frmNewAppointment::descriptionText() const
{
    const QString now = txtDescription->toPlainText();
    // Unchanged, the text goes back exactly as it came, whatever line ends it held.
    if (!shownDescription_.isNull() && now == shownDescription_)
        return setDescription_;
    QString typed = now;
    typed.replace(u'\n', QStringLiteral("\r\n"));
    return typed;
}

void frmNewAppointment::limitDescription()
{
    const QString text = txtDescription->toPlainText();
    if (text.size() <= DescriptionLength)
        return;
    QTextCursor cursor = txtDescription->textCursor();
    const int at = qMin(cursor.position(), DescriptionLength);
    txtDescription->setPlainText(text.left(DescriptionLength));
    cursor = txtDescription->textCursor();
    cursor.setPosition(at);
    txtDescription->setTextCursor(cursor);
}

void frmNewAppointment::warn(const QString &text)
{
    Platform::services().showMessage({QString::fromUtf16(AppInfo::Title), text, Platform::MessageIcon::Exclamation,
                                      Platform::MessageButtons::Ok, Platform::MessageAnswer::Ok});
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
        const Apply &apply = windowTitle().startsWith(QStringLiteral("New")) ? operations_.newAppointment
                                                                               : operations_.editAppointment;
        apply(CalStart->DateTimeValue(), CalEnd->DateTimeValue(), cmbCategory->currentText(), txtTitle->text(),
              descriptionText());
    });
    accept();
}

void frmNewAppointment::cmdCancel_Click()
{
    reject();
}
