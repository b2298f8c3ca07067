#include "frmAbout.h"

#include "AppInfo.h"
#include "Controls.h"
#include "HelpTargets.h"
#include "Services.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>

namespace {

// A link label is announced as a link, by the text it shows, and a screen
// reader can follow it as a click would; Qt would offer only static text.
class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(HyperlinkLabel *label)
        : QAccessibleWidget(label, QAccessible::Link)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }

    void doAction(const QString &action) override
    {
        if (action == pressAction())
            emit static_cast<HyperlinkLabel *>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *linkAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("HyperlinkLabel") && object && object->isWidgetType())
        return new LinkAccessible(static_cast<HyperlinkLabel *>(object));
    return nullptr;
}

} // namespace

HyperlinkLabel::HyperlinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    [[maybe_unused]] static const bool announced = (QAccessible::installFactory(linkAccessible), true);
    setCursor(Qt::PointingHandCursor);
    setColour(QColor(0, 0, 255));
}

void HyperlinkLabel::setColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void HyperlinkLabel::mousePressEvent(QMouseEvent *event)
{
    setColour(QColor(255, 0, 0));
    event->accept();
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    setColour(QColor(0, 0, 255));
    event->accept();
    // The link opens after the release, when it is blue again.
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

frmAbout::frmAbout(Operations operations, QWidget *parent)
    : QDialog(parent)
    , operations_(std::move(operations))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Brindlewatch"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(3495 / 15, 3090 / 15);

    lblProductName = place<QLabel>(this, QStringLiteral("lblProductName"), twips(840, 120, 1635, 195),
                                   QStringLiteral("Kestrix Brindlewatch"));
    Picture1 = place<QLabel>(this, QStringLiteral("Picture1"), twips(180, 120, 480, 480));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/icons/brindlewatch-32.png")));
    lblVersion = place<QLabel>(this, QStringLiteral("lblVersion"), twips(840, 360, 1830, 195),
                               QStringLiteral("Version <ProductVersion>"));
    Label2 = place<QLabel>(this, QStringLiteral("Label2"), twips(840, 600, 1815, 195),
                           QStringLiteral("Made by Kestrix"));
    cmdOK = place<QPushButton>(this, QStringLiteral("cmdOK"), twips(2040, 2580, 1275, 375), QStringLiteral("OK"));

    const char *captions[] = {"Website:", "E-mail:"};
    const int tops[] = {2190, 1920};
    for (int i = 0; i < 2; ++i) {
        lblLabel[i] = place<QLabel>(this, QStringLiteral("lblLabel(%1)").arg(i), twips(360, tops[i], 720, 195),
                                    QString::fromLatin1(captions[i]));
        lblLabel[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QPalette black = lblLabel[i]->palette();
        black.setColor(QPalette::WindowText, Qt::black);
        lblLabel[i]->setPalette(black);
    }
    lblHyperlink[0] = place<HyperlinkLabel>(this, QStringLiteral("lblHyperlink(0)"), twips(1140, 1920, 1590, 195),
                                            QString::fromUtf16(AppInfo::SupportEmail));
    lblHyperlink[1] = place<HyperlinkLabel>(this, QStringLiteral("lblHyperlink(1)"), twips(1140, 2190, 1770, 195),
                                            HelpTargets::website());
    cmdDonate = place<QPushButton>(this, QStringLiteral("cmdDonate"), twips(180, 2580, 1275, 375),
                                   QStringLiteral("Donate!"));
    cmdDonate->setToolTip(QStringLiteral("Learn more about supporting Brindlewatch"));

    // The picture shows the program's icon. Each link is described by the
    // caption on its line: the e-mail caption is the second, its link the first.
    Picture1->setAccessibleName(QString::fromUtf16(AppInfo::Title) + QStringLiteral(" icon"));
    lblHyperlink[0]->setAccessibleDescription(captionName(lblLabel[1]));
    lblHyperlink[1]->setAccessibleDescription(captionName(lblLabel[0]));

    // Labels and the picture size themselves to what they hold.
    for (QLabel *l : {lblProductName, Picture1, lblVersion, Label2, static_cast<QLabel *>(lblHyperlink[0]),
                      static_cast<QLabel *>(lblHyperlink[1])})
        l->adjustSize();
    for (QPushButton *b : {cmdOK, cmdDonate})
        b->setAutoDefault(false);
    setTabOrder(cmdOK, cmdDonate);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdDonate, &QPushButton::clicked, this, &frmAbout::cmdDonate_Click);
    for (int i = 0; i < 2; ++i)
        connect(lblHyperlink[i], &HyperlinkLabel::clicked, this, [this, i] { lblHyperlink_Click(i); });

    move(Platform::services().screenLayout().primaryArea.center() - rect().center());
    Form_Load();
}

void frmAbout::Form_Load()
{
    lblVersion->setText(lblVersion->text().replace(QStringLiteral("<ProductVersion>"), HelpTargets::productVersion()));
    lblVersion->adjustSize();
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdDonate_Click()
{
    accept();
    operations_.donate();
}

void frmAbout::lblHyperlink_Click(int index)
{
    if (index == 0)
        operations_.open(HelpTargets::aboutMail());
    else if (index == 1)
        operations_.open(lblHyperlink[1]->text());
}
