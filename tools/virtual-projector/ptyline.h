#pragma once

#include "line.h"
#include "tools/pty/pty.h"

#include <memory>

class QSocketNotifier;

// A pseudo-terminal linked as COMn in the ports folder (POSIX only). The link goes when the
// line is dropped or destroyed.
class PtyLine : public Line
{
    Q_OBJECT
public:
    explicit PtyLine(QObject *parent = nullptr);
    ~PtyLine() override;

    bool isValid() const { return m_pty.isValid(); }
    QString devicePath() const { return m_pty.slavePath(); }
    QString linkPath() const { return m_pty.linkPath(); }
    // Refuses a COMn that exists already, unless it is a link left behind to a pseudo-terminal
    // that is gone: a user's own link to an adapter is never replaced.
    bool linkAs(int portNumber, QString *error);

    bool isOpen() const override { return m_pty.isValid(); }
    void write(const QByteArray &bytes) override;
    bool pacesItself() const override { return false; }
    int peerBaud() const override;
    void hangUp() override;

private:
    void readMaster();

    Pty m_pty;
    std::unique_ptr<QSocketNotifier> m_notifier; // goes before the descriptor closes
};
