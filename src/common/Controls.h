#pragma once

#include "Rows.h"

#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWidget>

class QLabel;

// Designs are laid out in twips; at 96 dots per inch a pixel is 15 of them.
inline QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// Makes a control of the design: its name, container and rectangle.
template<class W, class... Args>
W *place(QWidget *container, const QString &name, const QRect &geometry, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., container);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

// The name a screen reader gives a control: the caption a sighted user reads
// beside it, without its colon, so that both hear and see the same word.
QString captionName(const QLabel *caption);
void nameAfter(QWidget *control, const QLabel *caption);

// One entry of a menu of the design: its name and caption ("-" makes a
// separator), and where to keep the action when the code uses it.
struct MenuItem {
    const char *name;
    const char *caption;
    QAction **action = nullptr;
};

// Makes a menu of the design; its own action takes the menu's name too.
QMenu *makeMenu(QWidget *owner, const char *name, const char *caption, std::initializer_list<MenuItem> items);

// A list whose rows end in 100 blanks and a 7-digit key. Only the text before
// the blanks is ever painted, there is no horizontal scrolling, and a right
// press never changes the selection: it only asks for the pane's menu.
class RowList : public QListWidget
{
    Q_OBJECT

public:
    explicit RowList(QWidget *parent = nullptr);

    static constexpr int KeyLength = Rows::KeyLength;
    static constexpr int Padding = Rows::Padding;
    // The part of a row text that is shown.
    static QString visibleText(const QString &row);
    // The row text for a visible text and a record index: 100 blanks and the index in 7 digits.
    static QString rowText(const QString &visible, qint32 index);
    // The record index of the selected row, or -1 when no row is selected.
    qint32 selectedKey() const;
    // Selects the row whose text is exactly `row`, as a click on it would; none when there is no such row.
    void selectRow(const QString &row);

signals:
    void rightButtonPressed(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Once a row is selected, one stays selected: no click beside the rows and
    // no Ctrl+click or Ctrl+Space takes the selection away, which would leave
    // the details box showing a record the commands no longer act on.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

private:
    // A screen reader reads a row's accessible text where there is one, and
    // its whole text otherwise: the key, never painted, must not be spoken either.
    void speakVisibleTexts();
};

// The hourglass while a record file is open.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
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
