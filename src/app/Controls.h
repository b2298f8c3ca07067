#pragma once

#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

// A list whose rows end in 100 blanks and a 7-digit key. Only the text before
// the blanks is ever painted, there is no horizontal scrolling, and a right
// press never changes the selection: it only asks for the pane's menu.
class RowList : public QListWidget
{
    Q_OBJECT

public:
    explicit RowList(QWidget *parent = nullptr);

    static constexpr int KeyLength = 7;
    static constexpr int Padding = 100;
    // The part of a row text that is shown.
    static QString visibleText(const QString &row);

signals:
    void rightButtonPressed(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// A read-only, scrollable, selectable details box that holds at most 5000 characters.
class DetailsBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit DetailsBox(QWidget *parent = nullptr);

    static constexpr int MaxLength = 5000;
    // Takes text with CR LF line breaks, as the program builds it.
    void setText(const QString &text);
    const QString &text() const { return text_; }

private:
    QString text_;
};

// A rectangle drawn in a system colour: either a one-pixel outline with a
// transparent inside, or filled without an outline.
class Shape : public QWidget
{
    Q_OBJECT

public:
    enum Style { Outline, Filled };
    Shape(Style style, QPalette::ColorRole role, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Style style_;
    QPalette::ColorRole role_;
};
