#include "log.h"

Q_LOGGING_CATEGORY(lcLink, "orva.link", QtWarningMsg)
