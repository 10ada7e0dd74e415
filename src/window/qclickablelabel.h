// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

class QMouseEvent;

// The preview label: it hands every press, move and release to the window,
// which decides whether the logo or the text is being dragged.
class QClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit QClickableLabel(QWidget *parent = nullptr);

signals:
    void mouseMoved(QMouseEvent *event);
    void mousePressed(QMouseEvent *event);
    void mouseReleased(QMouseEvent *event);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
