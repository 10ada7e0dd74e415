// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

#include "batch/batchoptions.h"
#include "batch/fields.h"
#include "batch/storedoptions.h"
#include "engine/stampengine.h"
#include "update/qvessikanalytics.h"
#include "window/pictureloader.h"

class BatchSession;
class QClickableLabel;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QEventLoop;
class QMouseEvent;
class QPersistentModelIndex;
class QResizeEvent;
class QSettings;
class QSplitter;

namespace Ui {
class MainWindow;
}

// The whole application: the form, the options that live in its controls, the
// pictures being worked on and the batch run. Its member functions live side
// by side in src/window, one file per concern (mainwindow_<concern>.cpp); the
// declarations below are grouped under the same names.
//
// The meta-object's slot table is part of the form's contract (controls are
// bound to slots by name), so nothing here may add slots or signals beyond the
// sixty listed.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ends the program as a confirmed close does, without asking anyone
    // (the system asked it to end): a running batch stops after the picture
    // at hand, the options are saved and the event loop quits.
    void quitUnasked();

public slots:
    // preview and drag (mainwindow_drag.cpp)
    void previewMouseClicked(QMouseEvent *event);
    void previewMouseMoved(QMouseEvent *event);
    void previewMouseReleased(QMouseEvent *event);
    // update notice and credits (mainwindow_update.cpp)
    void onUpdateAvailable(QString msg);

protected:
    void resizeEvent(QResizeEvent *event) override; // preview
    void closeEvent(QCloseEvent *event) override; // start and exit
    void dragEnterEvent(QDragEnterEvent *event) override; // picture list
    void dropEvent(QDropEvent *event) override; // picture list

private slots:
    void on_browse_logo_btn_pressed();
    void on_open_btn_pressed();
    void on_top_radio_toggled(bool checked);
    void on_bottom_radio_toggled(bool checked);
    void on_light_radio_toggled(bool checked);
    void on_dark_radio_toggled(bool checked);
    void on_x_spin_valueChanged(int value);
    void on_y_spin_valueChanged(int value);
    void on_scale_spin_valueChanged(double value);
    void on_files_list_currentRowChanged(int row);
    void on_resize_check_toggled(bool checked);
    void on_width_spin_valueChanged(int value);
    void on_aspect_check_toggled(bool checked);
    void on_shadow_spin_valueChanged(int value);
    void on_height_spin_valueChanged(int value);
    void on_font_color_btn_pressed();
    void on_font_btn_pressed();
    void on_actual_radio_toggled(bool checked);
    void on_fit_radio_toggled(bool checked);
    void on_wtrmark_edit_textChanged(QString text);
    void on_remove_btn_pressed();
    void on_clear_btn_pressed();
    void on_start_btn_pressed();
    void on_comp_slider_valueChanged(int value);
    void on_txt_y_spin_valueChanged(int value);
    void on_txt_x_spin_valueChanged(int value);
    void on_shadow_slider_valueChanged(int value);
    void on_rst_txt_pos_btn_pressed();
    void on_scale_slider_valueChanged(int value);
    void on_smooth_check_toggled(bool checked);
    void on_reset_logo_btn_pressed();
    void on_clear_logo_btn_pressed();
    void on_credits_btn_pressed();
    void on_clear_log_btn_pressed();
    void on_txt_topleft_btn_toggled(bool checked);
    void on_txt_top_btn_toggled(bool checked);
    void on_txt_topright_btn_toggled(bool checked);
    void on_txt_left_btn_toggled(bool checked);
    void on_txt_center_btn_toggled(bool checked);
    void on_txt_right_btn_toggled(bool checked);
    void on_txt_botleft_btn_toggled(bool checked);
    void on_txt_bot_btn_toggled(bool checked);
    void on_txt_botright_btn_toggled(bool checked);
    void on_logo_topleft_btn_toggled(bool checked);
    void on_logo_top_btn_toggled(bool checked);
    void on_logo_topright_btn_toggled(bool checked);
    void on_logo_left_btn_toggled(bool checked);
    void on_logo_center_btn_toggled(bool checked);
    void on_logo_right_btn_toggled(bool checked);
    void on_logo_botleft_btn_toggled(bool checked);
    void on_logo_bot_btn_toggled(bool checked);
    void on_logo_botright_btn_toggled(bool checked);
    void on_logoOpacitySpin_valueChanged(int value);
    void on_logoOpacitySlider_valueChanged(int value);
    void on_watermarkOpacitySpin_valueChanged(int value);
    void on_watermarkOpacitySlider_valueChanged(int value);

