// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>

#include "common/pictureformats.h"
#include "ui_mainwindow.h"
#include "window/comforthelpers.h"

namespace {

// The shortcuts as the Help page lists them, below its own text.
const char *const shortcutHelp[][2] = {
    { "Ctrl+O", QT_TRANSLATE_NOOP("MainWindow", "Add pictures") },
    { QT_TRANSLATE_NOOP("MainWindow", "Delete"),
        QT_TRANSLATE_NOOP("MainWindow", "Remove the selected picture (in the picture list)") },
    { QT_TRANSLATE_NOOP("MainWindow", "Ctrl+Shift+Delete"),
        QT_TRANSLATE_NOOP("MainWindow", "Clear the picture list") },
    { QT_TRANSLATE_NOOP("MainWindow", "Ctrl+Return"),
        QT_TRANSLATE_NOOP("MainWindow", "Start stamping") },
    { "Ctrl+L", QT_TRANSLATE_NOOP("MainWindow", "Clear the log") },
    { "F1", QT_TRANSLATE_NOOP("MainWindow", "Show this help") },
    { QT_TRANSLATE_NOOP("MainWindow", "Return or Space"),
        QT_TRANSLATE_NOOP("MainWindow", "Press the button that has the focus") },
    { QT_TRANSLATE_NOOP("MainWindow", "Mouse wheel"),
        QT_TRANSLATE_NOOP("MainWindow",
            "Scroll the settings; a box or slider takes the wheel only when it has the focus") },
};

QString shortcutHelpText()
{
    QString rows;
    for (const auto &line : shortcutHelp) {
        rows += QStringLiteral("<tr><td>%1</td><td width=\"12\"></td><td>%2</td></tr>")
                    .arg(MainWindow::tr(line[0]), MainWindow::tr(line[1]));
    }
    // The formats this installation reads, as its readers are installed.
    // Finding out loads every image plug-in with its codec libraries (about
    // 60 ms), so it waits until the Help page is first shown.
    QStringList formats;
    for (const PictureFormats::Format &format : PictureFormats::readable())
        formats << QString::fromLatin1(format.name);
    return QStringLiteral("<p><b>%1</b><br>").arg(MainWindow::tr("Picture formats read here"))
        + formats.join(QStringLiteral(", "))
        + QStringLiteral(".</p><p><b>%1</b></p><table cellspacing=\"0\" cellpadding=\"2\">")
              .arg(MainWindow::tr("Keyboard shortcuts"))
        + rows + QStringLiteral("</table>");
}

} // namespace

// Shortcuts press the window's own buttons, so they do exactly what a press
// does, and nothing while the button is disabled.
void MainWindow::setUpKeyboard()
{
    const auto bind = [this](const QKeySequence &keys, QWidget *scope, auto action) {
        auto *shortcut = new QShortcut(keys, scope);
        if (scope != this)
            shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    bind(QKeySequence(Qt::CTRL + Qt::Key_O), this, [this] { ui->open_btn->animateClick(); });
    bind(QKeySequence(Qt::Key_Delete), ui->files_list, [this] { ui->remove_btn->animateClick(); });
    bind(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Delete), this,
        [this] { ui->clear_btn->animateClick(); });
    // During a run the start button stops it; the shortcut only ever starts.
    for (const int enter : { Qt::Key_Return, Qt::Key_Enter }) {
        bind(QKeySequence(Qt::CTRL + enter), this, [this] {
            if (!stamping)
                ui->start_btn->animateClick();
        });
    }
    bind(QKeySequence(Qt::CTRL + Qt::Key_L), this, [this] { ui->clear_log_btn->animateClick(); });
    bind(QKeySequence(Qt::Key_F1), this, [this] { ui->main_tab->setCurrentWidget(ui->tab); });

    auto *returnPresses = new ReturnPressesButton(this);
    const QList<QPushButton *> buttons = findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        button->installEventFilter(returnPresses);

    auto *help = new QLabel(ui->scrollAreaWidgetContents_3);
    const auto fillHelp = [help] {
        if (help->text().isEmpty())
            help->setText(shortcutHelpText());
    };
    if (ui->main_tab->currentWidget() == ui->tab)
        fillHelp();
    connect(ui->main_tab, &QTabWidget::currentChanged, help, [this, fillHelp](int) {
        if (ui->main_tab->currentWidget() == ui->tab)
            fillHelp();
    });
    help->setObjectName(QStringLiteral("shortcut_help_label"));
    help->setTextFormat(Qt::RichText);
    help->setWordWrap(true);
    help->setContentsMargins(0, 12, 0, 0); // a blank line after the text above
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (auto *grid = qobject_cast<QGridLayout *>(ui->scrollAreaWidgetContents_3->layout())) {
        grid->addWidget(help, grid->rowCount(), 0);
        grid->setRowStretch(grid->rowCount() - 1, 1);
    }

    auto *wheel = new WheelScrollsColumn(ui->settings_scroll);
    wheel->guardControls();
}

// Icons and the font sample that read on light and dark palettes alike, and
// a settings column that is never narrower than its contents.
void MainWindow::setUpLooks()
{
    // The column shares the window's width by a fixed ratio. On a small or
    // highly scaled screen that share is narrower than the settings, and
    // with no horizontal scroll bar their right side would be cut off.
    QScrollArea *column = ui->settings_scroll;
    const int frame = 2 * column->frameWidth();
    const int scrollBar = column->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, column);
    column->setMinimumWidth(column->widget()->minimumSizeHint().width() + scrollBar + frame);

    new IconsFollowPalette(this);
    ui->font_pr_label->setGraphicsEffect(new TextOutline(ui->font_pr_label));
}

// The preview and the picture list share the right column through a
// splitter the user can drag. At first the list gets the height its buttons
// need and the preview all the rest; a window made larger grows the preview
// only. Where the user leaves it is stored with the options.
void MainWindow::setUpSplitter()
{
    QVBoxLayout *column = ui->verticalLayout;
    splitter = new QSplitter(Qt::Vertical, ui->groupBox_2);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    // Taking the two out of the form's column and into the splitter keeps
    // them in the same window, so their places in the tab order stay.
    for (QWidget *part : std::initializer_list<QWidget *> { ui->image_scroll, ui->groupBox_5 }) {
        column->removeWidget(part);
        splitter->addWidget(part);
    }
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    // The list's share starts at nothing, which the splitter raises to the
    // least its buttons take; a stored state replaces this.
    splitter->setSizes({ 1, 0 });
    column->addWidget(splitter);
    // Dragging it resizes the preview without resizing the window.
    connect(splitter, &QSplitter::splitterMoved, this, [this] { refreshView(); });
}
