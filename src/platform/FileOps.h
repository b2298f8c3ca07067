#pragma once

#include <QString>

// Whole-file operations that throw AppError with the number a user would
// recognise, so the callers can run them as steps of a trapped procedure.
namespace FileOps {

// A file whose owner may not write it counts as read-only, whoever runs the program.
bool isReadOnly(const QString &path);

// The whole content of a file; throws when it cannot be read.
QByteArray readWhole(const QString &path);

// Copies source over target. The target is replaced whole or left as it was.
void copyReplacing(const QString &source, const QString &target);

} // namespace FileOps
