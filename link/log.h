#pragma once

#include <QLoggingCategory>

// Silent unless asked for: QT_LOGGING_RULES="orva.*=true" (or "orva.link.info=true").
Q_DECLARE_LOGGING_CATEGORY(lcLink)
