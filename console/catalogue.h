#pragma once

#include <QStringList>

// The console's three fixed command lists. Each row is the command as sent,
// "[CR]" and, on most rows, a gap, ":" and a description for the operator.
namespace Catalogue {
const QStringList &basic(); // 63 rows, list order
const QStringList &expand(); // 357 rows
const QStringList &expandRead(); // 105 rows
} // namespace Catalogue