private:
    // ---- start and exit (mainwindow.cpp), settings (mainwindow_settings.cpp) ----
    void fillSiteTexts();
    void loadSettings();
    void saveSettings();
    void restoreLogo();
    QVariant optionValue(const StoredOptions::Option &option) const;
    // The update check (mainwindow_update.cpp), started once the settings
    // say whether the user wants it.
    void startUpdateCheck();

    // ---- composition (mainwindow_compose.cpp) ----
    StoredOptions::RunOptions readRunOptions() const;
    // The options the preview stamps with: the text's fields filled in for
    // the picture shown, when they are asked for.
    StampOptions readStampOptions() const;
    void updatePlacement();
    void composeStamp();
    void composeTwice();

    bool onlyPlacesChanged(const StampOptions &options) const;
    bool sameProportionedSizes(const StampOptions &a, const StampOptions &b) const;

    // ---- preview (mainwindow_preview.cpp), options (mainwindow_options.cpp) ----
    // With a `changed` rectangle (picture pixels) only that part of the
    // preview is drawn again, when the preview shows the picture as before.
    void refreshView(const QRect &changed = QRect());
    bool showChanged(const QRect &changed);
    void logoAnchorChanged();
    void textAnchorChanged();

    // ---- picture list (mainwindow_pictures.cpp), batch run (mainwindow_batch.cpp) ----
    void showSelected(const QString &path, PictureLoader::Loaded &loaded);
    // Reads the picture at `path` for the preview, with what its metadata
    // says for the text's fields when they are asked for; `done` gets it.
    void loadShown(const QString &path, std::function<void(PictureLoader::Loaded &)> done);
    // Keeps what the text's fields take from the picture just read, its
    // metadata read `withFields`.
    void keepShownValues(const QString &path, const PictureLoader::Loaded &loaded, bool withFields);
    QString outputSuffix() const;
    BatchOptions readBatchOptions() const;
    bool awaitReads();
    QString askOutputFolder();
    bool confirmMissingStamps();
    void endRun(const BatchSession &run);
    void markFailed(const QPersistentModelIndex &picture, const QString &reason);
    void clearFailedMarks();
    // The running batch, if any, leaves before its next picture.
    void stopStamping();

    // A run lets events through at least this often.
    static constexpr int EventIntervalMs = 40;

    // ---- proportional stamp and shrink-only resize (mainwindow_proportions.cpp) ----
    void setUpProportions();

    // ---- fields in the text, its shadow, the repeated mark and the logo's
    // reading (mainwindow_marks.cpp) ----
    void setUpMarks();
    void logoRead(const QString &path, PictureLoader::Loaded &loaded, bool tell);
    void readShownFields();

    // ---- keyboard, wheel and looks for everyday use (mainwindow_comfort.cpp) ----
    void setUpKeyboard();
    void setUpLooks();
    void setUpSplitter();

    friend struct WindowProbe; // the tests' way to the private state

    QSettings *settings = nullptr;
    Ui::MainWindow *ui = nullptr;
    QClickableLabel *previewLabel = nullptr;
    // Between the preview and the picture list; its state is stored too.
    QSplitter *splitter = nullptr;
    QString logoFileName;
    Stamp::Logo logoImage; // a picture, or a drawing rendered at each size it is stamped at
    QImage sourceImage;
    QImage stampedImage;
    QPoint lastMousePos;
    bool draggingLogo = false;
    bool draggingText = false;
    QPoint textPos;
    QPoint logoPos;
    QFont textFont;
    QColor textColor;
    double previewScaleX = 1.0;
    double previewScaleY = 1.0;
    // A drag in proportional mode, where the offsets are in pixels of the
    // reference picture: each move sets them from where the press was, so
    // that steps of less than one such pixel add up. `dragFactor` is the
    // picture's relativeFactor(), 0 for an ordinary drag.
    double dragFactor = 0;
    QPoint dragOrigin;
    QPoint dragStartOffset;
    // The shorter side of the picture the proportional stamp was designed
    // on (stored as relative_ref; see Stamp::referenceSide()).
    int relativeRef = 0;
    // The pixel cap of a picture, in megapixels (max_megapixels): the
    // picture loaders and the runs read within it.
    int maxMegapixels = int(Budget::DefaultMaxPixels / 1000000);
    // Whether the user lets the window ask for a newer version (stored as
    // update_check).
    bool checkForUpdates = true;
    int transformMode = Qt::FastTransformation;
    QRect textExtent;
    // What the text's fields take from the picture shown (its output size
    // and number aside), and whether its metadata was read for them.
    Fields::Values shownValues;
    bool shownHasFields = false;
    bool stamping = false;
    BatchSession *session = nullptr; // the run going on, during on_start_btn_pressed
    // A run about to start waits in this loop for the logo and the selected
    // picture still being read.
    QEventLoop *readsAwaited = nullptr;
    // What the last composition was made from: a move of text or logo alone
    // is drawn into it instead of composing everything again.
    struct LastComposition
    {
        QImage base; // stampedImage without text and logo
        Stamp::Placement placement;
        StampOptions options;
        QFont font;
        QColor color;
        int mode = -1;
        qint64 sourceKey = 0;
        qint64 logoKey = 0;
        qint64 stampedKey = 0;
    } last;
    QPixmap previewPixmap; // what previewLabel shows
    QVessikAnalytics updateChecker;
    // The selected picture and the logo, read away from the window's thread.
    PictureLoader pictureLoader;
    PictureLoader logoLoader;
    // The controls of the stored options, in the order of their table.
    mutable std::vector<QWidget *> optionControls;
};
