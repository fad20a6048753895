#pragma once

#include <QRadioButton>
#include <QTest>

// Clicks the named control of a window where a user would: on the indicator of an option button,
// in the middle of anything else.
inline void clickControl(const QWidget *window, const QString &name)
{
    auto *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    const QPoint at = qobject_cast<QRadioButton *>(widget) ? QPoint(8, widget->height() / 2)
                                                           : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
}
