#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// What the appointment and to-do dialogs share: while one is loaded the main
// window's LostFocus is set; Enter belongs to the description and Escape
// means nothing; the description holds at most 5000 characters as stored (a
// line break counts as its two) and the title box at most 50, and either,
// when left unchanged, goes back exactly as it came.
class EntryDialog : public QDialog
{
    Q_OBJECT

public:
    // Text with CR LF line breaks.
    void setDescriptionText(const QString &description);
    // A stored title, which may be longer than the box holds.
    void setTitleText(const QString &title);

    // Checks what was entered and hands it over; the dialog stays open when a check fails.
    virtual void cmdOK_Click() = 0;
    void cmdCancel_Click();

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    static constexpr int TitleLength = 50;
    static constexpr int DescriptionLength = 5000;

protected:
    EntryDialog(bool *lostFocus, const QSize &clientSize, QWidget *parent);
    ~EntryDialog() override;

    QPlainTextEdit *makeDescriptionBox(const QRect &geometry);
    QLineEdit *makeTitleBox(const QRect &geometry);
    // Neither button answers Enter or Escape.
    void makeButtons(const QRect &ok, const QRect &cancel);
    // The description with CR LF line breaks.
    QString descriptionText() const;
    // The title as the box shows it, or as it was handed in when left unchanged.
    QString titleText() const;
    // A caption that begins with "New" asks for a new record.
    bool isNew() const;
    void warn(const QString &text);

    void done(int result) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void limitDescription();

    bool *lostFocus_;
    QPlainTextEdit *description_ = nullptr;
    QLineEdit *title_ = nullptr;
    QString setTitle_;
    QString shownTitle_;
    QString setDescription_;   // as handed in, CR LF
    QString shownDescription_; // as the box showed it then
};
