#pragma once

#include <QPushButton>

// A button that acts on mouse press and release only: any mouse button presses it, and the
// keyboard (Space, Enter) does nothing with it.
class HoldButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

signals:
    void mouseDown();
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
};
