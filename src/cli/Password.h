#pragma once

#include "Cli.h"

#include <QString>
#include <QUrl>

class QTextStream;

namespace Cli::Password {

// The password for `user` at `server`, from the first of:
//  1. $BRINDLEWATCH_PASSWORD;
//  2. the first line of the file $BRINDLEWATCH_PASSWORD_FILE names, which
//     only its owner may read or write;
//  3. the desktop's Secret Service, when a session bus and secret-tool are
//     there: the item with the attributes `service brindlewatch`,
//     `user USER` and `server ORIGIN` (see origin()).
// A password file named decides even when it is empty: the Secret Service
// is asked only when neither variable is set (or both are empty). Empty
// when none gives one. Throws Failure for a password file that cannot be
// read or that others may read; a Secret Service that fails only writes one warning line to
// `warnings` (standard error when null), never the password. No Secret
// Service, or no such item in it, is no failure and writes nothing.
QString find(const QUrl &server, const QString &user, QTextStream *warnings = nullptr);

// The server as the Secret Service item names it: scheme and host in lower
// case, and the port only when it is not the scheme's usual one, so that
// https://DAV.example.org:443/calendars/ann/ is https://dav.example.org.
// An international host name is in its xn-- form. Empty without a host.
QString origin(const QUrl &server);

// The Secret Service's password alone, given up after `timeoutMs`.
QString fromSecretService(const QUrl &server, const QString &user, int timeoutMs, QTextStream *warnings);

} // namespace Cli::Password
