// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/comforthelpers.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

WheelScrollsColumn::WheelScrollsColumn(QAbstractScrollArea *column)
    : QObject(column)
    , column(column)
{
}

void WheelScrollsColumn::guardControls()
{
    // Only the column's contents: its own scroll bars are sliders too.
    const QList<QWidget *> controls = column->viewport()->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (!qobject_cast<QAbstractSpinBox *>(control) && !qobject_cast<QAbstractSlider *>(control)
            && !qobject_cast<QComboBox *>(control))
            continue;
        // A wheel over a control must not focus it: focus is what lets the
        // control take the wheel.
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(this);
    }
}

bool WheelScrollsColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    auto *control = qobject_cast<QWidget *>(watched);
    if (!control || control->hasFocus())
        return false;
    // The column's viewport hands the wheel to its scroll bar.
    QCoreApplication::sendEvent(column->viewport(), event);
    return true;
}

bool ReturnPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        || modifiers != Qt::NoModifier)
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button)
        return false;
    if (!key->isAutoRepeat())
        button->animateClick();
    return true;
}

IconsFollowPalette::IconsFollowPalette(QWidget *window)
    : QObject(window)
{
    const QList<QAbstractButton *> all = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : all) {
        if (!button->icon().isNull() && singleColour(button->icon()))
            buttons.append({ button, button->icon() });
    }
    window->installEventFilter(this);
    retint();
}

bool IconsFollowPalette::singleColour(const QIcon &icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        return false;
    const QImage image
        = icon.pixmap(sizes.first()).toImage().convertToFormat(QImage::Format_ARGB32);
    bool seen = false;
    QRgb first = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Faint edge pixels carry rounded colours; judge by the body.
            if (qAlpha(line[x]) < 128)
                continue;
            if (!seen) {
                first = line[x];
                seen = true;
            } else if (std::abs(qRed(line[x]) - qRed(first)) > 8
                || std::abs(qGreen(line[x]) - qGreen(first)) > 8
                || std::abs(qBlue(line[x]) - qBlue(first)) > 8) {
                return false;
            }
        }
    }
    return seen;
}

QIcon IconsFollowPalette::tinted(const QIcon &icon, const QColor &colour)
{
    QIcon result;
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize &size : sizes) {
        QImage image
            = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // The pixmap of a high-resolution size may come back marked as such;
        // the icon wants it as plain pixels of that size.
        image.setDevicePixelRatio(1.0);
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
        painter.end();
        result.addPixmap(QPixmap::fromImage(image));
    }
    return result;
}

bool IconsFollowPalette::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
        // The new palette reaches the buttons after the window; repaint the
        // icons once all of them have it.
        if (!retintPending) {
            retintPending = true;
            QTimer::singleShot(0, this, &IconsFollowPalette::retint);
        }
        break;
    default:
        break;
    }
    return false;
}

void IconsFollowPalette::retint()
{
    retintPending = false;
    for (const Tinted &entry : qAsConst(buttons)) {
        if (entry.button) {
            const QColor text
                = entry.button->palette().color(QPalette::Active, QPalette::WindowText);
            entry.button->setIcon(tinted(entry.original, text));
        }
    }
}

QColor TextOutline::outlineFor(const QColor &text)
{
    return qGray(text.rgb()) >= 128 ? QColor(0x20, 0x20, 0x20) : QColor(Qt::white);
}

QRectF TextOutline::boundingRectFor(const QRectF &rect) const
{
    return rect.adjusted(-2, -2, 2, 2);
}

void TextOutline::draw(QPainter *painter)
{
    QPoint offset;
    const QPixmap text = sourcePixmap(Qt::DeviceCoordinates, &offset, PadToEffectiveBoundingRect);
    if (text.isNull())
        return;
    QColor textColour = Qt::black;
    if (const auto *label = qobject_cast<const QWidget *>(parent()))
        textColour = label->palette().color(label->foregroundRole());

    // The text's shape, widened by a small disc and filled with the outline
    // colour, goes under the text itself.
    // Worked out in pixels, then shown at the text's own pixel ratio.
    const qreal ratio = text.devicePixelRatio();
    const int radius = std::max(1, qRound(1.5 * ratio));
    QPixmap pixels = text;
    pixels.setDevicePixelRatio(1.0);
    QImage halo(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    halo.fill(Qt::transparent);
    QPainter haloPainter(&halo);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            if (dx * dx + dy * dy <= radius * radius + radius)
                haloPainter.drawPixmap(dx, dy, pixels);
        }
    }
    haloPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    haloPainter.fillRect(halo.rect(), outlineFor(textColour));
    haloPainter.end();
    halo.setDevicePixelRatio(ratio);

    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->drawImage(offset, halo);
    painter->drawPixmap(offset, text);
    painter->setWorldTransform(world);
}
