#pragma once

#include <QDialog>
#include <QLabel>

#include <functional>

class QPushButton;

// A link label: red while a mouse button is held on it, blue otherwise; a
// click (press and release on it) asks for the link to be opened.
class HyperlinkLabel : public QLabel
{
    Q_OBJECT

public:
    HyperlinkLabel(const QString &text, QWidget *parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setColour(const QColor &colour);
};

// The about box: name, icon, version and the two links. It owns nothing; it
// opens links and the donation page through what it is given.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    struct Operations {
        std::function<void(const QString &target)> open;
        std::function<void()> donate;
    };

    explicit frmAbout(Operations operations, QWidget *parent = nullptr);

    void cmdOK_Click();
    void cmdDonate_Click();
    void lblHyperlink_Click(int index);

    QLabel *lblProductName = nullptr;
    QLabel *Picture1 = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QLabel *lblLabel[2] = {};
    HyperlinkLabel *lblHyperlink[2] = {};
    QPushButton *cmdDonate = nullptr;

private:
    void Form_Load();

    Operations operations_;
};
