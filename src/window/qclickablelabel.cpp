// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qclickablelabel.h"

QClickableLabel::QClickableLabel(QWidget *parent)
    : QLabel(parent)
{
}

// The events are not passed on to QLabel: the window owns all mouse handling
// on the preview.
void QClickableLabel::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
}

void QClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseReleased(event);
}

void QClickableLabel::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(event);
}
