#include "HelpTargets.h"

namespace {
QString title()
{
    return QString::fromUtf16(AppInfo::Title);
}
QString number(int n)
{
    return QString::number(n);
}
} // namespace

namespace HelpTargets {

QString readMe(const QString &shippedFolder)
{
    return shippedFolder + QStringLiteral("/Read Me.txt");
}

QString donate()
{
    return website() + QStringLiteral("/donate.php?app=") + title();
}

QString versionCheck(const Version &v)
{
    return website() + QStringLiteral("/vercheck.php?app=") + title() + QStringLiteral("&ver=") + number(v.major) + u'.'
           + number(v.minor);
}

QString website()
{
    return QString::fromUtf16(AppInfo::WebSite);
}

QString forums()
{
    return QString::fromUtf16(AppInfo::Forums);
}

QString supportMail(const Version &v)
{
    return QStringLiteral("mailto:") + QString::fromUtf16(AppInfo::SupportEmail) + QStringLiteral("?subject=") + title()
           + QStringLiteral("%20v") + number(v.major) + u'.' + number(v.minor) + QStringLiteral("%20(Build%20")
           + number(v.revision) + u')';
}

QString aboutMail(const Version &v)
{
    return QStringLiteral("mailto:") + QString::fromUtf16(AppInfo::SupportEmail) + QStringLiteral("?subject=") + title()
           + QStringLiteral("%20Version%20") + number(v.major) + u'.' + number(v.minor) + QStringLiteral("%20(Build%20")
           + number(v.revision) + u')';
}

QString productVersion(const Version &v)
{
    return number(v.major) + u'.' + number(v.minor) + QStringLiteral(" (Build ") + number(v.revision) + u')';
}

} // namespace HelpTargets
