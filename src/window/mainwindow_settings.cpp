// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QSplitter>

#include <variant>

#include "batch/storedoptions.h"
#include "io/pictureio.h"
#include "ui_mainwindow.h"

namespace {

// Where a stored option lives: a control of the form, or for the logo file,
// the font and the colour the window itself. The option's type in the shared
// table says which kind of control holds it.
using OptionTarget = std::variant<QAbstractButton *, QSpinBox *, QDoubleSpinBox *,
    QAbstractSlider *, QLineEdit *, StoredOptions::Type>;

template <class... Ts> struct Overloaded : Ts...
{
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// The control named in the table, found by its object name, so that the
// keys, defaults and order come from one place only; null for what the
// window holds itself.
QWidget *controlOf(const QWidget *window, const StoredOptions::Option &option)
{
    return option.control ? window->findChild<QWidget *>(QLatin1String(option.control)) : nullptr;
}

// The kind of control the option's type in the shared table says holds it.
OptionTarget targetOf(QWidget *control, const StoredOptions::Option &option)
{
    using StoredOptions::Type;
    // A control the form lacks holds nothing: its key is neither applied
    // nor written (rather than a null control's being used).
    if (!option.control || !control)
        return option.type;
    switch (option.type) {
    case Type::Bool:
        return qobject_cast<QAbstractButton *>(control);
    case Type::Int:
        if (auto *spin = qobject_cast<QSpinBox *>(control))
            return spin;
        return qobject_cast<QAbstractSlider *>(control);
    case Type::Double:
        return qobject_cast<QDoubleSpinBox *>(control);
    default:
        return qobject_cast<QLineEdit *>(control);
    }
}

} // namespace

// Values of the wrong type go through QVariant's conversion: text in a
// number key becomes 0, which the control then clamps into its range.
void MainWindow::loadSettings()
{
    using StoredOptions::Type;
    const StoredOptions::Option *pixelCap = StoredOptions::find(QStringLiteral("max_megapixels"));
    const auto applyField
        = [this, pixelCap](const StoredOptions::Option &option, const QVariant &value) {
              switch (option.type) {
              case Type::Bool:
                  // The one switch without a control: the update check.
                  checkForUpdates = value.toBool();
                  break;
              case Type::Path:
                  // Kept even when the file is gone, so that it is saved again.
                  logoFileName = value.toString();
                  break;
              case Type::Font:
                  // A rejected description leaves the font as it is.
                  StoredOptions::parseFont(value.toString(), &textFont);
                  break;
              case Type::Colour:
                  // fromRgb() ignores the alpha byte: the text colour is always
                  // opaque, whatever was stored.
                  textColor = QColor::fromRgb(value.toUInt());
                  break;
              case Type::Layout:
                  // A state the splitter does not take leaves it as a first
                  // run has it.
                  splitter->restoreState(value.toByteArray());
                  break;
              case Type::Int:
                  // The numbers without a control: the pixel cap, which the
                  // window's reads and runs keep to (out of range it is clamped
                  // as a control would), and the proportional stamp's reference
                  // side.
                  if (&option == pixelCap) {
                      maxMegapixels = StoredOptions::settled(*pixelCap, value).toInt();
                      const qint64 cap = PictureIO::ReadLimits::pixelCap(maxMegapixels);
                      pictureLoader.setPixelCap(cap);
                      logoLoader.setPixelCap(cap);
                  } else {
                      relativeRef = value.toInt();
                  }
                  break;
              default:
                  break;
              }
          };

    for (const StoredOptions::Option &option : StoredOptions::all()) {
        const QVariant value = settings->value(QLatin1String(option.key), option.fallback);
        const OptionTarget target = targetOf(controlOf(this, option), option);
        std::visit(Overloaded {
                       [&](QAbstractButton *button) { button->setChecked(value.toBool()); },
                       [&](QSpinBox *spin) { spin->setValue(value.toInt()); },
                       [&](QDoubleSpinBox *spin) { spin->setValue(value.toDouble()); },
                       [&](QAbstractSlider *slider) { slider->setValue(value.toInt()); },
                       [&](QLineEdit *edit) { edit->setText(value.toString()); },
                       [&](Type) { applyField(option, value); },
                   },
            target);

        // A stored value equal to the check box's design-time state emits no
        // signal, so its slot's work is done here whatever the value did.
        const auto *button = std::get_if<QAbstractButton *>(&target);
        if (button && *button == ui->resize_check) {
            const bool resize = ui->resize_check->isChecked();
            ui->width_spin->setEnabled(resize);
            ui->height_spin->setEnabled(resize);
            ui->aspect_check->setEnabled(resize);
            composeTwice();
        }
    }
}

// What the window holds for a stored option now, as it is saved.
QVariant MainWindow::optionValue(const StoredOptions::Option &option) const
{
    using StoredOptions::Type;
    const std::vector<StoredOptions::Option> &options = StoredOptions::all();
    // Compositions read every option, also while the form is being filled:
    // the controls are looked up once.
    if (optionControls.size() != options.size()) {
        optionControls.clear();
        for (const StoredOptions::Option &each : options)
            optionControls.push_back(controlOf(this, each));
    }
    static const StoredOptions::Option *const pixelCap
        = StoredOptions::find(QStringLiteral("max_megapixels"));
    const auto fieldValue = [this, &option](Type field) -> QVariant {
        switch (field) {
        case Type::Bool:
            return checkForUpdates;
        case Type::Path:
            return logoFileName;
        case Type::Font:
            return textFont.toString();
        case Type::Colour:
            return uint(textColor.rgba());
        case Type::Layout:
            return splitter->saveState();
        case Type::Int:
            if (&option == pixelCap)
                return maxMegapixels;
            return relativeRef;
        default:
            return QVariant();
        }
    };
    return std::visit(
        Overloaded {
            [](QAbstractButton *button) { return QVariant(button->isChecked()); },
            [](QSpinBox *spin) { return QVariant(spin->value()); },
            [](QDoubleSpinBox *spin) { return QVariant(spin->value()); },
            [](QAbstractSlider *slider) { return QVariant(slider->value()); },
            [](QLineEdit *edit) { return QVariant(edit->text()); },
            fieldValue,
        },
        targetOf(optionControls[size_t(&option - options.data())], option));
}

// Every key is written every time, defaults included; nothing is removed.
void MainWindow::saveSettings()
{
    for (const StoredOptions::Option &option : StoredOptions::all()) {
        const QVariant value = optionValue(option);
        if (value.isValid())
            settings->setValue(QLatin1String(option.key), value);
    }
}

// The stored logo is read again only if its file is still there; a missing
// file leaves no logo but keeps the name for the next save.
void MainWindow::restoreLogo()
{
    if (!QFileInfo::exists(logoFileName))
        return;
    const QString path = logoFileName;
    logoLoader.loadLogo(
        path, [this, path](PictureLoader::Loaded &loaded) { logoRead(path, loaded, false); });
}
