#pragma once

#include <QString>

// An installed copy's first start in a user's account.
namespace Install {

// For an installed copy, makes the user's data folder and puts in it each
// shipped file (logo, templates, categories) that is missing there. A file
// the user has, even a damaged one or a link, is never replaced. Nothing
// happens for a portable copy. Throws AppError for the first file that
// cannot be put in place; the files before it stay.
void provideShippedFiles(const QString &applicationFolder);

} // namespace Install
