#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Answers every message box as soon as it is up: notes it, then presses its OK.
class MessageBoxes : public QObject
{
public:
    MessageBoxes()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const bool exclamation = box->icon() == QMessageBox::Warning;
            seen << QStringList {box->windowTitle(), box->text(), exclamation ? "!" : "?"}.join(
                '|');
            if (QAbstractButton *ok = box->button(QMessageBox::Ok);
                ok && box->standardButtons() == QMessageBox::Ok)
                ok->click();
            else
                box->reject(); // noted as it was; never left to block the test
        });
        m_poll.start(10);
    }
    QStringList seen;

private:
    QTimer m_poll;
};
