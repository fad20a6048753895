#include "store.h"

#include "link/configdir.h"

#include <QLoggingCategory>
#include <QSettings>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcSettings, "orva.settings", QtWarningMsg)

namespace Store {

namespace {

const QString Section = QStringLiteral("StartUP");

QSettings openStore()
{
#ifdef Q_OS_WIN
    // Where the platform's own per-user settings functions keep application ORVA.
    if (!ConfigDir::isRedirected())
        return QSettings(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\ORVA"),
            QSettings::NativeFormat);
#endif
    // Same file as QSettings(NativeFormat, UserScope, "ORVA", "ORVA") on POSIX, but the folder
    // is looked up at every call instead of once per process.
    return QSettings(ConfigDir::appFolder() + QStringLiteral("/ORVA.conf"), QSettings::IniFormat);
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

double roundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to even.
    return std::nearbyint(value);
}

} // namespace

QString getSetting(const QString &key, const QString &defaultText)
{
    QSettings settings = openStore();
    settings.beginGroup(Section);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultText;
    // An unquoted comma makes QSettings read a list; the text as written is wanted.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

bool saveSetting(const QString &key, const QString &text)
{
    QSettings settings = openStore();
    settings.beginGroup(Section);
    settings.setValue(key, text);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    qCInfo(lcSettings, "%s could not be stored in %s", qUtf8Printable(key),
           qUtf8Printable(settings.fileName()));
    return false;
}

QString location()
{
    return openStore().fileName();
}

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    int end = i;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    if (ok)
        return value;
    // Out of double range: keep the sign, the callers only need "does not fit".
    return text[start] == QLatin1Char('-') ? -std::numeric_limits<double>::infinity()
                                           : std::numeric_limits<double>::infinity();
}

qint16 comPortFromText(const QString &text)
{
    const double value = roundHalfEven(leadingNumber(text));
    if (!(value >= 0 && value <= std::numeric_limits<qint16>::max()))
        return 0;
    return static_cast<qint16>(value);
}

quint8 baudCodeFromText(const QString &text)
{
    const double value = roundHalfEven(leadingNumber(text));
    if (!(value >= 0 && value <= std::numeric_limits<quint8>::max()))
        return 192;
    return static_cast<quint8>(value);
}

PortChoice storedChoice()
{
    return PortChoice(comPortFromText(getSetting(ComPortKey, ComPortDefault)),
                      baudCodeFromText(getSetting(BaudRateKey, BaudRateDefault)));
}

bool saveChoice(const PortChoice &choice)
{
    // Both are tried, whatever the first gives.
    const bool portStored = saveSetting(ComPortKey, QString::number(choice.portNumber()));
    const bool speedStored = saveSetting(BaudRateKey, QString::number(choice.speedCode()));
    return portStored && speedStored;
}

} // namespace Store
