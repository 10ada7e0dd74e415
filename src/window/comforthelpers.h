// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QGraphicsEffect>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QAbstractScrollArea;
class QWidget;

// Small helpers that make the window pleasant in everyday use without
// touching the form: the wheel, the Return key, and icons and the font
// sample that stay visible on any palette.

// Installed on the value controls of a scrolling column (spin boxes, sliders,
// combo boxes). A wheel turned over such a control that does not have the
// keyboard focus scrolls the column instead: scrolling down a long column
// must not quietly change whatever setting passes under the pointer. A
// focused control keeps taking the wheel.
class WheelScrollsColumn : public QObject
{
public:
    explicit WheelScrollsColumn(QAbstractScrollArea *column);

    // Every value control inside the column; they lose their focus by wheel
    // (keeping tab and click focus) and pass unfocused wheels to the column.
    void guardControls();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractScrollArea *column;
};

// Installed on push buttons: a focused button is pressed by Return and Enter
// as well as by Space. The buttons act when pressed, so this goes through
// the same animated click that a shortcut of the button would give.
class ReturnPressesButton : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Repaints the single-colour icons (the anchor arrows) in the text colour of
// their buttons, at start and whenever the palette changes, so that they stay
// visible on dark palettes. Coloured icons are left alone.
class IconsFollowPalette : public QObject
{
public:
    // Looks through the buttons under `window` and watches its palette.
    explicit IconsFollowPalette(QWidget *window);

    // True when every visible pixel of the icon has one colour.
    static bool singleColour(const QIcon &icon);

    // `icon` drawn in `colour`, every size it has, keeping its shape.
    static QIcon tinted(const QIcon &icon, const QColor &colour);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retint();

    struct Tinted
    {
        QPointer<QAbstractButton> button;
        QIcon original;
    };
    QList<Tinted> buttons;
    bool retintPending = false;
};

// Draws a thin outline around the text of a label, dark around light text
// and light around dark text, so that the sample reads on light and dark
// palettes alike whatever colour the text has.
class TextOutline : public QGraphicsEffect
{
public:
    using QGraphicsEffect::QGraphicsEffect;

    // The outline that sets off text of this colour.
    static QColor outlineFor(const QColor &text);

    QRectF boundingRectFor(const QRectF &rect) const override;

protected:
    void draw(QPainter *painter) override;
};
