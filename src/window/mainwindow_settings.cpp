#include "window/mainwindow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

#include <variant>
#include <vector>

#include "io/pictureio.h"
#include "ui_mainwindow.h"

namespace {

// The options that are not held by a control but by the window itself.
enum class WindowField { LogoFileName, TextFont, TextColor };

// Where a stored option lives. The kind of target also fixes the type the
// value is stored as: a button's checked state as bool, a spin box's or a
// slider's value as int, the double spin box's as double, texts, the logo
// path and the font description as strings and the colour as an unsigned
// 32-bit ARGB value.
using OptionTarget = std::variant<QAbstractButton *, QSpinBox *, QDoubleSpinBox *,
    QAbstractSlider *, QLineEdit *, WindowField>;

struct StoredOption
{
    const char *key;
    OptionTarget target;
    QVariant fallback; // the value of a first run
};

template <class... Ts> struct Overloaded : Ts...
{
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// Every stored option, in the order in which they are applied. Applying a
// value runs the control's slot like a user edit, and the order relies on
// that: the anchors come before the offsets (an anchor change resets its
// offsets), and the font and colour before the resize step (whose
// compositions refresh the font sample).
std::vector<StoredOption> storedOptions(const Ui::MainWindow *ui)
{
    return {
        { "txt_topleft_btn", ui->txt_topleft_btn, true },
        { "txt_top_btn", ui->txt_top_btn, false },
        { "txt_topright_btn", ui->txt_topright_btn, false },
        { "txt_left_btn", ui->txt_left_btn, false },
        { "txt_center_btn", ui->txt_center_btn, false },
        { "txt_right_btn", ui->txt_right_btn, false },
        { "txt_botleft_btn", ui->txt_botleft_btn, false },
        { "txt_bot_btn", ui->txt_bot_btn, false },
        { "txt_botright_btn", ui->txt_botright_btn, false },
        { "logo_topleft_btn", ui->logo_topleft_btn, true },
        { "logo_top_btn", ui->logo_top_btn, false },
        { "logo_topright_btn", ui->logo_topright_btn, false },
        { "logo_left_btn", ui->logo_left_btn, false },
        { "logo_center_btn", ui->logo_center_btn, false },
        { "logo_right_btn", ui->logo_right_btn, false },
        { "logo_botleft_btn", ui->logo_botleft_btn, false },
        { "logo_bot_btn", ui->logo_bot_btn, false },
        { "logo_botright_btn", ui->logo_botright_btn, false },
        { "scale_spin", ui->scale_spin, 1.0 },
        { "logo_file_name", WindowField::LogoFileName, QString() },
        { "font", WindowField::TextFont, QStringLiteral("Cambria,18,-1,5,50,0,0,0,0,0") },
        { "wtrmark_edit", ui->wtrmark_edit, QStringLiteral("Enter your text here!") },
        { "fnt_clr", WindowField::TextColor, 0xFFFFFFFFu },
        { "shadow_spin", ui->shadow_spin, 15 },
        { "x_spin", ui->x_spin, 0 },
        { "y_spin", ui->y_spin, 0 },
        { "top_radio", ui->top_radio, false },
        // The key has carried this name since the first release; renaming it
        // would lose every user's shadow position.
        { "bottom_radio_radio", ui->bottom_radio, true },
        { "light_radio", ui->light_radio, false },
        { "dark_radio", ui->dark_radio, true },
        { "txt_x_spin", ui->txt_x_spin, 20 },
        { "txt_y_spin", ui->txt_y_spin, 20 },
        { "actual_radio", ui->actual_radio, true },
        { "fit_radio", ui->fit_radio, false },
        { "resize_check", ui->resize_check, true }, // followed by the resize step
        { "aspect_check", ui->aspect_check, false },
        { "width_spin", ui->width_spin, 1920 },
        { "height_spin", ui->height_spin, 1920 },
        { "outjpg_radio", ui->outjpg_radio, true },
        { "outpng_radio", ui->outpng_radio, false },
        { "outtif_radio", ui->outtif_radio, false },
        { "comp_slider", ui->comp_slider, 90 },
        { "watermarkOpacitySpin", ui->watermarkOpacitySpin, 100 },
        { "logoOpacitySpin", ui->logoOpacitySpin, 100 },
    };
}

} // namespace

// Values of the wrong type go through QVariant's conversion: text in a
// number key becomes 0, which the control then clamps into its range.
void MainWindow::loadSettings()
{
    const auto applyField = [this](WindowField field, const QVariant &value) {
        switch (field) {
        case WindowField::LogoFileName:
            // Kept even when the file is gone, so that it is saved again.
            logoFileName = value.toString();
            break;
        case WindowField::TextFont: {
            // QFont::fromString() works on the font it is called on; parsing
            // into a copy means a rejected description can never leave a
            // half-changed font behind.
            QFont parsed = textFont;
            if (parsed.fromString(value.toString()))
                textFont = parsed;
            break;
        }
        case WindowField::TextColor:
            // fromRgb() ignores the alpha byte: the text colour is always
            // opaque, whatever was stored.
            textColor = QColor::fromRgb(value.toUInt());
            break;
        }
    };

    for (const StoredOption &option : storedOptions(ui)) {
        const QVariant value = settings->value(QLatin1String(option.key), option.fallback);
        std::visit(Overloaded {
                       [&](QAbstractButton *button) { button->setChecked(value.toBool()); },
                       [&](QSpinBox *spin) { spin->setValue(value.toInt()); },
                       [&](QDoubleSpinBox *spin) { spin->setValue(value.toDouble()); },
                       [&](QAbstractSlider *slider) { slider->setValue(value.toInt()); },
                       [&](QLineEdit *edit) { edit->setText(value.toString()); },
                       [&](WindowField field) { applyField(field, value); },
                   },
            option.target);

        // A stored value equal to the check box's design-time state emits no
        // signal, so its slot's work is done here whatever the value did.
        const auto *button = std::get_if<QAbstractButton *>(&option.target);
        if (button && *button == ui->resize_check) {
            const bool resize = ui->resize_check->isChecked();
            ui->width_spin->setEnabled(resize);
            ui->height_spin->setEnabled(resize);
            ui->aspect_check->setEnabled(resize);
            composeTwice();
        }
    }
}

// Every key is written every time, defaults included; nothing is removed.
void MainWindow::saveSettings()
{
    const auto fieldValue = [this](WindowField field) -> QVariant {
        switch (field) {
        case WindowField::LogoFileName:
            return logoFileName;
        case WindowField::TextFont:
            return textFont.toString();
        case WindowField::TextColor:
            return uint(textColor.rgba());
        }
        return QVariant();
    };

    for (const StoredOption &option : storedOptions(ui)) {
        const QVariant value
            = std::visit(Overloaded {
                             [](QAbstractButton *button) { return QVariant(button->isChecked()); },
                             [](QSpinBox *spin) { return QVariant(spin->value()); },
                             [](QDoubleSpinBox *spin) { return QVariant(spin->value()); },
                             [](QAbstractSlider *slider) { return QVariant(slider->value()); },
                             [](QLineEdit *edit) { return QVariant(edit->text()); },
                             fieldValue,
                         },
                option.target);
        settings->setValue(QLatin1String(option.key), value);
    }
}

// The stored logo is read again only if its file is still there; a missing
// file leaves no logo but keeps the name for the next save.
void MainWindow::restoreLogo()
{
    if (!QFileInfo::exists(logoFileName))
        return;
    logoImage = PictureIO::readImage(logoFileName).image;
    refreshView();
}
