#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

#include <functional>

// The rows of a RowList: the record index of each row, in the order shown,
// and a way to make a record's visible text. A row's text is made only when
// the view or a caller asks for it, so filling a list of 100,000 rows costs
// one index each, not a string each.
class RowModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The visible text of the record at an index of the pane's table.
    using VisibleText = std::function<QString(qint32 index)>;

    explicit RowModel(QObject *parent = nullptr);

    void setVisibleText(VisibleText visible);
    // Shows the records at `keys`, top to bottom.
    void setKeys(QList<qint32> keys);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // The whole row text (visible text, blanks, key) for the display and edit
    // roles; the visible text alone for the accessible text, which a screen
    // reader reads instead.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    qint32 keyAt(int row) const { return keys_.at(row); }
    QString visibleTextAt(int row) const;
    QString textAt(int row) const;
    // The row that shows record `key`, or -1.
    int rowOf(qint32 key) const;

private:
    QList<qint32> keys_;
    VisibleText visible_;
};
