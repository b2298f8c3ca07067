#include "EntryDialog.h"

#include "AppInfo.h"
#include "Controls.h"
#include "Services.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

EntryDialog::EntryDialog(bool *lostFocus, const QSize &clientSize, QWidget *parent)
    : QDialog(parent)
    , lostFocus_(lostFocus)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientSize);
    *lostFocus_ = true;
}

EntryDialog::~EntryDialog()
{
    *lostFocus_ = false;
}

void EntryDialog::done(int result)
{
    *lostFocus_ = false;
    QDialog::done(result);
}

void EntryDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPlainTextEdit *EntryDialog::makeDescriptionBox(const QRect &geometry)
{
    description_ = new QPlainTextEdit(this);
    description_->setObjectName(QStringLiteral("txtDescription"));
    description_->setGeometry(geometry);
    description_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    description_->setTabChangesFocus(true);
    connect(description_, &QPlainTextEdit::textChanged, this, &EntryDialog::limitDescription);
    return description_;
}

QLineEdit *EntryDialog::makeTitleBox(const QRect &geometry)
{
    title_ = place<QLineEdit>(this, QStringLiteral("txtTitle"), geometry);
    title_->setMaxLength(TitleLength);
    return title_;
}

void EntryDialog::setTitleText(const QString &title)
{
    title_->setText(title);
    setTitle_ = title;
    shownTitle_ = title_->text();
}

QString EntryDialog::titleText() const
{
    // A longer title from a file or another calendar is shown cut to the box;
    // pressing OK without touching it must not cut the record too.
    const QString now = title_->text();
    if (!shownTitle_.isNull() && now == shownTitle_)
        return setTitle_;
    return now;
}

void EntryDialog::makeButtons(const QRect &ok, const QRect &cancel)
{
    cmdOK = place<QPushButton>(this, QStringLiteral("cmdOK"), ok, QStringLiteral("OK"));
    cmdCancel = place<QPushButton>(this, QStringLiteral("cmdCancel"), cancel, QStringLiteral("Cancel"));
    for (QPushButton *b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(cmdOK, &QPushButton::clicked, this, &EntryDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &EntryDialog::cmdCancel_Click);
}

void EntryDialog::cmdCancel_Click()
{
    reject();
}

void EntryDialog::setDescriptionText(const QString &description)
{
    QString shown = description;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    description_->setPlainText(shown);
    setDescription_ = description;
    shownDescription_ = description_->toPlainText();
}

QString EntryDialog::descriptionText() const
{
    const QString now = description_->toPlainText();
    // Unchanged, the text goes back exactly as it came, whatever line ends it held.
    if (!shownDescription_.isNull() && now == shownDescription_)
        return setDescription_;
    QString typed = now;
    typed.replace(u'\n', QStringLiteral("\r\n"));
    return typed;
}

bool EntryDialog::isNew() const
{
    return windowTitle().startsWith(QStringLiteral("New"));
}

void EntryDialog::limitDescription()
{
    // The limit is on the stored text, where each line break takes two characters.
    const QString text = description_->toPlainText();
    if (text.size() + text.count(u'\n') <= DescriptionLength)
        return;
    qsizetype keep = 0;
    for (qsizetype used = 0; keep < text.size(); ++keep) {
        used += text[keep] == u'\n' ? 2 : 1;
        if (used > DescriptionLength)
            break;
    }
    // Never half of a character outside the Basic Multilingual Plane.
    if (keep > 0 && text[keep - 1].isHighSurrogate())
        --keep;
    const qsizetype at = qMin<qsizetype>(description_->textCursor().position(), keep);
    description_->setPlainText(text.left(keep));
    QTextCursor cursor = description_->textCursor();
    cursor.setPosition(int(at));
    description_->setTextCursor(cursor);
}

void EntryDialog::warn(const QString &text)
{
    Platform::services().showMessage({QString::fromUtf16(AppInfo::Title), text, Platform::MessageIcon::Exclamation,
                                      Platform::MessageButtons::Ok, Platform::MessageAnswer::Ok});
}
